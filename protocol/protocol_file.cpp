// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/protocol_file.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <limits>
#include <locale>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "protocol/enumerations.h"
#include "protocol/file_io.h"
#include "protocol/number_text.h"
#include "protocol/test_sequence.h"

namespace stravon {
namespace {

// Files are byte-identical with those written where text mode stores CR LF.
constexpr std::string_view kLineEnd = "\r\n";

constexpr std::array<Instruction, 9> kWrittenColumns = {Instruction::XFunction,
                                                        Instruction::XUnits,
                                                        Instruction::XMagnitude,
                                                        Instruction::StretchDurationSec,
                                                        Instruction::RecoveryDurationSec,
                                                        Instruction::HoldTimeSec,
                                                        Instruction::RestTimeSec,
                                                        Instruction::NumReps,
                                                        Instruction::TimeUnits};

// A formatted string read: skip white space, take the run up to the next
// white space or the end. Finding nothing gives the empty text (a failed
// extraction would otherwise leave the previous token in place).
void ReadToken(std::istream& in, std::string& token) {
  token.clear();
  in >> token;
}

// Names may not contain white space in the file; "[_]" stands for a space.
std::string NameFromToken(std::string_view token) {
  constexpr std::string_view kSpaceMark = "[_]";
  std::string name;
  std::size_t start = 0;
  for (std::size_t found; (found = token.find(kSpaceMark, start)) != std::string_view::npos;
       start = found + kSpaceMark.size()) {
    name.append(token.substr(start, found - start));
    name += ' ';
  }
  name.append(token.substr(start));
  return name;
}

std::string WrittenValue(const TestSet& set, Instruction column) {
  switch (column) {
    case Instruction::XFunction:
      return std::string(ControlFunctionName(set.XFunction));
    case Instruction::XUnits:
      return std::string(MeasureUnitName(set.XUnits));
    case Instruction::XMagnitude:
      return FormatGeneral(set.XMagnitude);
    case Instruction::StretchDurationSec:
      return FormatGeneral(set.StretchDurationSec);
    case Instruction::RecoveryDurationSec:
      return FormatGeneral(set.RecoveryDurationSec);
    case Instruction::HoldTimeSec:
      return FormatGeneral(set.HoldTimeSec);
    case Instruction::RestTimeSec:
      return FormatGeneral(set.RestTimeSec);
    case Instruction::NumReps:
      return std::to_string(set.NumReps);
    case Instruction::TimeUnits:
      return std::string(TimeUnitName(set.TimeUnits));
    default:
      return {};  // the writer has no other columns
  }
}

template <typename Enum>
bool Known(Enum value) {
  return static_cast<std::int32_t>(value) != -1;
}

// How the reader takes a value of each member type. Nothing is rejected: an
// unrecognised name is stored as -1 and a token without a number as 0.
void ReadValue(std::string_view token, std::string& value) { value = NameFromToken(token); }
void ReadValue(std::string_view token, double& value) { value = ParseLeadingDouble(token); }
void ReadValue(std::string_view token, std::int32_t& value) { value = ParseLeadingInteger(token); }
void ReadValue(std::string_view token, bool& value) { value = ParseLeadingInteger(token) != 0; }
void ReadValue(std::string_view token, ControlMode& value) { value = ControlModeFromName(token); }
void ReadValue(std::string_view token, ControlFunction& value) {
  value = ControlFunctionFromName(token);
}
void ReadValue(std::string_view token, MeasureUnit& value) { value = MeasureUnitFromName(token); }
void ReadValue(std::string_view token, PreloadType& value) { value = PreloadTypeFromName(token); }
void ReadValue(std::string_view token, TimeUnit& value) { value = TimeUnitFromName(token); }
void ReadValue(std::string_view token, DataFrequency& value) {
  value = DataFrequencyFromName(token);
}
void ReadValue(std::string_view token, ImageFrequency& value) {
  value = ImageFrequencyFromName(token);
}

// Whether the reader takes `token` as written, rather than as a stand-in: a
// whole number for a number, a known name for a name.
template <typename T>
bool IsWritten(std::string_view token) {
  if constexpr (std::is_same_v<T, std::string>) {
    return true;
  } else if constexpr (std::is_same_v<T, double>) {
    double value = 0.0;
    return ParseNumberField(token, value);
  } else if constexpr (std::is_same_v<T, std::int32_t> || std::is_same_v<T, bool>) {
    std::int64_t value = 0;
    return ParseIntegerField(token, std::numeric_limits<std::int32_t>::min(),
                             std::numeric_limits<std::int32_t>::max(), value);
  } else {
    T value{};
    ReadValue(token, value);
    // A rate's name is its number, and any text without one reads as 0 Hz.
    if constexpr (std::is_same_v<T, DataFrequency> || std::is_same_v<T, ImageFrequency>) {
      return IsWritten<double>(token) && Known(value);
    }
    return Known(value);
  }
}

struct Column {
  Instruction key;
  void (*read)(std::string_view token, TestSet& set);
  bool (*written)(std::string_view token);
};

template <auto Member>
constexpr Column ColumnOf(Instruction key) {
  using Value = std::remove_cvref_t<decltype(std::declval<TestSet&>().*Member)>;
  return {key, [](std::string_view token, TestSet& set) { ReadValue(token, set.*Member); },
          &IsWritten<Value>};
}

// Every column a file can name, in the order of their keys' numbers.
constexpr std::array<Column, 29> kColumns = {
    ColumnOf<&TestSet::Name>(Instruction::Name),
    ColumnOf<&TestSet::XMode>(Instruction::XMode),
    ColumnOf<&TestSet::XFunction>(Instruction::XFunction),
    ColumnOf<&TestSet::XUnits>(Instruction::XUnits),
    ColumnOf<&TestSet::XMagnitude>(Instruction::XMagnitude),
    ColumnOf<&TestSet::XPreloadType>(Instruction::XPreloadType),
    ColumnOf<&TestSet::XPreloadMag>(Instruction::XPreloadMag),
    ColumnOf<&TestSet::YMode>(Instruction::YMode),
    ColumnOf<&TestSet::YFunction>(Instruction::YFunction),
    ColumnOf<&TestSet::YUnits>(Instruction::YUnits),
    ColumnOf<&TestSet::YMagnitude>(Instruction::YMagnitude),
    ColumnOf<&TestSet::YPreloadType>(Instruction::YPreloadType),
    ColumnOf<&TestSet::YPreloadMag>(Instruction::YPreloadMag),
    ColumnOf<&TestSet::ZMode>(Instruction::ZMode),
    ColumnOf<&TestSet::ZFunction>(Instruction::ZFunction),
    ColumnOf<&TestSet::ZUnits>(Instruction::ZUnits),
    ColumnOf<&TestSet::ZMagnitude>(Instruction::ZMagnitude),
    ColumnOf<&TestSet::ZPreloadType>(Instruction::ZPreloadType),
    ColumnOf<&TestSet::ZPreloadMag>(Instruction::ZPreloadMag),
    ColumnOf<&TestSet::StretchDurationSec>(Instruction::StretchDurationSec),
    ColumnOf<&TestSet::RecoveryDurationSec>(Instruction::RecoveryDurationSec),
    ColumnOf<&TestSet::HoldTimeSec>(Instruction::HoldTimeSec),
    ColumnOf<&TestSet::RestTimeSec>(Instruction::RestTimeSec),
    ColumnOf<&TestSet::NumReps>(Instruction::NumReps),
    ColumnOf<&TestSet::DataFreqHz>(Instruction::DataFreqHz),
    ColumnOf<&TestSet::ImageFreqHz>(Instruction::ImageFreqHz),
    ColumnOf<&TestSet::Tolerance>(Instruction::Tolerance),
    ColumnOf<&TestSet::TolCorOver>(Instruction::TolCorOver),
    ColumnOf<&TestSet::TimeUnits>(Instruction::TimeUnits),
};

constexpr bool InKeyOrder() {
  for (std::size_t i = 0; i < kColumns.size(); ++i) {
    if (static_cast<std::size_t>(kColumns[i].key) != i) return false;
  }
  return true;
}
static_assert(InKeyOrder());

// The column of a key; null for a key the reader does not know.
const Column* ColumnFor(Instruction key) {
  const auto index = static_cast<std::size_t>(static_cast<std::int32_t>(key));
  return index < kColumns.size() ? &kColumns[index] : nullptr;
}

// The blank-separated tokens of one line.
std::vector<std::string_view> Tokens(std::string_view line) {
  std::vector<std::string_view> tokens;
  constexpr std::string_view kBlanks = " \t\r\v\f";
  std::size_t begin = line.find_first_not_of(kBlanks);
  while (begin != std::string_view::npos) {
    std::size_t end = line.find_first_of(kBlanks, begin);
    if (end == std::string_view::npos) end = line.size();
    tokens.push_back(line.substr(begin, end - begin));
    begin = line.find_first_not_of(kBlanks, end);
  }
  return tokens;
}

Finding FileFinding(FindingRule rule, int line, std::string_view token = {},
                    Instruction column = kNoColumn) {
  Finding finding;
  finding.rule = rule;
  finding.line = line;
  finding.token = std::string(token);
  finding.column = column;
  return finding;
}

// What the lenient reader would pass over without a word, line by line.
std::vector<Finding> StrictFindings(std::string_view contents) {
  std::vector<Finding> findings;
  std::vector<Instruction> columns;
  bool have_header = false;
  int line_number = 0;
  std::size_t begin = 0;
  while (begin < contents.size()) {
    std::size_t end = contents.find('\n', begin);
    if (end == std::string_view::npos) end = contents.size();
    const std::vector<std::string_view> tokens = Tokens(contents.substr(begin, end - begin));
    begin = end + 1;
    ++line_number;
    if (tokens.empty()) continue;

    if (!have_header) {
      have_header = true;
      for (std::string_view key : tokens) {
        const Instruction column = InstructionFromName(key);
        if (!Known(column)) {
          findings.push_back(FileFinding(FindingRule::kUnknownColumn, line_number, key));
        } else if (std::find(columns.begin(), columns.end(), column) != columns.end()) {
          findings.push_back(FileFinding(FindingRule::kRepeatedColumn, line_number, key, column));
        }
        columns.push_back(column);
      }
      continue;
    }

    if (tokens.size() != columns.size()) {
      Finding finding = FileFinding(FindingRule::kValueCount, line_number);
      finding.value = static_cast<double>(tokens.size());
      finding.limit = static_cast<double>(columns.size());
      findings.push_back(std::move(finding));
      continue;
    }
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      const Column* column = ColumnFor(columns[i]);
      if (column != nullptr && !column->written(tokens[i])) {
        findings.push_back(
            FileFinding(FindingRule::kInvalidValue, line_number, tokens[i], columns[i]));
      }
    }
  }
  if (!have_header) findings.push_back(FileFinding(FindingRule::kNoProtocol, 0));
  return findings;
}

}  // namespace

int TestSequence::WriteProtocol(std::ostream& out) {
  columns.assign(kWrittenColumns.begin(), kWrittenColumns.end());
  for (const Instruction column : columns) out << InstructionName(column) << '\t';
  out << kLineEnd;
  for (const TestSet& set : sets) {
    for (const Instruction column : columns) out << WrittenValue(set, column) << '\t';
    out << kLineEnd;
  }
  return static_cast<int>(sets.size());
}

void TestSequence::ReadProtocolHeader(std::istream& in, std::string& token) {
  sets.clear();
  columns.clear();
  columns.push_back(InstructionFromName(token));
  // The rest of the first line; a trailing CR is white space like the tabs.
  std::string line;
  std::getline(in, line);
  std::istringstream keys(line);
  keys.imbue(std::locale::classic());
  for (std::string key; keys >> key;) columns.push_back(InstructionFromName(key));
  ReadToken(in, token);
}

void TestSequence::ReadProtocolSet(std::istream& in, std::string& token) {
  TestSet set;
  // Position is all that ties a token to a column: a missing value shifts
  // the rest, and a key named twice is stored twice, the later value winning.
  for (const Instruction key : columns) {
    if (const Column* column = ColumnFor(key)) column->read(token, set);
    ReadToken(in, token);
  }
  sets.push_back(std::move(set));
}

void ReadProtocol(std::istream& in, TestSequence& sequence) {
  std::string token;
  ReadToken(in, token);
  sequence.ReadProtocolHeader(in, token);
  // Go on while the last read found a token. Testing the stream for its end
  // instead would drop a set whose first token is the file's last, unfollowed
  // by a line end (the last line of a one-column file, or a stray token).
  while (!token.empty()) sequence.ReadProtocolSet(in, token);
}

std::vector<Finding> ReadProtocolContents(std::string_view contents, ProtocolReading reading,
                                          TestSequence& sequence) {
  if (reading == ProtocolReading::kStrict) {
    std::vector<Finding> findings = StrictFindings(contents);
    if (!findings.empty()) return findings;
  }
  std::istringstream in{std::string(contents)};
  in.imbue(std::locale::classic());
  TestSequence read;
  ReadProtocol(in, read);
  sequence = std::move(read);
  return {};
}

bool ReadProtocolText(const std::string& path, std::string* text, std::string* error) {
  std::string contents;
  if (!ReadWholeFile(path, &contents, error, kMaxProtocolFileBytes)) return false;
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (std::string_view(contents).starts_with(kByteOrderMark))
    contents.erase(0, kByteOrderMark.size());
  // Only the header needs its line end; a lone CR would make the whole file
  // one header line.
  for (std::size_t i = 0; i < contents.size(); ++i) {
    if (contents[i] == '\r' && (i + 1 == contents.size() || contents[i + 1] != '\n')) {
      contents[i] = '\n';
    }
  }
  *text = std::move(contents);
  return true;
}

bool ReadProtocolFile(const std::string& path, TestSequence& sequence, std::string* error) {
  std::string contents;
  if (!ReadProtocolText(path, &contents, error)) return false;
  // Protocol files are text; the reader would take anything else for an
  // empty or a garbled protocol without a word.
  const auto binary = std::find_if(contents.begin(), contents.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F;
  });
  if (binary != contents.end()) {
    if (error != nullptr) {
      const auto line = std::count(contents.begin(), binary, '\n') + 1;
      *error = path + " is not a protocol file: reading stopped at line " + std::to_string(line);
    }
    return false;
  }
  ReadProtocolContents(contents, ProtocolReading::kLenient, sequence);
  return true;
}

bool WriteProtocolFile(const std::string& path, TestSequence& sequence, std::string* error) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  TestSequence written = sequence;
  written.WriteProtocol(out);
  if (!ReplaceFileAtomically(path, out.view(), error)) return false;
  sequence.columns = std::move(written.columns);
  return true;
}

}  // namespace stravon
