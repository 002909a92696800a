// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/protocol_file.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/enumerations.h"
#include "protocol/finding.h"
#include "protocol/test_sequence.h"
#include "protocol/test_set.h"

namespace stravon {
namespace {

namespace fs = std::filesystem;

std::vector<std::int32_t> Raw(const std::vector<Instruction>& columns) {
  std::vector<std::int32_t> raw;
  for (const Instruction column : columns) raw.push_back(static_cast<std::int32_t>(column));
  return raw;
}

// Two sets as the set editor makes them.
TestSequence WorkedExample() {
  TestSequence sequence;
  TestSet ramp;
  ramp.XFunction = ControlFunction::Ramp;
  ramp.XUnits = MeasureUnit::Millimetre;
  ramp.XMagnitude = 2.5;
  ramp.StretchDurationSec = 1;
  ramp.RecoveryDurationSec = 1;
  ramp.HoldTimeSec = 0.5;
  ramp.RestTimeSec = 2;
  ramp.NumReps = 100;
  ramp.TimeUnits = TimeUnit::Seconds;
  TestSet sine = ramp;
  sine.XFunction = ControlFunction::Sinusoid;
  sine.XMagnitude = 1;
  sine.StretchDurationSec = 0.5;
  sine.RecoveryDurationSec = 0.5;
  sine.HoldTimeSec = 0;
  sine.RestTimeSec = 0;
  sine.NumReps = 60;
  sine.TimeUnits = TimeUnit::Minutes;
  sequence.sets = {ramp, sine};
  return sequence;
}

const std::string kWorkedExampleFile =
    "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\tHoldTimeSec\t"
    "RestTimeSec\tNumReps\tTimeUnits\t\r\n"
    "Ramp\tmm\t2.5\t1\t1\t0.5\t2\t100\tSeconds\t\r\n"
    "Sinusoid\tmm\t1\t0.5\t0.5\t0\t0\t60\tMinutes\t\r\n";

const std::vector<std::int32_t> kWrittenColumns = {2, 3, 4, 19, 20, 21, 22, 23, 28};

TestSequence ReadText(const std::string& text) {
  std::istringstream in(text);
  TestSequence sequence;
  ReadProtocol(in, sequence);
  return sequence;
}

std::string FileContents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ProtocolWriterTest, WorkedExampleByteForByte) {
  TestSequence sequence = WorkedExample();
  sequence.columns = {Instruction::Name};
  std::ostringstream out;
  EXPECT_EQ(sequence.WriteProtocol(out), 2);
  EXPECT_EQ(out.str(), kWorkedExampleFile);
  EXPECT_EQ(Raw(sequence.columns), kWrittenColumns);
}

// Six significant digits, invalid values by name, and the members the writer
// leaves out: they come back as defaults.
TEST(ProtocolWriterTest, NumberFormsInvalidValuesAndUnstoredMembers) {
  TestSequence sequence;
  TestSet set;
  set.XFunction = static_cast<ControlFunction>(7);
  set.XUnits = static_cast<MeasureUnit>(-1);
  set.XMagnitude = 1.0 / 3;
  set.StretchDurationSec = 1e-05;
  set.RecoveryDurationSec = 2e6;
  set.HoldTimeSec = -0.5;
  set.RestTimeSec = 0.001;
  set.NumReps = -3;
  set.TimeUnits = static_cast<TimeUnit>(9);
  set.Name = "Cell Line A";
  set.XMode = ControlMode::Force;
  set.XPreloadType = PreloadType::Every;
  sequence.sets = {set};
  std::ostringstream out;
  sequence.WriteProtocol(out);
  const std::string line = out.str().substr(out.str().find("\r\n") + 2);
  EXPECT_EQ(line,
            "InvalidFunction\tInvalidUnits\t0.333333\t1e-05\t2e+06\t-0.5\t0.001\t-3\t"
            "InvalidMode\t\r\n");

  const TestSequence read = ReadText(out.str());
  ASSERT_EQ(read.sets.size(), 1u);
  const TestSet& back = read.sets[0];
  EXPECT_EQ(static_cast<int>(back.XFunction), -1);
  EXPECT_EQ(static_cast<int>(back.XUnits), -1);
  EXPECT_EQ(static_cast<int>(back.TimeUnits), -1);
  EXPECT_EQ(back.XMagnitude, 0.333333);
  EXPECT_EQ(back.StretchDurationSec, 1e-05);
  EXPECT_EQ(back.NumReps, -3);
  EXPECT_EQ(back.Name, "Data1");
  EXPECT_EQ(back.XMode, ControlMode::Disp);
  EXPECT_EQ(back.XPreloadType, PreloadType::None);
}

TEST(ProtocolReaderTest, WorkedExampleReadsBackWithEitherLineEnd) {
  std::string lf = kWorkedExampleFile;
  for (std::size_t at; (at = lf.find('\r')) != std::string::npos;) lf.erase(at, 1);
  // The last line without its final tab and line end reads the same.
  const std::string unterminated = kWorkedExampleFile.substr(0, kWorkedExampleFile.size() - 3);
  for (const std::string& text : {kWorkedExampleFile, lf, unterminated}) {
    const TestSequence read = ReadText(text);
    EXPECT_EQ(Raw(read.columns), kWrittenColumns);
    EXPECT_EQ(read.sets, WorkedExample().sets);
  }
}

// Builds the expected sets of a reader case from a default set.
TestSet With(void (*change)(TestSet&)) {
  TestSet set;
  change(set);
  return set;
}

struct ReaderCase {
  const char* what;
  std::string text;
  std::vector<std::int32_t> columns;
  std::vector<TestSet> sets;
};

class ProtocolReaderCaseTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(ProtocolReaderCaseTest, Reads) {
  const ReaderCase& c = GetParam();
  const TestSequence read = ReadText(c.text);
  EXPECT_EQ(Raw(read.columns), c.columns);
  EXPECT_EQ(read.sets, c.sets);
}

std::string AllKeysHeader() {
  std::string header;
  for (int k = 0; k <= 28; ++k)
    header += std::string(InstructionName(static_cast<Instruction>(k))) + "\t";
  return header + "\r\n";
}

std::vector<std::int32_t> Range(int count, int first = 0, int step = 1) {
  std::vector<std::int32_t> values;
  for (int k = 0; k < count; ++k) values.push_back(first + k * step);
  return values;
}

std::string Repeat(const std::string& text, int count) {
  std::string result;
  for (int k = 0; k < count; ++k) result += text;
  return result;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProtocolReaderCaseTest,
    testing::Values(
        ReaderCase{"empty file", "", {-1}, {}},
        ReaderCase{"white space only", " \r\n\t\r\n", {-1}, {}},
        ReaderCase{"header only", "XFunction\tXUnits\t\r\n", {2, 3}, {}},
        ReaderCase{"header without line end", "XFunction", {2}, {}},
        ReaderCase{"lower case, reordered",
                   "numreps\ttimeunits\txfunction\t\r\n5\tminutes\tSINUSOID\t\r\n",
                   {23, 28, 2},
                   {With([](TestSet& s) {
                     s.NumReps = 5;
                     s.TimeUnits = TimeUnit::Minutes;
                     s.XFunction = ControlFunction::Sinusoid;
                   })}},
        ReaderCase{"unrecognised key skipped",
                   "XUnits\tComment\tXMagnitude\t\r\nmm\t9\t2.5\t\r\nMM\tx\t3\t\r\n",
                   {3, -1, 4},
                   {With([](TestSet& s) {
                      s.XUnits = MeasureUnit::Millimetre;
                      s.XMagnitude = 2.5;
                    }),
                    With([](TestSet& s) {
                      s.XUnits = static_cast<MeasureUnit>(-1);
                      s.XMagnitude = 3;
                    })}},
        ReaderCase{"later duplicate wins",
                   "NumReps\tHoldTimeSec\tNumReps\t\r\n1\t0.5\t2\t\r\n",
                   {23, 21, 23},
                   {With([](TestSet& s) {
                     s.NumReps = 2;
                     s.HoldTimeSec = 0.5;
                   })}},
        // A missing value pulls the next line's first token in; the file
        // then ends mid-set and the rest is read from the empty text.
        ReaderCase{"missing value shifts the rest",
                   "XMagnitude\tNumReps\tTimeUnits\t\r\n1\t2\t\r\n3\t4\tHours\t\r\n",
                   {4, 23, 28},
                   {With([](TestSet& s) {
                      s.XMagnitude = 1;
                      s.NumReps = 2;
                      s.TimeUnits = static_cast<TimeUnit>(-1);
                    }),
                    With([](TestSet& s) {
                      s.XMagnitude = 4;
                      s.NumReps = 0;
                      s.TimeUnits = static_cast<TimeUnit>(-1);
                    })}},
        ReaderCase{"stray token makes one more set",
                   "XFunction\tNumReps\tXMagnitude\t\r\nStep\t2\t1\t\r\nstray\r\n",
                   {2, 23, 4},
                   {With([](TestSet& s) {
                      s.XFunction = ControlFunction::Step;
                      s.NumReps = 2;
                      s.XMagnitude = 1;
                    }),
                    With([](TestSet& s) {
                      s.XFunction = static_cast<ControlFunction>(-1);
                      s.NumReps = 0;
                      s.XMagnitude = 0;
                    })}},
        ReaderCase{
            "last token of a one-column file without line end",
            "NumReps\r\n5\r\n\r\n7",
            {23},
            {With([](TestSet& s) { s.NumReps = 5; }), With([](TestSet& s) { s.NumReps = 7; })}},
        ReaderCase{"names with [_]",
                   "Name\tNumReps\t\r\nCell[_]Line[_]A\t3\t\r\n[_][_]x[_\t1\t\r\n",
                   {0, 23},
                   {With([](TestSet& s) {
                      s.Name = "Cell Line A";
                      s.NumReps = 3;
                    }),
                    With([](TestSet& s) { s.Name = "  x[_"; })}},
        // Every key once, each value distinct from the default, so that a key
        // tied to the wrong member shows.
        ReaderCase{
            "every column",
            AllKeysHeader() +
                "A[_]b\tforce\tstep\tuN\t1.5\tFIRST\t2.5\tForce\tcustom\tN\t3.5\tevery\t4.5"
                "\tforce\tsinusoid\tum\t5.5\tnone\t6.5\t7.5\t8.5\t9.5\t10.5\t11\t25\t10\t12.5"
                "\t-1\tdays\t\r\n",
            Range(29),
            {With([](TestSet& s) {
              s.Name = "A b";
              s.XMode = ControlMode::Force;
              s.XFunction = ControlFunction::Step;
              s.XUnits = MeasureUnit::MicroNewton;
              s.XMagnitude = 1.5;
              s.XPreloadType = PreloadType::First;
              s.XPreloadMag = 2.5;
              s.YMode = ControlMode::Force;
              s.YFunction = ControlFunction::Custom;
              s.YUnits = MeasureUnit::Newton;
              s.YMagnitude = 3.5;
              s.YPreloadType = PreloadType::Every;
              s.YPreloadMag = 4.5;
              s.ZMode = ControlMode::Force;
              s.ZFunction = ControlFunction::Sinusoid;
              s.ZUnits = MeasureUnit::Micrometre;
              s.ZMagnitude = 5.5;
              s.ZPreloadType = PreloadType::None;
              s.ZPreloadMag = 6.5;
              s.StretchDurationSec = 7.5;
              s.RecoveryDurationSec = 8.5;
              s.HoldTimeSec = 9.5;
              s.RestTimeSec = 10.5;
              s.NumReps = 11;
              s.DataFreqHz = DataFrequency::Hz30;
              s.ImageFreqHz = ImageFrequency::Hz5;
              s.Tolerance = 12.5;
              s.TolCorOver = true;
              s.TimeUnits = TimeUnit::Days;
            })}},
        // Lengths no fixed buffer would hold: an over-long key or name-matched
        // token matches nothing, a long name is kept whole.
        ReaderCase{"over-long tokens",
                   std::string(5000, 'K') + "\tXFunction\tName\t\r\n1\t" +
                       std::string(100000, 'R') + "\t" + std::string(3000, 'n') + "\t\r\n",
                   {-1, 2, 0},
                   {With([](TestSet& s) {
                     s.XFunction = static_cast<ControlFunction>(-1);
                     s.Name = std::string(3000, 'n');
                   })}},
        ReaderCase{"header longer than a line buffer",
                   Repeat("HoldTimeSec\t", 200) + "\r\n" + Repeat("1\t", 199) + "42\t\r\n",
                   std::vector<std::int32_t>(200, 21),
                   {With([](TestSet& s) { s.HoldTimeSec = 42; })}}),
    [](const testing::TestParamInfo<ReaderCase>& param_info) {
      std::string name;
      for (const char* c = param_info.param.what; *c; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      }
      return name;
    });

Finding OnLine(FindingRule rule, int line, std::string token = {}, Instruction column = kNoColumn) {
  Finding finding;
  finding.rule = rule;
  finding.line = line;
  finding.token = std::move(token);
  finding.column = column;
  return finding;
}

Finding ValueCount(int line, double values, double columns) {
  Finding finding = OnLine(FindingRule::kValueCount, line);
  finding.value = values;
  finding.limit = columns;
  return finding;
}

struct StrictCase {
  const char* what;
  std::string text;
  std::vector<Finding> findings;
};

class StrictReadingTest : public testing::TestWithParam<StrictCase> {};

// A file with findings leaves the sequence alone; one without reads exactly
// as the desktop program opens it.
TEST_P(StrictReadingTest, FindsWhatTheLenientReaderPassesOver) {
  const StrictCase& c = GetParam();
  TestSequence sequence;
  sequence.sets.resize(3);
  const TestSequence before = sequence;
  EXPECT_EQ(ReadProtocolContents(c.text, ProtocolReading::kStrict, sequence), c.findings);
  if (!c.findings.empty()) {
    EXPECT_EQ(sequence, before);
  } else {
    EXPECT_EQ(sequence, ReadText(c.text));
  }
  TestSequence lenient;
  EXPECT_TRUE(ReadProtocolContents(c.text, ProtocolReading::kLenient, lenient).empty());
  EXPECT_EQ(lenient, ReadText(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StrictReadingTest,
    testing::Values(
        StrictCase{"worked example", kWorkedExampleFile, {}},
        StrictCase{"blank lines and every kind written",
                   "Name\tNumReps\tTolCorOver\tDataFreqHz\tImageFreqHz\tXUnits\tXMode\n\n"
                   "Cell[_]A\t-3\t1\t25\t10\tmm\tforce\n",
                   {}},
        StrictCase{"blanks only", " \n\t\n", {OnLine(FindingRule::kNoProtocol, 0)}},
        StrictCase{"unknown and repeated columns",
                   "XFunction\tMagnitude\txfunction\nRamp\t2\tRamp\n",
                   {OnLine(FindingRule::kUnknownColumn, 1, "Magnitude"),
                    OnLine(FindingRule::kRepeatedColumn, 1, "xfunction", Instruction::XFunction)}},
        // Line numbers count the blank line; the short line shifts nothing.
        StrictCase{"value missing",
                   "XFunction\tXMagnitude\tNumReps\n\nRamp\t2\nRamp\t2\t3\t4\n",
                   {ValueCount(3, 2, 3), ValueCount(4, 4, 3)}},
        StrictCase{"values not of their column's kind",
                   "XMagnitude\tNumReps\tXUnits\tXFunction\tDataFreqHz\tTimeUnits\n"
                   "2mm\t1.5\tMM\tRamps\tabc\tmSeconds\n",
                   {OnLine(FindingRule::kInvalidValue, 2, "2mm", Instruction::XMagnitude),
                    OnLine(FindingRule::kInvalidValue, 2, "1.5", Instruction::NumReps),
                    OnLine(FindingRule::kInvalidValue, 2, "MM", Instruction::XUnits),
                    OnLine(FindingRule::kInvalidValue, 2, "Ramps", Instruction::XFunction),
                    OnLine(FindingRule::kInvalidValue, 2, "abc", Instruction::DataFreqHz)}},
        // An unknown column is reported once; its values are nobody's to judge.
        StrictCase{"unknown column's values",
                   "Colour\tNumReps\nblue\t2\n",
                   {OnLine(FindingRule::kUnknownColumn, 1, "Colour")}}),
    [](const testing::TestParamInfo<StrictCase>& param) {
      std::string name = param.param.what;
      std::replace_if(
          name.begin(), name.end(), [](char ch) { return !std::isalnum(ch); }, '_');
      return name;
    });

// A folder in the test's temporary area, removed afterwards.
class ProtocolFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::path(testing::TempDir()) / "protocol-file-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(folder_, ignored);
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder_;
};

TEST_F(ProtocolFileTest, SavesAndOpens) {
  const fs::path path = folder_ / "test.tmt";
  TestSequence sequence = WorkedExample();
  std::string error;
  ASSERT_TRUE(WriteProtocolFile(path.string(), sequence, &error)) << error;
  EXPECT_EQ(FileContents(path), kWorkedExampleFile);
  EXPECT_EQ(Raw(sequence.columns), kWrittenColumns);

  // Saving again replaces the file, keeps its permissions and leaves no
  // temporary file behind.
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  sequence.sets.pop_back();
  ASSERT_TRUE(WriteProtocolFile(path.string(), sequence, &error)) << error;
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Entries(), std::vector<std::string>{"test.tmt"});

  TestSequence read;
  ASSERT_TRUE(ReadProtocolFile(path.string(), read, &error)) << error;
  EXPECT_EQ(read.sets, sequence.sets);
  EXPECT_EQ(Raw(read.columns), kWrittenColumns);
}

TEST_F(ProtocolFileTest, SavingThroughALinkReplacesItsTarget) {
  const fs::path target = folder_ / "real.tmt";
  const fs::path link = folder_ / "link.tmt";
  std::ofstream(target) << "old";
  fs::create_symlink(target, link);
  TestSequence sequence = WorkedExample();
  std::string error;
  ASSERT_TRUE(WriteProtocolFile(link.string(), sequence, &error)) << error;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(FileContents(target), kWorkedExampleFile);
}

// What the desktop program opens: a byte-order mark and lines ending in CR
// alone read as the worked example; a file beyond any protocol is refused
// before it is read.
TEST_F(ProtocolFileTest, OpensFilesFromOtherEditorsAndRefusesHugeOnes) {
  std::string cr_only = kWorkedExampleFile;
  for (std::size_t at; (at = cr_only.find("\r\n")) != std::string::npos;) cr_only.erase(at + 1, 1);
  const std::pair<const char*, std::string> readable[] = {
      {"byte-order mark", "\xEF\xBB\xBF" + std::string(kWorkedExampleFile)},
      {"CR line ends", cr_only},
  };
  for (const auto& [name, contents] : readable) {
    SCOPED_TRACE(name);
    const fs::path path = folder_ / "other.tmt";
    std::ofstream(path, std::ios::binary) << contents;
    TestSequence read;
    std::string error;
    ASSERT_TRUE(ReadProtocolFile(path.string(), read, &error)) << error;
    EXPECT_EQ(read.sets, WorkedExample().sets);
  }

  const fs::path huge = folder_ / "huge.tmt";
  std::ofstream(huge, std::ios::binary) << std::string(kMaxProtocolFileBytes + 1, ' ');
  TestSequence sequence = WorkedExample();
  std::string error;
  EXPECT_FALSE(ReadProtocolFile(huge.string(), sequence, &error));
  EXPECT_NE(error.find("1048577 bytes"), std::string::npos) << error;
  EXPECT_EQ(sequence, WorkedExample());
}

// Saving onto a FIFO writes into it; it is not replaced by a file.
TEST_F(ProtocolFileTest, SavingOntoAFifoWritesIntoIt) {
  const fs::path fifo = folder_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = FileContents(fifo); });
  TestSequence sequence = WorkedExample();
  std::string error;
  EXPECT_TRUE(WriteProtocolFile(fifo.string(), sequence, &error)) << error;
  reader.join();
  EXPECT_EQ(received, kWorkedExampleFile);
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(Entries(), std::vector<std::string>{"fifo"});
}

TEST_F(ProtocolFileTest, OpenFailuresLeaveTheSequenceAlone) {
  for (const fs::path& path : {folder_ / "missing.tmt", folder_}) {
    TestSequence sequence = WorkedExample();
    std::string error;
    EXPECT_FALSE(ReadProtocolFile(path.string(), sequence, &error)) << path;
    EXPECT_NE(error.find(path.string()), std::string::npos) << error;
    EXPECT_EQ(sequence, WorkedExample());
  }
}

TEST_F(ProtocolFileTest, ABinaryFileIsNotReadAsAProtocol) {
  const fs::path path = folder_ / "image.bin";
  std::ofstream(path, std::ios::binary) << std::string(
      "XFunction\t\nRamp\t\n\x7F"
      "ELF\0\x02",
      23);
  TestSequence sequence = WorkedExample();
  std::string error;
  EXPECT_FALSE(ReadProtocolFile(path.string(), sequence, &error));
  EXPECT_EQ(error, path.string() + " is not a protocol file: reading stopped at line 3");
  EXPECT_EQ(sequence, WorkedExample());
}

// Every failed save reports it, keeps the old file and removes its temporary.
TEST_F(ProtocolFileTest, FailedSaveKeepsTheOldFile) {
  const fs::path path = folder_ / "old.tmt";
  std::ofstream(path) << "old contents";
  TestSequence sequence = WorkedExample();
  for (int k = 0; k < 4000; ++k) sequence.sets.push_back(sequence.sets[0]);
  std::string error;

  // Writing fails: the file size limit stops the data half-way.
  rlimit previous{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto previous_handler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = previous;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteProtocolFile(path.string(), sequence, &error);
  ::setrlimit(RLIMIT_FSIZE, &previous);
  ::signal(SIGXFSZ, previous_handler);
  EXPECT_FALSE(written);
  EXPECT_NE(error.find(path.string()), std::string::npos) << error;
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
  EXPECT_EQ(FileContents(path), "old contents");
  EXPECT_TRUE(sequence.columns.empty()) << "columns change only when the save succeeds";

  // The rename fails: the target is a folder that is not empty.
  const fs::path occupied = folder_ / "occupied.tmt";
  fs::create_directory(occupied);
  std::ofstream(occupied / "keep") << "x";
  error.clear();
  EXPECT_FALSE(WriteProtocolFile(occupied.string(), sequence, &error));
  EXPECT_NE(error.find(occupied.string()), std::string::npos) << error;
  EXPECT_TRUE(fs::exists(occupied / "keep"));

  // The folder does not exist.
  error.clear();
  EXPECT_FALSE(WriteProtocolFile((folder_ / "no" / "x.tmt").string(), sequence, &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;

  EXPECT_EQ(Entries(), (std::vector<std::string>{"occupied.tmt", "old.tmt"}));
}

TEST_F(ProtocolFileTest, FailedSaveInAFolderThatCannotBeWritten) {
  const fs::path path = folder_ / "old.tmt";
  std::ofstream(path) << "old contents";
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(folder_.c_str(), W_OK) == 0) GTEST_SKIP() << "running with override rights";
  TestSequence sequence = WorkedExample();
  std::string error;
  EXPECT_FALSE(WriteProtocolFile(path.string(), sequence, &error));
  EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
  EXPECT_EQ(FileContents(path), "old contents");
  EXPECT_EQ(Entries(), std::vector<std::string>{"old.tmt"});
}

}  // namespace
}  // namespace stravon
