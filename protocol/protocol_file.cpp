// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/protocol_file.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <istream>
#include <locale>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

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

// Stores `token` in the member that `column` names. Nothing is rejected: an
// unrecognised name is stored as -1, a token without a number as 0, and a
// column of an unrecognised key leaves the set as it is.
void StoreValue(std::string_view token, Instruction column, TestSet& set) {
  switch (column) {
    case Instruction::Name:
      set.Name = NameFromToken(token);
      break;
    case Instruction::XMode:
      set.XMode = ControlModeFromName(token);
      break;
    case Instruction::YMode:
      set.YMode = ControlModeFromName(token);
      break;
    case Instruction::ZMode:
      set.ZMode = ControlModeFromName(token);
      break;
    case Instruction::XFunction:
      set.XFunction = ControlFunctionFromName(token);
      break;
    case Instruction::YFunction:
      set.YFunction = ControlFunctionFromName(token);
      break;
    case Instruction::ZFunction:
      set.ZFunction = ControlFunctionFromName(token);
      break;
    case Instruction::XUnits:
      set.XUnits = MeasureUnitFromName(token);
      break;
    case Instruction::YUnits:
      set.YUnits = MeasureUnitFromName(token);
      break;
    case Instruction::ZUnits:
      set.ZUnits = MeasureUnitFromName(token);
      break;
    case Instruction::XMagnitude:
      set.XMagnitude = ParseLeadingDouble(token);
      break;
    case Instruction::YMagnitude:
      set.YMagnitude = ParseLeadingDouble(token);
      break;
    case Instruction::ZMagnitude:
      set.ZMagnitude = ParseLeadingDouble(token);
      break;
    case Instruction::XPreloadType:
      set.XPreloadType = PreloadTypeFromName(token);
      break;
    case Instruction::YPreloadType:
      set.YPreloadType = PreloadTypeFromName(token);
      break;
    case Instruction::ZPreloadType:
      set.ZPreloadType = PreloadTypeFromName(token);
      break;
    case Instruction::XPreloadMag:
      set.XPreloadMag = ParseLeadingDouble(token);
      break;
    case Instruction::YPreloadMag:
      set.YPreloadMag = ParseLeadingDouble(token);
      break;
    case Instruction::ZPreloadMag:
      set.ZPreloadMag = ParseLeadingDouble(token);
      break;
    case Instruction::StretchDurationSec:
      set.StretchDurationSec = ParseLeadingDouble(token);
      break;
    case Instruction::RecoveryDurationSec:
      set.RecoveryDurationSec = ParseLeadingDouble(token);
      break;
    case Instruction::HoldTimeSec:
      set.HoldTimeSec = ParseLeadingDouble(token);
      break;
    case Instruction::RestTimeSec:
      set.RestTimeSec = ParseLeadingDouble(token);
      break;
    case Instruction::NumReps:
      set.NumReps = ParseLeadingInteger(token);
      break;
    case Instruction::DataFreqHz:
      set.DataFreqHz = DataFrequencyFromName(token);
      break;
    case Instruction::ImageFreqHz:
      set.ImageFreqHz = ImageFrequencyFromName(token);
      break;
    case Instruction::Tolerance:
      set.Tolerance = ParseLeadingDouble(token);
      break;
    case Instruction::TolCorOver:
      set.TolCorOver = ParseLeadingInteger(token) != 0;
      break;
    case Instruction::TimeUnits:
      set.TimeUnits = TimeUnitFromName(token);
      break;
  }
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
  for (const Instruction column : columns) {
    StoreValue(token, column, set);
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

bool ReadProtocolText(const std::string& path, std::string* text, std::string* error) {
  std::string contents;
  if (!ReadWholeFile(path, &contents, error, kMaxProtocolFileBytes)) return false;
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (std::string_view(contents).starts_with(kByteOrderMark)) contents.erase(0, kByteOrderMark.size());
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
  std::istringstream in(std::move(contents));
  in.imbue(std::locale::classic());
  TestSequence read;
  ReadProtocol(in, read);
  sequence = std::move(read);
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
