// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/settings_backup.h"
#include "cli/terminal_progress.h"
#include "device/device_commands.h"
#include "device/hardware_settings.h"
#include "protocol/protocol_file.h"
#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"
#include "tests/support/child_process.h"
#include "tests/support/test_settings.h"
#include "tests/support/time_scale.h"

namespace stravon {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Short enough that a silent unit costs little, long enough for a loaded machine.
constexpr const char* kTimeoutMs = "300";

using Outcome = test_support::ProcessOutcome;

// The built stravon-cli, running with a fixture tree's roots.
class Process : public test_support::ChildProcess {
 public:
  // `as_nobody`: run without privileges (for a test run as root).
  Process(const std::vector<std::string>& args, const sim::FixtureTree& tree,
          bool as_nobody = false, const std::string& program = STRAVON_CLI_PATH)
      : ChildProcess(
            program, args,
            {"STRAVON_SYSFS_ROOT=" + tree.SysfsRoot(), "STRAVON_DEV_ROOT=" + tree.DevRoot()},
            as_nobody) {}
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Two sets as the set editor makes them.
const char* const kProtocol =
    "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\tHoldTimeSec\t"
    "RestTimeSec\tNumReps\tTimeUnits\t\r\n"
    "Ramp\tmm\t2.5\t1\t1\t0.5\t2\t100\tSeconds\t\r\n"
    "Sinusoid\tmm\t1\t0.5\t0.5\t0\t0\t60\tMinutes\t\r\n";

// A default set as protocol files keep it: 50 % of the minimum specimen size.
const char* const kPercentProtocol =
    "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\tHoldTimeSec\t"
    "RestTimeSec\tNumReps\tTimeUnits\n"
    "Ramp\t%\t50\t10\t0\t0\t0\t1\tSeconds\n"
    "Ramp\t%\t50\t0\t10\t0\t0\t1\tSeconds\n";

class CliTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tree_.ok()); }

  void AttachUnit(sim::UnitOptions options = {},
                  const sim::UsbIdentity& identity = sim::UnitIdentity()) {
    unit_ = std::make_unique<sim::SimulatedUnit>(options);
    ASSERT_EQ(unit_->Start(), 0);
    tty_ = tree_.AddUsbPort(identity, unit_->SlavePath());
    ASSERT_FALSE(tty_.empty());
  }

  std::vector<std::string> Args(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--timeout", kTimeoutMs});
    return args;
  }
  Outcome Run(const std::vector<std::string>& args) { return Process(Args(args), tree_).Wait(); }

  std::string Path(const std::string& name) const { return tree_.Root() + "/" + name; }
  std::string ProtocolFile(const std::string& text = kProtocol) {
    const std::string path = Path("protocol" + std::to_string(++files_) + ".tmt");
    WriteFile(path, text);
    return path;
  }
  std::string Memory(std::uint16_t address, std::size_t count) const {
    const std::vector<std::uint8_t> bytes = unit_->ReadMemory(address, count);
    return std::string(bytes.begin(), bytes.end());
  }
  // Waits until the unit has received `count` commands of a kind.
  bool AwaitCommands(sim::CommandKind kind, int count) const {
    const Clock::time_point end = Clock::now() + 10s;
    while (unit_->CommandCount(kind) < count) {
      if (Clock::now() > end) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }
  HardwareSettings UnitSettings() const {
    SettingsBlock block{};
    const std::vector<std::uint8_t> bytes =
        unit_->ReadMemory(sim::kSettingsAddress, sim::kSettingsSize);
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return DecodeSettingsBlock(block);
  }
  void SetUnitSettings(const HardwareSettings& settings) {
    const SettingsBlock block = EncodeSettingsBlock(settings);
    ASSERT_TRUE(unit_->WriteMemory(sim::kSettingsAddress, block));
  }
  // The commands the unit received, in order, as sent (with their terminator).
  std::vector<std::string> Commands() const {
    std::vector<std::string> commands;
    for (const sim::Exchange& exchange : unit_->Transcript()) {
      commands.push_back(exchange.command + "\r");
    }
    return commands;
  }

  sim::FixtureTree tree_ = sim::FixtureTree::Temporary();
  std::unique_ptr<sim::SimulatedUnit> unit_;
  std::string tty_;  // the unit's port name in the tree
  int files_ = 0;
};

TEST_F(CliTest, ProgramThenReadGivesTheSameProtocol) {
  AttachUnit();
  const std::string file = ProtocolFile();
  // Verified unless told not to.
  const Outcome programmed = Run({"program", file});
  ASSERT_EQ(programmed.exit_status, 0) << programmed.err;
  EXPECT_EQ(programmed.err,
            "Programming Device... Success\nReading Device... Success\n"
            "Verified: the unit holds the 1408 bytes written.\n");
  const int reads = unit_->CommandCount(sim::CommandKind::kReadByte);
  const Outcome unverified = Run({"program", "--no-verify", file});
  ASSERT_EQ(unverified.exit_status, 0) << unverified.err;
  EXPECT_EQ(unverified.err, "Programming Device... Success\n");
  EXPECT_EQ(unit_->CommandCount(sim::CommandKind::kReadByte), reads + 64) << "the settings only";

  const Outcome read = Run({"read"});
  ASSERT_EQ(read.exit_status, 0) << read.err;
  EXPECT_EQ(read.out, kProtocol);

  const Outcome to_file = Run({"-q", "read", "-o", Path("read.tmt")});
  ASSERT_EQ(to_file.exit_status, 0) << to_file.err;
  EXPECT_EQ(to_file.out + to_file.err, "");
  EXPECT_EQ(ReadFile(Path("read.tmt")), kProtocol);
}

TEST_F(CliTest, CompileWritesWhatProgramStoresAndDecodeReadsItBack) {
  AttachUnit();
  const std::string file = ProtocolFile();
  ASSERT_EQ(Run({"program", file}).exit_status, 0);
  const std::string image = Path("image.bin");
  // The simulated unit's factory settings: pitch 0.003175 mm, soft limit 7.2 mm.
  const Outcome compiled =
      Run({"compile", file, "--pitch", "0.003175", "--soft-limit", "7.2", "-o", image});
  ASSERT_EQ(compiled.exit_status, 0) << compiled.err;
  EXPECT_EQ(ReadFile(image), Memory(sim::kProgramAddress, sim::kProgramSize));

  const Outcome decoded = Run({"decode", image, "--pitch", "0.003175"});
  ASSERT_EQ(decoded.exit_status, 0) << decoded.err;
  EXPECT_EQ(decoded.out, kProtocol);
}

TEST_F(CliTest, VerifyFindsAByteTheUnitDoesNotHold) {
  AttachUnit();
  const std::string file = ProtocolFile();
  ASSERT_EQ(Run({"program", "--verify", file}).exit_status, 0);

  // Connecting reads the 64 settings bytes; the read-back's eleventh byte
  // then comes back wrong.
  unit_->InjectFault(sim::Fault::Reply("5A\r").For(sim::CommandKind::kReadByte).Skip(64 + 10));
  const Outcome outcome = Run({"program", "--verify", file});
  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_NE(outcome.err.find("Verification failed: the unit holds 0x5A at address 0x6E0A"),
            std::string::npos)
      << outcome.err;
}

TEST_F(CliTest, VerifyCatchesAPageTheUnitStoredWrongly) {
  AttachUnit();
  // The unit acknowledges the second page but keeps its fourth byte inverted.
  unit_->InjectFault(sim::Fault::CorruptStore(3).Skip(1));
  const Outcome outcome = Run({"program", "--verify", ProtocolFile()});
  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_NE(outcome.err.find("at address 0x6E43 where"), std::string::npos) << outcome.err;
  // Nothing the unit would run is left behind, and the command says so.
  EXPECT_NE(outcome.err.find("The unit now holds no protocol"), std::string::npos) << outcome.err;
  const Outcome read = Run({"read"});
  ASSERT_EQ(read.exit_status, 0) << read.err;
  EXPECT_NE(read.err.find("No protocol stored in the unit."), std::string::npos) << read.err;
}

// A last commit answered "Error 0" counts as done on the wire; only the
// default verify finds the unit holding something else.
TEST_F(CliTest, ProgramVerifiesByDefault) {
  AttachUnit();
  // 23 commits: the cleared first page, 21 pages, the first page last.
  unit_->InjectFault(sim::Fault::Error(0).For(sim::CommandKind::kPageCommit).Skip(22));
  const Outcome outcome = Run({"program", ProtocolFile()});
  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_NE(outcome.err.find("Error:  Verification failed"), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("The unit now holds no protocol"), std::string::npos) << outcome.err;
}

// What a failed program says the unit holds is what a read then finds.
TEST_F(CliTest, AFailedProgramSaysWhatTheUnitHolds) {
  const std::string old_file = ProtocolFile();
  std::string changed = kProtocol;
  changed.replace(changed.find("2.5"), 3, "3");
  const std::string none = std::string(kProtocol).substr(0, std::string(kProtocol).find('\n') + 1);
  const std::string new_file = ProtocolFile(changed);
  const struct {
    const char* name;
    sim::Fault fault;
    const char* said;
    std::string read;  // the protocol read afterwards
  } cases[] = {
      {"clearing commit refused", sim::Fault::Error(12).For(sim::CommandKind::kPageCommit),
       "The unit still holds its previous protocol.", kProtocol},
      {"middle page refused", sim::Fault::Error(12).For(sim::CommandKind::kPageCommit).Skip(5),
       "The unit now holds no protocol", none},
      {"last commit refused", sim::Fault::Error(12).For(sim::CommandKind::kPageCommit).Skip(22),
       "The unit now holds no protocol", none},
      {"last commit taken but answered an error",
       sim::Fault::Reply("Error 12\r").For(sim::CommandKind::kPageCommit).Skip(22),
       "The unit holds the new protocol", changed},
  };
  AttachUnit();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Run({"program", old_file}).exit_status, 0);
    unit_->InjectFault(c.fault);
    const Outcome programmed = Run({"program", new_file});
    unit_->ClearFaults();
    EXPECT_EQ(programmed.exit_status, 1);
    EXPECT_NE(programmed.err.find("the unit answered with error 12"), std::string::npos)
        << programmed.err;
    EXPECT_NE(programmed.err.find(c.said), std::string::npos) << programmed.err;
    const Outcome read = Run({"read"});
    ASSERT_EQ(read.exit_status, 0) << read.err;
    EXPECT_EQ(read.out, c.read);
  }
}

TEST_F(CliTest, SettingsBackupRestoresTheSameBlockEvenIntoAnUnprogrammedUnit) {
  AttachUnit();
  const std::string original = Memory(sim::kSettingsAddress, sim::kSettingsSize);
  const std::string backup = Path("unit.settings");
  const Outcome saved = Run({"settings", "backup", backup});
  ASSERT_EQ(saved.exit_status, 0) << saved.err;
  EXPECT_NE(ReadFile(backup).find("travel soft limit      7.2 mm"), std::string::npos);

  // The unit loses its settings: it now looks unprogrammed.
  const std::vector<std::uint8_t> zeros(sim::kSettingsSize, 0);
  ASSERT_TRUE(unit_->WriteMemory(sim::kSettingsAddress, zeros));
  const Outcome unprogrammed = Run({"info"});
  EXPECT_EQ(unprogrammed.exit_status, 1);
  EXPECT_NE(unprogrammed.err.find("Have Not Been Programmed"), std::string::npos)
      << unprogrammed.err;

  const Outcome restored = Run({"settings", "restore", backup});
  ASSERT_EQ(restored.exit_status, 0) << restored.err;
  EXPECT_EQ(Memory(sim::kSettingsAddress, sim::kSettingsSize), original);
  EXPECT_EQ(Run({"info"}).exit_status, 0);
}

TEST_F(CliTest, RestoreRefusesADamagedBackup) {
  AttachUnit();
  const std::string backup = Path("unit.settings");
  ASSERT_EQ(Run({"settings", "backup", backup}).exit_status, 0);
  std::string text = ReadFile(backup);
  text.erase(text.rfind("block 30"));
  WriteFile(backup, text);
  unit_->ClearTranscript();
  const Outcome outcome = Run({"settings", "restore", backup});
  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_NE(outcome.err.find("the settings block ends after 48 bytes"), std::string::npos);
  EXPECT_EQ(unit_->TotalCommands(), 0) << "nothing is sent for a damaged backup";
}

TEST_F(CliTest, SettingsProgramUsesTheDialogsChecks) {
  AttachUnit();
  const Outcome refused = Run({"settings", "program", "--soft-limit", "43.01"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_EQ(refused.err,
            "Error:  Maximum Travel Upper Limit Exceeded.\n\tMaximum Travel = 43.000000\n");
  EXPECT_EQ(unit_->CommandCount(sim::CommandKind::kPageCommit), 0);

  const Outcome programmed = Run({"settings", "program", "--soft-limit", "15", "--offset", "1"});
  ASSERT_EQ(programmed.exit_status, 0) << programmed.err;
  const HardwareSettings settings = UnitSettings();
  EXPECT_EQ(settings.TravelSoftLimit, 15.0f);
  EXPECT_EQ(settings.OffsetPosition, 629);  // floor(1 / 0.003175 + 315)

  EXPECT_EQ(Run({"settings", "program", "--offset", "one"}).exit_status, 2);
}

struct RefusalCase {
  const char* name;
  const char* protocol;  // empty: the file does not exist
  const char* message;   // expected in standard error
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class CliRefusalTest : public CliTest, public testing::WithParamInterface<RefusalCase> {};

// Offline, and again for program, which must send nothing.
TEST_P(CliRefusalTest, ExitsOneWithAClearMessage) {
  const RefusalCase& c = GetParam();
  const std::string file = *c.protocol != '\0' ? ProtocolFile(c.protocol) : Path("missing.tmt");
  const Outcome checked = Run({"check", file, "--pitch", "0.003175", "--soft-limit", "7.2"});
  EXPECT_EQ(checked.exit_status, 1);
  EXPECT_NE(checked.err.find(c.message), std::string::npos) << checked.err;

  AttachUnit();
  const Outcome programmed = Run({"program", file});
  EXPECT_EQ(programmed.exit_status, 1);
  EXPECT_NE(programmed.err.find(c.message), std::string::npos) << programmed.err;
  EXPECT_EQ(unit_->CommandCount(sim::CommandKind::kPageLoad), 0);
}

constexpr const char* kHeader =
    "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\tHoldTimeSec\t"
    "RestTimeSec\tNumReps\tTimeUnits\n";

INSTANTIATE_TEST_SUITE_P(
    Cli, CliRefusalTest,
    testing::Values(
        RefusalCase{"MissingFile", "", "missing.tmt"},
        RefusalCase{"EmptyFile", " \n", "the file holds no protocol"},
        RefusalCase{"MissingValue", "XFunction\tXMagnitude\tNumReps\nRamp\t2\nRamp\t2\t3\n",
                    "line 2: 2 values for 3 columns"},
        RefusalCase{"NotANumber", "XFunction\tXMagnitude\tNumReps\nRamp\t2mm\t1\n",
                    "line 2: \"2mm\" is not a valid XMagnitude"},
        RefusalCase{"UnknownColumn", "XFunction\tMagnitude\nRamp\t2\n",
                    "line 1: unknown column \"Magnitude\""},
        RefusalCase{"UnknownFunction", "XFunction\tNumReps\nRamps\t1\n",
                    "\"Ramps\" is not a valid XFunction"},
        // The commit refuses: two sets that only stretch reach 12 mm.
        RefusalCase{"BeyondSoftLimit",
                    "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\t"
                    "NumReps\nRamp\tmm\t3\t1\t0\t2\nRamp\tmm\t3\t1\t0\t2\n",
                    "Error:  Maximum Stretch Position\nAcross All Sets Must Be Less Than 7.2mm"},
        RefusalCase{"NoSets", kHeader, "Please Specify a Test Sequence Before Executing"}),
    [](const testing::TestParamInfo<RefusalCase>& param) { return std::string(param.param.name); });

// A unit that stores a page other than it acknowledged: the settings read
// back name the field and the value the unit holds, the command fails, and a
// move from that offset position is refused before anything moves.
TEST_F(CliTest, SettingsAreReadBackAfterProgramming) {
  AttachUnit();
  for (const bool restore : {false, true}) {
    SCOPED_TRACE(restore ? "restore" : "program");
    const std::string backup = Path("unit.settings");
    if (restore) {
      ASSERT_EQ(Run({"settings", "backup", backup}).exit_status, 0);
    }
    // Byte 60 is the offset position's highest byte.
    unit_->InjectFault(sim::Fault::CorruptStore(60));
    const Outcome outcome = restore ? Run({"settings", "restore", backup})
                                    : Run({"settings", "program", "--soft-limit", "6.5"});
    EXPECT_EQ(outcome.exit_status, 1);
    EXPECT_EQ(UnitSettings().OffsetPosition, -16776586);
    EXPECT_NE(outcome.err.find("Programming Hardware Settings... Failure: the unit holds other "
                               "settings than were written: offset position -16776586 steps "
                               "(630 steps written)"),
              std::string::npos)
        << outcome.err;
    EXPECT_EQ(outcome.out.find("offset position        630"), std::string::npos) << outcome.out;

    const Outcome move = Run({"move", "3"});
    EXPECT_EQ(move.exit_status, 1);
    EXPECT_NE(move.err.find("offset position lies beyond its actuator stroke"), std::string::npos)
        << move.err;
    EXPECT_EQ(unit_->CommandCount(sim::CommandKind::kMove), 0);
    SetUnitSettings(test_support::FactorySettings());
  }
}

// The minimum specimen size has no option: programming keeps it, and a
// percent set of a 0 mm minimum size warns, as it would not move.
TEST_F(CliTest, SettingsProgramKeepsTheMinimumSpecimenSize) {
  AttachUnit();
  HardwareSettings settings = test_support::FactorySettings();
  settings.MinimumSpecimenSize = 200.0f;
  SetUnitSettings(settings);
  const Outcome programmed = Run({"settings", "program", "--soft-limit", "6.5"});
  ASSERT_EQ(programmed.exit_status, 0) << programmed.err;
  EXPECT_EQ(UnitSettings().MinimumSpecimenSize, 200.0f);
  EXPECT_EQ(UnitSettings().TravelSoftLimit, 6.5f);

  settings.MinimumSpecimenSize = 0.0f;
  SetUnitSettings(settings);
  const int loads = unit_->CommandCount(sim::CommandKind::kPageLoad);
  const Outcome percent = Run({"program", ProtocolFile(kPercentProtocol)});
  EXPECT_EQ(percent.exit_status, 1);
  EXPECT_NE(percent.err.find("Magnitude in Percent of a Minimum Specimen Size of 0 mm"),
            std::string::npos)
      << percent.err;
  EXPECT_EQ(unit_->CommandCount(sim::CommandKind::kPageLoad), loads);
}

// Values the dialog's checks let through but no unit should hold, and one
// left as the unit holds it.
TEST_F(CliTest, SettingsProgramRefusesWhatNoUnitShouldHold) {
  AttachUnit();
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--soft-limit", "40"}, "Error:  Travel Soft Limit Exceeds the Actuator Stroke."},
      {{"--offset", "100"}, "Error:  Offset Outside of Valid Range.\n\tValid Range = -15.875 to"},
      {{"--factory", "--stroke", "1e9"}, "Error:  Actuator Stroke Outside of Valid Range."},
      {{"--factory", "--stroke", "0"}, "Error:  Actuator Stroke Outside of Valid Range."},
      {{"--factory", "--model", "-1"}, "Error:  Model Number Outside of Valid Range."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    std::vector<std::string> args = {"settings", "program"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome outcome = Run(args);
    EXPECT_EQ(outcome.exit_status, 1);
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
  }
  EXPECT_EQ(unit_->CommandCount(sim::CommandKind::kPageCommit), 0);

  // Only the soft limit given: the offset shows as 1.00012 mm, which read
  // back would be step 629; the unit keeps its 630.
  const Outcome programmed = Run({"settings", "program", "--soft-limit", "7"});
  ASSERT_EQ(programmed.exit_status, 0) << programmed.err;
  EXPECT_EQ(UnitSettings().TravelSoftLimit, 7.0f);
  EXPECT_EQ(UnitSettings().OffsetPosition, 630);
  EXPECT_EQ(UnitSettings().Stroke, -5000);
}

// A backup no unit would take is refused before the unit is touched, each
// field named with its value, under one prefix.
TEST_F(CliTest, RestoreNamesTheFieldsABackupGetsWrong) {
  AttachUnit();
  const auto with = [](auto change) {
    HardwareSettings settings = test_support::FactorySettings();
    change(settings);
    return settings;
  };
  const struct {
    const char* name;
    HardwareSettings settings;
    const char* problems;  // after the first line
  } cases[] = {
      {"nan pitch", with([](HardwareSettings& s) { s.MotorPitch = std::nanf(""); }),
       "  motor pitch nan mm per step: a unit takes 0.00001 to 0.015857\n"},
      {"negative minimum, low soft limit", with([](HardwareSettings& s) {
         s.MinimumSpecimenSize = -1.0f;
         s.TravelSoftLimit = 2.0f;
       }),
       "  minimum specimen size -1 mm: a unit takes 0 to 200\n"
       "  travel soft limit 2 mm: a unit takes 5 to 43\n"},
      {"most negative stroke", with([](HardwareSettings& s) { s.Stroke = INT32_MIN; }),
       "  stroke -2147483648 steps: a unit takes -2147483647 to -1\n"},
      {"control bytes in the series", with([](HardwareSettings& s) {
         s.SeriesName = {'\x1B', '[', '2', 'J'};
       }),
       "  series name \"\\x1B[2J\": control bytes are no name\n"},
      {"the dialog's check", with([](HardwareSettings& s) { s.TravelSoftLimit = 20.0f; }),
       "  Travel Soft Limit Exceeds the Actuator Stroke.\n    Maximum Travel = 15.875000\n"},
  };
  const std::string backup = Path("crafted.settings");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(backup, cli::BackupText(EncodeSettingsBlock(c.settings), "test"));
    unit_->ClearTranscript();
    const Outcome outcome = Run({"settings", "restore", backup});
    EXPECT_EQ(outcome.exit_status, 1);
    EXPECT_EQ(outcome.err,
              "Error:  " + backup + " holds settings that a unit does not accept:\n" + c.problems);
    EXPECT_EQ(unit_->TotalCommands(), 0);
  }
}

// What the unit and its USB descriptors say reaches the terminal escaped.
TEST_F(CliTest, ControlBytesFromTheUnitAreEscaped) {
  sim::UnitOptions options;
  options.identification2 = "SW#74050 REV 4.1 \x1B]0;owned\x07";
  sim::UsbIdentity identity = sim::UnitIdentity();
  identity.product = "Unit\x1B[2J";
  AttachUnit(options, identity);
  HardwareSettings settings = UnitSettings();
  settings.SeriesName = {'P', '\x1B', '[', '\0'};
  SetUnitSettings(settings);
  for (const char* command : {"settings", "info", "ports"}) {
    SCOPED_TRACE(command);
    const Outcome outcome = Run({command});
    EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
    EXPECT_EQ(outcome.out.find_first_of("\x1B\x07"), std::string::npos) << outcome.out;
    const char* escaped = std::string(command) == "ports" ? "Unit\\x1B[2J" : "P\\x1B[";
    EXPECT_NE(outcome.out.find(escaped), std::string::npos) << outcome.out;
  }
  EXPECT_NE(Run({"info"}).out.find("4.1 \\x1B]0;owned\\x07"), std::string::npos);
}

// The set moves 5 mm of a 10 mm minimum size and passes; of 20 mm it moves
// 10 mm, beyond the 7.2 mm soft limit, and is refused, offline and at the unit.
TEST_F(CliTest, PercentSetsAreHeldToTheSoftLimitAtTheirLength) {
  AttachUnit();
  const std::string file = ProtocolFile(kPercentProtocol);
  int loads = 0;
  for (const char* min_size : {"10", "20"}) {
    SCOPED_TRACE(min_size);
    const bool within = std::string(min_size) == "10";
    HardwareSettings settings = test_support::FactorySettings();
    settings.MinimumSpecimenSize = std::stof(min_size);
    SetUnitSettings(settings);
    const std::vector<std::string> given = {"--pitch", "0.003175",   "--soft-limit",
                                            "7.2",     "--min-size", min_size};
    std::vector<std::string> check = {"check", file};
    check.insert(check.end(), given.begin(), given.end());
    const Outcome checked = Run(check);
    std::vector<std::string> compile = {"compile", file, "-o", Path("percent.bin")};
    compile.insert(compile.end(), given.begin(), given.end());
    const Outcome compiled = Run(compile);
    const Outcome programmed = Run({"program", file});
    if (within) {
      EXPECT_EQ(checked.exit_status, 0) << checked.err;
      EXPECT_NE(checked.out.find("The protocol is accepted.\n"), std::string::npos);
      EXPECT_EQ(compiled.exit_status, 0) << compiled.err;
      ASSERT_EQ(programmed.exit_status, 0) << programmed.err;
      EXPECT_EQ(Memory(sim::kProgramAddress, sim::kProgramSize), ReadFile(Path("percent.bin")));
      loads = unit_->CommandCount(sim::CommandKind::kPageLoad);
    } else {
      const char* refusal =
          "Error:  Maximum Stretch Position\nAcross All Sets Must Be Less Than 7.2mm";
      for (const Outcome* outcome : {&checked, &compiled, &programmed}) {
        EXPECT_EQ(outcome->exit_status, 1);
        EXPECT_NE(outcome->err.find(refusal), std::string::npos) << outcome->err;
      }
      EXPECT_EQ(unit_->CommandCount(sim::CommandKind::kPageLoad), loads) << "nothing written";
    }
  }
}

struct WarningCase {
  const char* name;
  const char* protocol;
  const char* warning;  // expected in standard error
};

void PrintTo(const WarningCase& c, std::ostream* os) { *os << c.name; }

class CliWarningTest : public CliTest, public testing::WithParamInterface<WarningCase> {};

// The unit runs such a set, so it only warns: check passes (unless --strict),
// compile writes the image, and program writes that same image once --force
// says so.
TEST_P(CliWarningTest, FailsOnlyWhenAskedToOrWithoutForce) {
  const WarningCase& c = GetParam();
  const std::string file = ProtocolFile(c.protocol);
  const std::vector<std::string> given = {"--pitch", "0.003175", "--soft-limit", "7.2"};
  const auto with_settings = [&](std::vector<std::string> args) {
    args.insert(args.end(), given.begin(), given.end());
    return Run(args);
  };

  const Outcome checked = with_settings({"check", file});
  EXPECT_EQ(checked.exit_status, 0) << checked.err;
  EXPECT_NE(checked.out.find("Set 1: warning\n    " + std::string(c.warning)), std::string::npos)
      << checked.out;
  EXPECT_NE(checked.out.find("The protocol is accepted, with warnings"), std::string::npos);

  const Outcome strict = with_settings({"check", file, "--strict"});
  EXPECT_EQ(strict.exit_status, 1);
  EXPECT_NE(strict.err.find("Set 1: " + std::string(c.warning)), std::string::npos) << strict.err;

  const Outcome json = with_settings({"check", file, "--json"});
  EXPECT_EQ(json.exit_status, 0);
  EXPECT_NE(json.out.find("\"has_warnings\": true"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"warnings\": [\n        \"" + std::string(c.warning)),
            std::string::npos)
      << json.out;

  const std::string image = Path("image.bin");
  const Outcome compiled = with_settings({"compile", file, "-o", image});
  EXPECT_EQ(compiled.exit_status, 0) << compiled.err;
  EXPECT_NE(compiled.err.find("Set 1: " + std::string(c.warning)), std::string::npos);

  AttachUnit();
  const Outcome refused = Run({"program", file});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_NE(refused.err.find("Set 1: " + std::string(c.warning)), std::string::npos);
  EXPECT_NE(refused.err.find("Give --force"), std::string::npos) << refused.err;
  EXPECT_EQ(unit_->CommandCount(sim::CommandKind::kPageLoad), 0);

  const Outcome forced = Run({"program", "--force", file});
  ASSERT_EQ(forced.exit_status, 0) << forced.err;
  EXPECT_EQ(Memory(sim::kProgramAddress, sim::kProgramSize), ReadFile(image));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliWarningTest,
    testing::Values(
        // 7 mm in 0.01 s: faster than the motor; the unit takes longer.
        WarningCase{"TooFast",
                    "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tNumReps\n"
                    "Ramp\tmm\t7\t0.01\t1\n",
                    "Error:  Maximum Stretch Velocity Exceeded."},
        // 0.1 mm over 3 hours: slower than the step timer can count.
        WarningCase{"TooSlow",
                    "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\t"
                    "NumReps\tTimeUnits\nRamp\tmm\t0.1\t3\t1\t1\tHours\n",
                    "Error:  Minimum Stretch Velocity Exceeded."},
        // The unit moves the actuator the other way; seldom what is meant.
        WarningCase{"NegativeMagnitude",
                    "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\t"
                    "NumReps\nRamp\tmm\t-0.5\t1\t1\t1\n",
                    "Warning:  Negative Magnitude -0.5, the Actuator Moves Against the Stretch"}),
    [](const testing::TestParamInfo<WarningCase>& param) { return std::string(param.param.name); });

TEST_F(CliTest, CheckReportsRowsTotalsAndVerdicts) {
  const Outcome outcome =
      Run({"check", ProtocolFile(), "--pitch", "0.003175", "--soft-limit", "7.2", "--json"});
  ASSERT_EQ(outcome.exit_status, 0) << outcome.err;
  for (const char* expected :
       {"\"Magnitude\": \"Sinusoid 1.0 (mm)\"", "\"total_time\": \"01:07:30\"",
        "\"used_memory_percent\": 14.8", "\"accepted\": true"}) {
    EXPECT_NE(outcome.out.find(expected), std::string::npos) << expected << "\n" << outcome.out;
  }
}

// Scripts read the findings as data: what refuses and what only warns, the
// set and the value each is about; and a damaged file's findings by line.
TEST_F(CliTest, CheckJsonListsTheFindings) {
  const auto check = [this](const char* protocol) {
    const Outcome outcome = Run(
        {"check", ProtocolFile(protocol), "--pitch", "0.003175", "--soft-limit", "7.2", "--json"});
    EXPECT_EQ(outcome.exit_status, 1) << outcome.err;
    return nlohmann::json::parse(outcome.out);
  };

  // 7 mm in 0.01 s is faster than the motor; with 3 mm more the sets stretch
  // 10 mm, beyond the soft limit.
  const nlohmann::json judged = check(
      "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\tNumReps\n"
      "Ramp\tmm\t7\t0.01\t0\t1\nRamp\tmm\t3\t1\t0\t1\n");
  EXPECT_EQ(judged["accepted"], false);
  EXPECT_EQ(judged["sequence"]["message"],
            "Error:  Maximum Stretch Position\nAcross All Sets Must Be Less Than 7.2mm");
  const nlohmann::json& findings = judged["findings"];
  ASSERT_EQ(findings.size(), 2u) << findings.dump();
  EXPECT_EQ(findings[0]["rule"], "position_beyond_soft_limit");
  EXPECT_EQ(findings[0]["severity"], "refuses");
  EXPECT_TRUE(findings[0]["set"].is_null());
  EXPECT_DOUBLE_EQ(findings[0]["value"].get<double>(), 10.0);
  EXPECT_DOUBLE_EQ(findings[0]["limit"].get<double>(), static_cast<double>(7.2f));
  EXPECT_EQ(findings[1]["rule"], "phase_too_fast");
  EXPECT_EQ(findings[1]["severity"], "warns");
  EXPECT_EQ(findings[1]["set"], 1);
  EXPECT_EQ(findings[1]["field"], "stretch");
  EXPECT_DOUBLE_EQ(findings[1]["value"].get<double>(), static_cast<double>(0.01f));
  EXPECT_GT(findings[1]["limit"].get<double>(), 0.01);
  EXPECT_FALSE(findings[1].contains("line"));

  const nlohmann::json damaged = check("XFunction\tXMagnitude\tNumReps\nRamp\t2mm\t1\nRamp\t2\n");
  EXPECT_EQ(damaged["accepted"], false);
  ASSERT_EQ(damaged["findings"].size(), 2u) << damaged.dump();
  const nlohmann::json& value = damaged["findings"][0];
  EXPECT_EQ(value["rule"], "invalid_value");
  EXPECT_EQ(value["line"], 2);
  EXPECT_EQ(value["field"], "XMagnitude");
  const nlohmann::json& count = damaged["findings"][1];
  EXPECT_EQ(count["rule"], "value_count");
  EXPECT_EQ(count["line"], 3);
  EXPECT_EQ(count["value"], 2);
  EXPECT_EQ(count["limit"], 3);
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class CliUsageTest : public CliTest, public testing::WithParamInterface<UsageCase> {};

TEST_P(CliUsageTest, ExitsTwo) {
  const Outcome outcome = Run(GetParam().args);
  EXPECT_EQ(outcome.exit_status, 2);
  EXPECT_FALSE(outcome.err.empty());
  EXPECT_EQ(outcome.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliUsageTest,
    testing::Values(
        UsageCase{"UnknownOption", {"info", "--bogus"}},
        UsageCase{"UnknownCommand", {"frobnicate"}}, UsageCase{"NoCommand", {}},
        UsageCase{"MissingArgument", {"program"}},
        UsageCase{"CompileWithoutOutput", {"compile", "x.tmt"}},
        UsageCase{"FactoryOptionWithoutFactory", {"settings", "program", "--pitch", "1"}},
        UsageCase{"NothingToProgram", {"settings", "program"}},
        UsageCase{"BadJogDirection", {"jog", "up", "--for", "1"}},
        UsageCase{"MoveToNoNumber", {"move", "abc"}},
        UsageCase{"JogForNaN", {"jog", "+", "--for", "nan"}},
        UsageCase{"JogForHex", {"jog", "+", "--for", "0x10"}},
        UsageCase{"InfinitePitch", {"check", "x.tmt", "--pitch", "inf", "--soft-limit", "7"}},
        UsageCase{
            "NaNSoftLimit",
            {"compile", "x.tmt", "--pitch", "0.003175", "--soft-limit", "nan", "-o", "x.bin"}},
        UsageCase{"NaNDecodePitch", {"decode", "x.bin", "--pitch", "nan"}}),
    [](const testing::TestParamInfo<UsageCase>& param) { return std::string(param.param.name); });

// Every number option is read as a person writes it, and a refusal gives the
// real reason.
TEST_F(CliTest, NumberOptionsAreDecimalAndRefusedForTheirReason) {
  const std::string protocol = ProtocolFile();
  const std::string backup = Path("factory.settings");
  WriteFile(backup, cli::BackupText(EncodeSettingsBlock(test_support::FactorySettings()), "test"));
  const std::vector<std::string> plot = {"plot", protocol, "--settings", backup};
  const auto with = [](std::vector<std::string> args, std::vector<std::string> more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const struct {
    const char* name;
    std::vector<std::string> args;  // without a time-out of their own
    int exit_status;
    const char* err;  // its first line
  } cases[] = {
      {"hex step", with(plot, {"--step", "0x10"}), 2, "--step: not a finite decimal number"},
      {"empty step", with(plot, {"--step", ""}), 2, "--step: not a finite decimal number"},
      {"zero step", with(plot, {"--step", "0"}), 2,
       "Error:  --step takes a positive number of seconds."},
      {"tiny step", with(plot, {"--step", "1e-12"}), 1,
       "Error:  --step 1e-12 would give more than 20000000 rows; give a longer step."},
      {"decimal step", with(plot, {"--step", "1e3"}), 0, ""},
      {"hex time-out", {"--timeout", "0x10", "ports"}, 2, "--timeout: not a decimal integer"},
      {"decimal time-out", {"--timeout", "16", "ports"}, 0, "No control unit detected."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Process(c.args, tree_).Wait();
    EXPECT_EQ(outcome.exit_status, c.exit_status) << outcome.err;
    EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n')), c.err);
  }
}

TEST_F(CliTest, AnUnknownCommandIsNamed) {
  const Outcome outcome = Run({"frobnicate"});
  EXPECT_EQ(outcome.exit_status, 2);
  EXPECT_EQ(outcome.err, "stravon-cli: unknown command \"frobnicate\" (see stravon-cli --help)\n");
}

TEST_F(CliTest, MissingUnitFailsQuickly) {
  const Clock::time_point start = Clock::now();
  const Outcome outcome = Run({"info"});
  EXPECT_LT(Clock::now() - start, test_support::Scaled(1s));
  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_EQ(outcome.err,
            "Stravon Device Not Detected.\nPlease ensure that the device is powered on and all "
            "cables are properly connected\n");
}

// A unit that detection does not see (no port record at all) is reached
// through the port the operator names; a port that does not exist is refused.
TEST_F(CliTest, PortOptionReplacesDetection) {
  sim::SimulatedUnit unit;
  ASSERT_EQ(unit.Start(), 0);
  const Outcome outcome = Run({"--port", unit.SlavePath(), "info"});
  EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("P1"), std::string::npos) << outcome.out;
  EXPECT_GT(unit.CommandCount(sim::CommandKind::kReadByte), 0);

  const Outcome missing = Run({"--port", "ttyUSB99", "info"});
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_NE(missing.err.find("no such port"), std::string::npos) << missing.err;
}

// What to do about it, instead of an error number.
TEST_F(CliTest, PortWithoutPermissionSaysWhatToDo) {
  const std::string node = Path("locked-node");
  WriteFile(node, "");
  ASSERT_FALSE(tree_.AddUsbPort(sim::UnitIdentity(), node).empty());
  const bool root = ::geteuid() == 0;
  std::string program = STRAVON_CLI_PATH;
  if (root) {
    ASSERT_EQ(::chmod(tree_.Root().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(node.c_str(), 0600), 0);
    // The build folder need not be open to other users; run a copy from the
    // fixture tree, which is.
    program = Path("stravon-cli");
    std::error_code error;
    ASSERT_TRUE(std::filesystem::copy_file(STRAVON_CLI_PATH, program, error)) << error.message();
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
  } else {
    ASSERT_EQ(::chmod(node.c_str(), 0), 0);
  }
  const Outcome outcome = Process(Args({"info"}), tree_, root, program).Wait();
  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_NE(outcome.err.find("Error:  No permission to open the unit's port"), std::string::npos)
      << outcome.err;
  EXPECT_NE(outcome.err.find("udev rule"), std::string::npos) << outcome.err;
}

TEST_F(CliTest, InterruptCancelsProgrammingAsTheCancelButtonDoes) {
  // Slow enough that the transfer is still running when the signal comes.
  sim::UnitOptions options;
  options.pacing_baud = 9600;
  AttachUnit(options);
  ASSERT_TRUE(
      unit_->WriteMemory(sim::kProgramAddress, std::vector<std::uint8_t>(sim::kProgramSize, 0xEE)));
  Process process(Args({"program", ProtocolFile()}), tree_);
  // Past the first commit, which clears the old protocol.
  ASSERT_TRUE(AwaitCommands(sim::CommandKind::kPageCommit, 2));
  process.Signal(SIGINT);
  const Clock::time_point signalled = Clock::now();
  const Outcome outcome = process.Wait();
  EXPECT_LT(Clock::now() - signalled, test_support::Scaled(2s));
  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_EQ(outcome.err,
            "Programming Device... Cancelled (interrupted)\n"
            "The unit now holds no protocol; program it again before running it.\n");
  // The transfer stops at the next page; the first page has no set in use.
  EXPECT_LT(unit_->CommandCount(sim::CommandKind::kPageCommit), 23);
  EXPECT_EQ(Memory(sim::kProgramAddress, 64), std::string(64, '\0'));
}

// A quit is caught like Ctrl-C while the unit is written; cut short while
// the clearing commit goes unanswered, the program cannot know whether the
// old protocol is gone, and does not say it is.
TEST_F(CliTest, AQuitDuringAnUnansweredClearDoesNotSayTheOldProtocolIsGone) {
  AttachUnit();
  const std::string old_file = ProtocolFile();
  ASSERT_EQ(Run({"program", old_file}).exit_status, 0);
  const std::string old_image = Memory(sim::kProgramAddress, sim::kProgramSize);
  const int commits = unit_->CommandCount(sim::CommandKind::kPageCommit);
  unit_->InjectFault(sim::Fault::Silence().For(sim::CommandKind::kPageCommit));
  std::string changed = kProtocol;
  changed.replace(changed.find("2.5"), 3, "3");
  Process process(Args({"program", ProtocolFile(changed)}), tree_);
  ASSERT_TRUE(AwaitCommands(sim::CommandKind::kPageCommit, commits + 1));
  process.Signal(SIGQUIT);
  const Outcome outcome = process.Wait();
  EXPECT_EQ(outcome.exit_status, 128 + SIGQUIT);
  EXPECT_EQ(outcome.err,
            "Programming Device... Cancelled (interrupted)\n"
            "The unit may still hold the previous protocol, or part of the new one; program it "
            "again before running it.\n");
  EXPECT_EQ(Memory(sim::kProgramAddress, sim::kProgramSize), old_image);
}

// The jog ends with a stop and the limits off, whether its time is up or it
// is interrupted.
TEST_F(CliTest, JogStopsAndSwitchesTheLimitsOff) {
  AttachUnit();
  const Outcome timed = Run({"jog", "+", "--for", "0.3"});
  ASSERT_EQ(timed.exit_status, 0) << timed.err;

  for (const bool interrupted : {false, true}) {
    SCOPED_TRACE(interrupted ? "interrupted" : "time up");
    unit_->ClearTranscript();
    Outcome outcome;
    if (interrupted) {
      Process process(Args({"jog", "-", "--for", "60"}), tree_);
      ASSERT_TRUE(AwaitCommands(sim::CommandKind::kGo, 1));
      process.Signal(SIGINT);
      outcome = process.Wait();
      EXPECT_EQ(outcome.exit_status, 1);
      EXPECT_EQ(outcome.err, "Error:  Interrupted; the jog was stopped early.\n");
    } else {
      outcome = Run({"jog", "-", "--for", "0.3"});
      EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
    }
    const std::vector<std::string> commands = Commands();
    const auto go = std::find(commands.begin(), commands.end(), GoCommand());
    ASSERT_NE(go, commands.end());
    const auto stop = std::find(go, commands.end(), StopCommand());
    ASSERT_NE(stop, commands.end()) << "stopped";
    EXPECT_NE(std::find(stop, commands.end(), LimitsOffCommand()), commands.end())
        << "limits off after the stop";
    EXPECT_FALSE(unit_->IsMoving());
  }
}

TEST_F(CliTest, AJogEndsWhenTheUnitIsUnplugged) {
  AttachUnit();
  Process jog(Args({"jog", "+", "--for", "20"}), tree_);
  ASSERT_TRUE(AwaitCommands(sim::CommandKind::kGo, 1));
  unit_->Disconnect();
  ASSERT_TRUE(tree_.RemovePort(tty_));
  const Clock::time_point unplugged = Clock::now();
  const Outcome outcome = jog.Wait();
  EXPECT_LT(Clock::now() - unplugged, test_support::Scaled(5s));
  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_EQ(outcome.err, "Error:  The unit went away during the jog.\n");
}

// A motion whose limits, direction, start or stop the unit refuses or does
// not answer fails, names that command, and leaves the actuator at rest
// within the jog's limits (which stay on while a stop is not taken).
TEST_F(CliTest, MotionFaultsFailNamingTheCommandAndLeaveTheUnitAtRest) {
  struct Case {
    const char* name;
    bool jog;  // else a move, interrupted once it runs
    sim::Fault fault;
    const char* in_err;
    bool goes;  // the motion starts
  };
  using sim::CommandKind;
  using sim::Fault;
  const char* const kStopRefused =
      "Error:  The unit may still be moving: its Stop command failed: the unit answered with "
      "error 12.";
  const char* const kStopSilent =
      "Error:  The unit may still be moving: its Stop command failed: the unit did not answer";
  const Case cases[] = {
      {"jog, stop refused", true, Fault::Error(12).For(CommandKind::kStop).Times(-1), kStopRefused,
       true},
      {"jog, stop silent", true, Fault::Silence().For(CommandKind::kStop).Times(-1), kStopSilent,
       true},
      {"jog, no position after the stop", true,
       Fault::Error(12).For(CommandKind::kStatus).Times(-1),
       "Error:  The unit may still be moving: it took Stop but did not come to rest.", true},
      {"jog, limits refused", true, Fault::Error(12).For(CommandKind::kLimits),
       "Error:  The jog was stopped: its Limits On command failed: the unit answered with error "
       "12.\n",
       false},
      {"jog, direction refused", true, Fault::Error(12).For(CommandKind::kDirection),
       "Error:  The jog was stopped: its Direction command failed: the unit answered with error "
       "12.\n",
       false},
      {"jog, go refused", true, Fault::Error(12).For(CommandKind::kGo),
       "Error:  The jog was stopped: its Go command failed: the unit answered with error 12.\n",
       false},
      {"move refused", false, Fault::Error(12).For(CommandKind::kMove),
       "Error:  The move did not start: its Move command failed: the unit answered with error "
       "12.\n",
       false},
      {"move, stop refused", false, Fault::Error(12).For(CommandKind::kStop).Times(-1),
       kStopRefused, true},
      {"move, stop silent", false, Fault::Silence().For(CommandKind::kStop).Times(-1), kStopSilent,
       true},
  };
  sim::UnitOptions options;
  options.motion_speed = 10.0;           // a jog reaches its limit within a second
  options.move_steps_per_second = 30.0;  // a move still runs when interrupted
  AttachUnit(options);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unit_->ClearFaults();
    unit_->SetPosition(0);
    unit_->ClearTranscript();
    unit_->InjectFault(c.fault);
    Outcome outcome;
    if (c.jog) {
      outcome = Run({"jog", "+", "--for", "0.3"});
    } else {
      Process move(Args({"move", "2"}), tree_);
      ASSERT_TRUE(AwaitCommands(CommandKind::kMove, 1));
      if (c.goes) move.Signal(SIGINT);
      outcome = move.Wait();
    }
    EXPECT_EQ(outcome.exit_status, 1);
    EXPECT_NE(outcome.err.find(c.in_err), std::string::npos) << outcome.err;
    // At rest: a refused stop leaves a jog held by its limits, a move at its target.
    const Clock::time_point end = Clock::now() + test_support::Scaled(5s);
    while (unit_->IsMoving() && Clock::now() < end) std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(unit_->IsMoving());
    if (!c.goes) {
      EXPECT_EQ(unit_->Position(), 0);
    }
    // A stop the unit never took leaves the jog's limits on to hold it.
    if (c.jog && std::string_view(c.in_err).find("Stop command failed") != std::string_view::npos) {
      const std::vector<std::string> commands = Commands();
      EXPECT_EQ(std::count(commands.begin(), commands.end(), LimitsOffCommand()), 0)
          << "limits kept on";
    }
  }
}

// A move cut short by an unplugged unit says so, not only where it stopped.
TEST_F(CliTest, AMoveEndedByAnUnpluggedUnitNamesTheCause) {
  sim::UnitOptions options;
  options.move_steps_per_second = 30.0;
  AttachUnit(options);
  Process move(Args({"move", "2"}), tree_);
  ASSERT_TRUE(AwaitCommands(sim::CommandKind::kMove, 1));
  unit_->Disconnect();
  const Outcome outcome = move.Wait();
  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_NE(outcome.err.find("short of 2.00 mm: the unit was unplugged."), std::string::npos)
      << outcome.err;
}

// The CLI as a job on a pseudo-terminal of its own, in its own process
// group, with a session leader standing in for the shell: so its process
// group is not orphaned, and a stop signal really stops it.
class TerminalJob {
 public:
  TerminalJob(const std::vector<std::string>& args, const sim::FixtureTree& tree) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const std::string slave_path = ::ptsname(master_);
    std::vector<std::string> argv_text = {STRAVON_CLI_PATH};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<std::string> env_text = {"STRAVON_SYSFS_ROOT=" + tree.SysfsRoot(),
                                         "STRAVON_DEV_ROOT=" + tree.DevRoot(), "TERM=dumb"};
    std::vector<char*> argv;
    std::vector<char*> env;
    for (std::string& arg : argv_text) argv.push_back(arg.data());
    for (std::string& entry : env_text) env.push_back(entry.data());
    argv.push_back(nullptr);
    env.push_back(nullptr);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return;
    shell_ = ::fork();
    if (shell_ == 0) {
      ::setsid();
      const int slave = ::open(slave_path.c_str(), O_RDWR);  // the controlling terminal
      ::signal(SIGTTOU, SIG_IGN);
      const pid_t job = ::fork();
      if (job == 0) {
        ::setpgid(0, 0);
        ::signal(SIGTTOU, SIG_DFL);
        for (int fd : {0, 1, 2}) ::dup2(slave, fd);
        ::execve(argv[0], argv.data(), env.data());
        ::_exit(127);
      }
      ::setpgid(job, job);
      ::tcsetpgrp(slave, job);
      [[maybe_unused]] ssize_t written = ::write(report[1], &job, sizeof job);
      // Each change of the job's state, as a shell sees it.
      for (;;) {
        int status = 0;
        if (::waitpid(job, &status, WUNTRACED | WCONTINUED) < 0) ::_exit(0);
        written = ::write(report[1], &status, sizeof status);
        if (WIFEXITED(status) || WIFSIGNALED(status)) ::_exit(0);
      }
    }
    ::close(report[1]);
    report_ = report[0];
    if (::read(report_, &job_, sizeof job_) != sizeof job_) job_ = -1;
  }
  ~TerminalJob() {
    if (job_ > 0) {
      ::kill(job_, SIGKILL);
      ::kill(job_, SIGCONT);
    }
    if (shell_ > 0) ::waitpid(shell_, nullptr, 0);
    for (int fd : {master_, report_}) {
      if (fd >= 0) ::close(fd);
    }
  }
  TerminalJob(const TerminalJob&) = delete;
  TerminalJob& operator=(const TerminalJob&) = delete;

  bool Started() const { return job_ > 0; }
  void Signal(int signal) const { ::kill(job_, signal); }
  // The job's next change of state as waitpid gives it; nullopt when none
  // came within `timeout`. What it wrote meanwhile is kept.
  std::optional<int> NextState(Clock::duration timeout) {
    const Clock::time_point end = Clock::now() + timeout;
    for (;;) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd fds[2] = {{report_, POLLIN, 0}, {master_, POLLIN, 0}};
      if (::poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
      if (fds[1].revents & POLLIN) {
        char chunk[1024];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n > 0) output_.append(chunk, static_cast<std::size_t>(n));
      }
      if (fds[0].revents != 0) {
        int status = 0;
        if (::read(report_, &status, sizeof status) != sizeof status) return std::nullopt;
        return status;
      }
    }
  }
  const std::string& Output() const { return output_; }

 private:
  int master_ = -1;
  int report_ = -1;
  pid_t shell_ = -1;
  pid_t job_ = -1;
  std::string output_;
};

// Signals from the terminal stop the jog before the CLI ends or stops:
// a hang-up sent twice (a closing terminal), a quit, and a suspension,
// after which the jog does not resume.
TEST_F(CliTest, TerminalSignalsStopTheJogFirst) {
  struct Case {
    const char* name;
    std::vector<int> signals;
    int exit_status;
    const char* in_output;
  };
  const Case cases[] = {
      {"hang-up twice", {SIGHUP, SIGHUP}, 1, "Interrupted; the jog was stopped early."},
      {"quit", {SIGQUIT}, 128 + SIGQUIT, "Interrupted; the jog was stopped early."},
      {"suspend", {SIGTSTP}, 1, "The jog was stopped when the program was suspended"},
  };
  AttachUnit();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unit_->ClearTranscript();
    TerminalJob job(Args({"jog", "+", "--for", "60"}), tree_);
    ASSERT_TRUE(job.Started());
    ASSERT_TRUE(AwaitCommands(sim::CommandKind::kGo, 1));
    for (int signal : c.signals) job.Signal(signal);
    std::optional<int> state = job.NextState(test_support::Scaled(5s));
    ASSERT_TRUE(state.has_value());
    if (WIFSTOPPED(*state)) {
      // Stopped only once the unit is at rest, and it stays so.
      EXPECT_GE(unit_->CommandCount(sim::CommandKind::kStop), 1);
      EXPECT_FALSE(unit_->IsMoving());
      const std::int32_t position = unit_->Position();
      job.Signal(SIGCONT);
      state = job.NextState(test_support::Scaled(5s));
      ASSERT_TRUE(state.has_value());
      EXPECT_TRUE(WIFCONTINUED(*state));
      state = job.NextState(test_support::Scaled(5s));
      ASSERT_TRUE(state.has_value());
      EXPECT_EQ(unit_->Position(), position);
    }
    ASSERT_TRUE(WIFEXITED(*state)) << *state;
    EXPECT_EQ(WEXITSTATUS(*state), c.exit_status);
    job.NextState(100ms);  // the last of its output
    EXPECT_NE(job.Output().find(c.in_output), std::string::npos) << job.Output();
    EXPECT_EQ(unit_->CommandCount(sim::CommandKind::kGo), 1);
    EXPECT_GE(unit_->CommandCount(sim::CommandKind::kStop), 1);
    EXPECT_FALSE(unit_->IsMoving());
  }
}

// -o: a regular file is replaced; a device or FIFO is written in place; a
// link keeps pointing at its target; the input is never overwritten; "-" is
// standard output.
TEST_F(CliTest, OutputFilesFollowTheirKind) {
  const std::string protocol = ProtocolFile();
  const std::string image = Path("image.bin");
  ASSERT_EQ(Run({"compile", protocol, "--pitch", "0.003175", "--soft-limit", "7.2", "-o", image})
                .exit_status,
            0);
  const std::string image_bytes = ReadFile(image);
  const Outcome to_stdout = Run({"decode", image, "--pitch", "0.003175", "-o", "-"});
  ASSERT_EQ(to_stdout.exit_status, 0) << to_stdout.err;
  const std::string decoded = to_stdout.out;
  ASSERT_NE(decoded.find("Sinusoid"), std::string::npos);

  // A FIFO: a reader waits on it, and it is still a FIFO afterwards.
  const std::string fifo = Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string from_fifo;
  std::thread reader([&] { from_fifo = ReadFile(fifo); });
  const Outcome into_fifo = Run({"decode", image, "--pitch", "0.003175", "-o", fifo});
  reader.join();
  EXPECT_EQ(into_fifo.exit_status, 0) << into_fifo.err;
  EXPECT_EQ(from_fifo, decoded);
  struct stat info {};
  ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));

  // A link: its target gets the protocol, the link stays.
  const std::string target = Path("target.tmt");
  const std::string link = Path("link.tmt");
  WriteFile(target, "old");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  EXPECT_EQ(Run({"decode", image, "--pitch", "0.003175", "-o", link}).exit_status, 0);
  EXPECT_EQ(ReadFile(target), decoded);
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));

  // A link that leads nowhere is refused and stays a link.
  const std::string dangling = Path("dangling.tmt");
  const std::string loop = Path("loop.tmt");
  ASSERT_EQ(::symlink(Path("missing/none.tmt").c_str(), dangling.c_str()), 0);
  ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
  for (const auto& [output, reason] :
       {std::pair{dangling, "is a symbolic link to a file that does not exist"},
        std::pair{loop, "is a loop of symbolic links"}}) {
    SCOPED_TRACE(output);
    const Outcome refused = Run({"decode", image, "--pitch", "0.003175", "-o", output});
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_EQ(refused.err, "Error:  Cannot write " + output + ": it " + reason + "\n");
    ASSERT_EQ(::lstat(output.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
  }

  // The input, by its own name or through a link, is refused and kept.
  const std::string image_link = Path("image-link.bin");
  ASSERT_EQ(::symlink(image.c_str(), image_link.c_str()), 0);
  for (const std::string& output : {image, image_link}) {
    SCOPED_TRACE(output);
    const Outcome onto_input = Run({"decode", image, "--pitch", "0.003175", "-o", output});
    EXPECT_EQ(onto_input.exit_status, 1);
    EXPECT_NE(onto_input.err.find("is the input file"), std::string::npos) << onto_input.err;
  }
  EXPECT_EQ(Run({"compile", protocol, "--pitch", "0.003175", "--soft-limit", "7.2", "-o", protocol})
                .exit_status,
            1);
  EXPECT_EQ(ReadFile(image), image_bytes);
  EXPECT_EQ(ReadFile(protocol), kProtocol);

  // A device node like /dev/null (making one needs privileges).
  const std::string null_node = Path("null");
  if (::mknod(null_node.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
  }
  const Outcome into_device = Run({"decode", image, "--pitch", "0.003175", "-o", null_node});
  EXPECT_EQ(into_device.exit_status, 0) << into_device.err;
  ASSERT_EQ(::lstat(null_node.c_str(), &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

// Results that do not reach standard output are a failure.
TEST_F(CliTest, AFullStandardOutputFails) {
  AttachUnit();
  const std::string protocol = ProtocolFile();
  for (const std::string& command :
       {std::string("read"), "check --json " + protocol + " --pitch 0.003175 --soft-limit 7.2"}) {
    SCOPED_TRACE(command);
    const Outcome outcome =
        test_support::ChildProcess(
            "/bin/sh",
            {"-c", std::string("exec ") + STRAVON_CLI_PATH + " --timeout " + kTimeoutMs + " " +
                       command + " > /dev/full"},
            {"STRAVON_SYSFS_ROOT=" + tree_.SysfsRoot(), "STRAVON_DEV_ROOT=" + tree_.DevRoot()})
            .Wait();
    EXPECT_EQ(outcome.exit_status, 1);
    EXPECT_NE(outcome.err.find("Cannot write to standard output: No space left on device"),
              std::string::npos)
        << outcome.err;
  }
}

// A second program finds the port taken and says so; nothing is sent.
TEST_F(CliTest, APortInUseIsReportedAsInUse) {
  AttachUnit();
  Process jog(Args({"jog", "-", "--for", "20"}), tree_);
  ASSERT_TRUE(AwaitCommands(sim::CommandKind::kGo, 1));
  const int identifications = unit_->CommandCount(sim::CommandKind::kIdentify);
  const Outcome second = Run({"info"});
  EXPECT_EQ(second.exit_status, 1);
  EXPECT_TRUE(second.err.starts_with("Error:  Cannot connect to the unit on " + tree_.DevRoot()))
      << second.err;
  EXPECT_TRUE(second.err.ends_with(": the port is in use by another program.\n")) << second.err;
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(unit_->CommandCount(sim::CommandKind::kIdentify), identifications);
  jog.Signal(SIGINT);
  jog.Wait();
}

TEST_F(CliTest, ASilentUnitIsNamedAfterOneTimeOutAndACancelEndsTheWaitAtOnce) {
  AttachUnit();
  unit_->InjectFault(sim::Fault::Silence().Times(-1));
  const Clock::time_point start = Clock::now();
  const Outcome silent = Run({"info"});
  EXPECT_LT(Clock::now() - start, test_support::Scaled(1500ms));  // one 300 ms time-out
  EXPECT_EQ(silent.exit_status, 1);
  EXPECT_NE(silent.err.find("does not answer; check that it is powered on"), std::string::npos)
      << silent.err;
  EXPECT_EQ(silent.err.find("firmware"), std::string::npos) << silent.err;
  unit_->ClearFaults();

  // The real 20 s time-out; Ctrl-C ends the wait within well under a second.
  // Connecting reads the 64 bytes of the settings first.
  const int settings_bytes = static_cast<int>(sim::kSettingsSize);
  unit_->InjectFault(
      sim::Fault::Silence().For(sim::CommandKind::kReadByte).Skip(settings_bytes + 40).Times(-1));
  Process read({"read"}, tree_);
  ASSERT_TRUE(AwaitCommands(sim::CommandKind::kReadByte, settings_bytes + 41));
  std::this_thread::sleep_for(200ms);
  const Clock::time_point signalled = Clock::now();
  read.Signal(SIGINT);
  const Outcome cancelled = read.Wait();
  EXPECT_LT(Clock::now() - signalled, test_support::Scaled(1s));
  EXPECT_EQ(cancelled.exit_status, 1);
  EXPECT_EQ(cancelled.err, "Reading Device... Cancelled (interrupted)\n");
}

// Each failure names what went wrong with the unit, and no other cause.
TEST_F(CliTest, FailuresNameTheirTrueCause) {
  const struct {
    const char* name;
    std::vector<std::string> command;
    sim::Fault fault;
    const char* said;  // null: the command succeeds
  } cases[] = {
      {"status refused",
       {"status"},
       sim::Fault::Error(12).For(sim::CommandKind::kStatus).Times(-1),
       "Error:  The unit did not report its position: the unit answered with error 12.\n"},
      {"settings refused",
       {"info"},
       sim::Fault::Error(12).For(sim::CommandKind::kReadByte).Times(-1),
       "Error:  Cannot read the unit's hardware settings: Reading Hardware Settings... Failure: "
       "the unit answered with error 12\n"},
      {"identification refused",
       {"status"},
       sim::Fault::Error(12).For(sim::CommandKind::kIdentify).Times(-1),
       "the unit answered with error 12."},
      {"unplugged while identifying",
       {"status"},
       sim::Fault::DisconnectAfter(5).For(sim::CommandKind::kIdentify),
       "the unit was unplugged."},
      {"move without a position",
       {"move", "3"},
       sim::Fault::Error(12).For(sim::CommandKind::kStatus).Times(-1),
       "the unit answered with error 12"},
      {"one lost wake-up reply",
       {"status"},
       sim::Fault::Silence().For(sim::CommandKind::kIdentify),
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AttachUnit();
    unit_->InjectFault(c.fault);
    const Outcome outcome = Run(c.command);
    EXPECT_EQ(outcome.exit_status, c.said ? 1 : 0) << outcome.err;
    if (c.said) {
      EXPECT_NE(outcome.err.find(c.said), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(outcome.err.find("firmware"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find("Software Version"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find("offset of  mm"), std::string::npos) << outcome.err;
    ASSERT_TRUE(tree_.RemovePort(tty_));
    unit_.reset();
  }
}

TEST_F(CliTest, ProtocolFilesAreReadWithinBounds) {
  struct Case {
    const char* name;
    std::string contents;
    int exit_status;
    const char* in_err;  // nullptr: nothing said about the file
  };
  const std::string body = "Ramp\tmm\t2.5\t1\t1\t0.5\t2\t100\tSeconds\t";
  const std::string header =
      "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\tHoldTimeSec\t"
      "RestTimeSec\tNumReps\tTimeUnits\t";
  const Case cases[] = {
      {"byte-order mark", "\xEF\xBB\xBF" + header + "\r\n" + body + "\r\n", 0, nullptr},
      {"CR line ends", header + "\r" + body + "\r", 0, nullptr},
      {"oversized", header + "\n" + std::string((1 << 20) + 1 - header.size() - 1, ' '), 1,
       "it is 1048577 bytes, more than the 1048576 bytes allowed"},
      {"control bytes", header + "\n" + "Ramp\tmm\t2.5\x1B[2J\t1\t1\t0.5\t2\t100\tSeconds\n", 1,
       "\"2.5\\x1B[2J\" is not a valid XMagnitude"},
      {"long token",
       header + "\n" + "Ramp\tmm\t" + std::string(100000, '7') + "x" +
           "\t1\t1\t0.5\t2\t100\tSeconds\n",
       1, "\"777777777777777777777777\"... (100001 bytes) is not a valid XMagnitude"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Run(
        {"-q", "check", ProtocolFile(c.contents), "--pitch", "0.003175", "--soft-limit", "7.2"});
    EXPECT_EQ(outcome.exit_status, c.exit_status) << outcome.err;
    if (c.in_err != nullptr) {
      EXPECT_NE(outcome.err.find(c.in_err), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(outcome.err.find('\x1B'), std::string::npos);
    EXPECT_LT(outcome.err.size(), 2000u);
  }
}

// Every file read whole is capped: an endless input is refused at once.
TEST_F(CliTest, EndlessInputsAreRefusedAtOnce) {
  const std::string protocol = ProtocolFile();
  const std::vector<std::vector<std::string>> commands = {
      {"settings", "restore", "/dev/zero"},
      {"decode", "/dev/zero", "--pitch", "0.003175"},
      {"plot", protocol, "--settings", "/dev/zero"},
  };
  for (const std::vector<std::string>& command : commands) {
    SCOPED_TRACE(command[0]);
    const Clock::time_point start = Clock::now();
    const Outcome outcome = Run(command);
    EXPECT_EQ(outcome.exit_status, 1);
    EXPECT_EQ(outcome.err,
              "Error:  Cannot read /dev/zero: it holds more than the 1048576 bytes allowed\n");
    EXPECT_LT(Clock::now() - start, 5s);
  }
}

// The unit counts repetitions unsigned; a count a protocol file cannot hold
// is refused, not shown as -1.
TEST_F(CliTest, DecodeRefusesRepetitionsAProtocolFileCannotHold) {
  const std::string image = Path("image.bin");
  ASSERT_EQ(
      Run({"compile", ProtocolFile(), "--pitch", "0.003175", "--soft-limit", "7.2", "-o", image})
          .exit_status,
      0);
  std::string bytes = ReadFile(image);
  bytes.replace(32, 4, "\xFF\xFF\xFF\xFF");  // the second set's repetitions
  WriteFile(image, bytes);
  const Outcome outcome = Run({"decode", image, "--pitch", "0.003175"});
  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_EQ(outcome.err, "Error:  " + image +
                             ": set 2 repeats 4294967295 times, more than a protocol file can "
                             "hold (2147483647).\n");
  EXPECT_EQ(outcome.out, "");
}

TEST_F(CliTest, AnErasedUnitReadsAsNoProtocol) {
  AttachUnit();
  ASSERT_TRUE(
      unit_->WriteMemory(sim::kProgramAddress, std::vector<std::uint8_t>(sim::kProgramSize, 0xFF)));
  const Outcome read = Run({"read"});
  EXPECT_EQ(read.exit_status, 0) << read.err;
  EXPECT_EQ(read.err, "Reading Device... Success\nNo protocol stored in the unit.\n");
  EXPECT_EQ(read.out.find('\n'), read.out.size() - 1) << read.out;  // the header alone
}

TEST_F(CliTest, CheckWithAnUnprogrammedUnitSaysSo) {
  sim::UnitOptions options;
  options.unprogrammed = true;
  AttachUnit(options);
  const Outcome outcome = Run({"check", ProtocolFile()});
  EXPECT_EQ(outcome.exit_status, 1);
  EXPECT_NE(outcome.err.find("hardware settings are not programmed; give --pitch and "
                             "--soft-limit"),
            std::string::npos)
      << outcome.err;
  EXPECT_EQ(outcome.err.find("Without a unit"), std::string::npos) << outcome.err;
}

TEST_F(CliTest, MoveReachesTheSizeAndRefusesOneOutOfRange) {
  sim::UnitOptions options;
  options.motion_speed = 100.0;
  AttachUnit(options);
  const Outcome refused = Run({"move", "7.21"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_NE(refused.err.find("Error:  New Size Outside of Valid Range"), std::string::npos);

  const Outcome moved = Run({"move", "5"});
  ASSERT_EQ(moved.exit_status, 0) << moved.err;
  EXPECT_EQ(unit_->Position(), 1259);  // floor((5 - 1.000125) / 0.003175)
  const Outcome status = Run({"status"});
  EXPECT_NE(status.out.find("Offset (mm) 5.00"), std::string::npos) << status.out;
}

}  // namespace
}  // namespace stravon
