// SPDX-License-Identifier: GPL-3.0-or-later
// The built stravon-cli against the simulated unit with random faults and
// random signals. Whatever happens: the unit holds the old protocol, the new
// one or none, and the command said which (only a verify cut short may leave
// a wrongly stored page unnoticed, and says so); its settings are the old ones or
// the new ones (or a wrongly stored block that the command caught); exit
// status 0 only when the unit holds what was asked; motion always ends.
//
// STRAVON_SOAK_SEED=<n> replays a run; the seed is printed at the start.
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "device/hardware_settings.h"
#include "device/operation_outcome.h"
#include "device/program_image.h"
#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"
#include "tests/support/child_process.h"
#include "tests/support/test_settings.h"
#include "tests/support/time_scale.h"

namespace stravon {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using sim::CommandKind;
using sim::Fault;

constexpr int kProgramRounds = 40;
constexpr int kSettingsRounds = 24;
constexpr int kMotionRounds = 10;

enum class Held { kOld, kNew, kNone, kMix };

const char* HeldName(Held held) {
  switch (held) {
    case Held::kOld:
      return "the old protocol";
    case Held::kNew:
      return "the new protocol";
    case Held::kNone:
      return "no protocol";
    case Held::kMix:
      return "a runnable mix";
  }
  return "?";
}

std::uint64_t SoakSeed() {
  if (const char* text = std::getenv("STRAVON_SOAK_SEED")) return std::strtoull(text, nullptr, 10);
  return std::random_device{}();
}

class CliSoak : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tree_.ok());
    seed_ = SoakSeed();
    std::cout << "soak seed " << seed_ << " (replay: STRAVON_SOAK_SEED=" << seed_ << ")\n";
    RecordProperty("seed", std::to_string(seed_));
    rng_.seed(seed_);
    sim::UnitOptions options;
    options.move_steps_per_second = 30.0;  // a move still runs when a signal comes
    unit_ = std::make_unique<sim::SimulatedUnit>(options);
    ASSERT_EQ(unit_->Start(), 0);
    ASSERT_FALSE(tree_.AddUsbPort(sim::UnitIdentity(), unit_->SlavePath()).empty());
  }

  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
  double Real(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(rng_);
  }
  bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }

  test_support::ChildProcess* Start(std::vector<std::string> args) {
    args.insert(args.begin(), {"--timeout", "300"});
    process_ = std::make_unique<test_support::ChildProcess>(
        STRAVON_CLI_PATH, args,
        std::vector<std::string>{"STRAVON_SYSFS_ROOT=" + tree_.SysfsRoot(),
                                 "STRAVON_DEV_ROOT=" + tree_.DevRoot()});
    return process_.get();
  }
  test_support::ProcessOutcome Run(const std::vector<std::string>& args) {
    return Start(args)->Wait();
  }

  // A protocol of 1 to 20 ramps that every check passes.
  std::string RandomProtocol() {
    std::string text =
        "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\tHoldTimeSec\t"
        "RestTimeSec\tNumReps\tTimeUnits\n";
    const int sets = Uniform(1, 20);
    for (int i = 0; i < sets; ++i) {
      text += "Ramp\tmm\t" + std::to_string(Uniform(2, 20) / 10.0) + "\t" +
              std::to_string(Uniform(2, 20)) + "\t" + std::to_string(Uniform(2, 20)) + "\t" +
              std::to_string(Uniform(0, 5)) + "\t" + std::to_string(Uniform(0, 5)) + "\t" +
              std::to_string(Uniform(1, 500)) + "\tSeconds\n";
    }
    return text;
  }
  std::string File(const std::string& text) {
    const std::string path = tree_.Root() + "/p" + std::to_string(++files_) + ".tmt";
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  std::vector<std::uint8_t> Image() const {
    return unit_->ReadMemory(sim::kProgramAddress, sim::kProgramSize);
  }
  Held Classify(const std::vector<std::uint8_t>& old_image,
                const std::vector<std::uint8_t>& new_image) const {
    const std::vector<std::uint8_t> image = Image();
    if (image == new_image) return Held::kNew;
    if (image == old_image) return Held::kOld;
    ProgramImage held{};
    std::copy(image.begin(), image.end(), held.begin());
    DeviceSetTable table{};
    return DecodeProgramImage(held, table) == 0 ? Held::kNone : Held::kMix;
  }
  // What the command's words allow the unit to hold after a failure.
  static std::set<Held> Claimed(const std::string& err) {
    if (err.find("still holds its previous protocol") != std::string::npos) return {Held::kOld};
    if (err.find(kProgramAreaClearedText) != std::string::npos) return {Held::kNone};
    if (err.find("holds the new protocol") != std::string::npos) return {Held::kNew};
    // A wrongly stored page is what the unfinished verify would have found.
    if (err.find("could not be read back to verify it") != std::string::npos) {
      return {Held::kNew, Held::kMix};
    }
    if (err.find("may still hold the previous protocol") != std::string::npos) {
      return {Held::kOld, Held::kNew, Held::kNone};
    }
    // Said nothing of it: the program area was never touched.
    return {Held::kOld};
  }

  HardwareSettings UnitSettings() const {
    SettingsBlock block{};
    const std::vector<std::uint8_t> bytes =
        unit_->ReadMemory(sim::kSettingsAddress, sim::kSettingsSize);
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return DecodeSettingsBlock(block);
  }

  // Garbage that cannot pass for a reply: it never starts with a hex digit.
  std::string Garbage() {
    static constexpr char kFirst[] = "ghijkxyzGHIJKXYZ!#?*~ ";
    std::string text(1, kFirst[Uniform(0, sizeof kFirst - 2)]);
    for (int i = Uniform(0, 20); i > 0; --i) {
      const char c = static_cast<char>(Uniform(32, 126));
      text += c;
    }
    return text + "\r";
  }

  // One fault on the transfer's commands, described for the trace.
  std::string InjectTransferFault(int loads, int commits, int reads) {
    const int pick = Uniform(0, 7);
    const int load = Uniform(0, loads - 1);
    const int commit = Uniform(0, commits - 1);
    const int read = Uniform(0, reads - 1);
    switch (pick) {
      case 0:
        return "none";
      case 1:
        unit_->InjectFault(Fault::Error(Uniform(1, 96)).For(CommandKind::kPageLoad).Skip(load));
        return "error on page load " + std::to_string(load);
      case 2:
        unit_->InjectFault(Fault::Error(Uniform(1, 96)).For(CommandKind::kPageCommit).Skip(commit));
        return "error on commit " + std::to_string(commit);
      case 3:
        // Carried out, but answered an error ("Error 0" among them).
        unit_->InjectFault(Fault::Reply("Error " + std::to_string(Uniform(0, 12)) + "\r")
                               .For(CommandKind::kPageCommit)
                               .Skip(commit));
        return "commit " + std::to_string(commit) + " taken, error answered";
      case 4:
        unit_->InjectFault(Fault::CorruptStore(static_cast<std::size_t>(Uniform(0, 63)))
                               .For(CommandKind::kPageCommit)
                               .Skip(commit));
        return "commit " + std::to_string(commit) + " stored wrongly";
      case 5:
        unit_->InjectFault(Fault::Silence().For(CommandKind::kPageCommit).Skip(commit));
        return "commit " + std::to_string(commit) + " silent";
      case 6:
        unit_->InjectFault(Fault::Reply(Garbage()).For(CommandKind::kReadByte).Skip(read));
        return "garbage for byte read " + std::to_string(read);
      default:
        unit_->InjectFault(
            Fault::Error(97).For(CommandKind::kPageLoad).Skip(load).Times(Uniform(1, 5)));
        return "busy storm at page load " + std::to_string(load);
    }
  }

  // Sends a signal once the unit has taken about `commands` commands, or
  // once it has heard nothing for a while (the command ended first).
  void SignalAfter(test_support::ChildProcess& process, int commands, int signal) {
    const int start = unit_->TotalCommands();
    int last = start;
    Clock::time_point quiet_since = Clock::now();
    while (unit_->TotalCommands() - start < commands) {
      const int now = unit_->TotalCommands();
      if (now != last) {
        last = now;
        quiet_since = Clock::now();
      } else if (Clock::now() - quiet_since > test_support::Scaled(150ms)) {
        break;
      }
      std::this_thread::sleep_for(1ms);
    }
    process.Signal(signal);
  }

  int RandomEndingSignal() {
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    return kSignals[Uniform(0, 3)];
  }

  sim::FixtureTree tree_ = sim::FixtureTree::Temporary();
  std::unique_ptr<sim::SimulatedUnit> unit_;
  std::unique_ptr<test_support::ChildProcess> process_;
  std::mt19937_64 rng_;
  std::uint64_t seed_ = 0;
  int files_ = 0;
};

TEST_F(CliSoak, ProgramsSayWhatTheUnitHolds) {
  int failed = 0;
  for (int round = 0; round < kProgramRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round) + ", seed " + std::to_string(seed_));
    const std::string old_file = File(RandomProtocol());
    const std::string new_file = File(RandomProtocol());
    // The images both leave, each programmed without a fault.
    ASSERT_EQ(Run({"program", new_file}).exit_status, 0);
    const std::vector<std::uint8_t> new_image = Image();
    const auto programmed = Run({"program", old_file});
    ASSERT_EQ(programmed.exit_status, 0) << programmed.err;
    const std::vector<std::uint8_t> old_image = Image();
    if (old_image == new_image) continue;

    unit_->ClearFaults();
    const std::string fault = InjectTransferFault(352, 22, 64 + 1408);
    const int signal = Chance(0.3) ? RandomEndingSignal() : 0;
    SCOPED_TRACE("fault: " + fault + ", signal " + std::to_string(signal));
    test_support::ChildProcess* process = Start({"program", new_file});
    if (signal != 0) SignalAfter(*process, Uniform(1, 500), signal);
    const test_support::ProcessOutcome outcome = process->Wait();
    unit_->ClearFaults();

    const Held held = Classify(old_image, new_image);
    SCOPED_TRACE(std::string("the unit holds ") + HeldName(held) + "; exit status " +
                 std::to_string(outcome.exit_status) + ", said:\n" + outcome.out + outcome.err);
    if (outcome.exit_status == 0) {
      EXPECT_EQ(held, Held::kNew) << "success reported";
    } else {
      ++failed;
      EXPECT_TRUE(Claimed(outcome.err).contains(held));
      if (fault == "none" && signal == 0) ADD_FAILURE() << "failed without a fault";
    }
    if (HasFailure()) return;
  }
  std::cout << "soak: " << kProgramRounds << " programs, " << failed << " failed as they should\n";
}

TEST_F(CliSoak, SettingsAreTheOldOrTheNewOnes) {
  const HardwareSettings factory = test_support::FactorySettings();
  for (int round = 0; round < kSettingsRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round) + ", seed " + std::to_string(seed_));
    const HardwareSettings old_settings = UnitSettings();
    const double soft_limit = Uniform(50, 70) / 10.0;
    HardwareSettings new_settings = old_settings;
    new_settings.TravelSoftLimit = static_cast<float>(soft_limit);

    // The settings block is one page: 16 loads, one commit, and 64 bytes
    // read at the connection and 64 more read back.
    const std::string fault = InjectTransferFault(16, 1, 128);
    const bool signalled = Chance(0.3);
    SCOPED_TRACE("fault: " + fault + (signalled ? ", signalled" : ""));
    test_support::ChildProcess* process =
        Start({"settings", "program", "--soft-limit", std::to_string(soft_limit)});
    if (signalled) SignalAfter(*process, Uniform(1, 150), RandomEndingSignal());
    const test_support::ProcessOutcome outcome = process->Wait();
    unit_->ClearFaults();

    const HardwareSettings now = UnitSettings();
    const bool is_new = now == new_settings;
    const bool is_old = now == old_settings;
    SCOPED_TRACE("said:\n" + outcome.out + outcome.err);
    if (outcome.exit_status == 0) {
      EXPECT_TRUE(is_new) << "success reported";
    } else if (fault == "none" && !signalled) {
      ADD_FAILURE() << "failed without a fault";
    }
    if (!is_new && !is_old) {
      // Only a wrongly stored block, caught by the read-back.
      EXPECT_NE(fault.find("stored wrongly"), std::string::npos);
      EXPECT_NE(outcome.exit_status, 0);
      ASSERT_TRUE(unit_->WriteMemory(sim::kSettingsAddress, EncodeSettingsBlock(factory)));
    }
    if (HasFailure()) return;
  }
}

TEST_F(CliSoak, MotionEndsOnAnySignal) {
  for (int round = 0; round < kMotionRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round) + ", seed " + std::to_string(seed_));
    unit_->SetPosition(0);
    const bool jog = Chance(0.5);
    std::vector<int> signals(static_cast<std::size_t>(Uniform(1, 3)));
    for (int& signal : signals) signal = RandomEndingSignal();
    SCOPED_TRACE(std::string(jog ? "jog" : "move") + ", " + std::to_string(signals.size()) +
                 " signals, first " + std::to_string(signals[0]));
    const int before = unit_->CommandCount(jog ? CommandKind::kGo : CommandKind::kMove);
    test_support::ChildProcess* process =
        Start(jog ? std::vector<std::string>{"jog", "+", "--for", "5"}
                  : std::vector<std::string>{"move", "2"});
    const Clock::time_point end = Clock::now() + test_support::Scaled(10s);
    while (unit_->CommandCount(jog ? CommandKind::kGo : CommandKind::kMove) == before &&
           Clock::now() < end) {
      std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(Uniform(0, 200)));
    for (int signal : signals) {
      process->Signal(signal);
      std::this_thread::sleep_for(std::chrono::milliseconds(Uniform(0, 20)));
    }
    const test_support::ProcessOutcome outcome = process->Wait();
    EXPECT_NE(outcome.exit_status, 0) << outcome.err;
    // At rest when the command has ended, and staying there.
    EXPECT_FALSE(unit_->IsMoving()) << outcome.err;
    const std::int32_t stopped_at = unit_->Position();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(unit_->Position(), stopped_at);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace stravon
