// SPDX-License-Identifier: GPL-3.0-or-later
// Programs and reads back random protocols through a session's worker while
// the simulated unit injects random faults, and checks after every operation
// that nothing was reported as done that was not: a program whose outcome is
// done (and whose pane says Success) left exactly its image in the unit, a
// read that is done gave exactly what the unit holds, and anything else left
// the protocol alone.
//
// STRAVON_SOAK_SEED=<n> replays a run; the seed is printed at the start.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/program_image.h"
#include "tests/device/worker_fixture.h"

namespace stravon::worker_test {
namespace {

using namespace std::chrono_literals;
using sim::CommandKind;
using sim::Fault;

constexpr int kProtocols = 50;
// Short, so that silence costs little, but far above a simulated exchange
// even in a sanitizer build on a busy machine: a reply that came after its
// time-out could be taken for the next command's.
constexpr int kSoakTimeoutMs = 200;
constexpr auto kOperationWait = 60s;
// Each costs about two connection checks (one second apart), so they are few.
constexpr int kDisconnects = 4;

const char* const kSuccess[] = {"\nProgramming Device... Success\n",
                                "\nReading Device... Success\n"};
const char* const kStopped[] = {"\nProgramming Device... ", "\nReading Device... "};

enum class FaultKind {
  kNone,
  kBusyStorm,
  kError,
  kSilence,
  kGarbage,
  kOverlong,
  kSplit,
  kDisconnect
};

const char* FaultName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kNone:
      return "none";
    case FaultKind::kBusyStorm:
      return "97 storm";
    case FaultKind::kError:
      return "error";
    case FaultKind::kSilence:
      return "silence";
    case FaultKind::kGarbage:
      return "garbage";
    case FaultKind::kOverlong:
      return "overlong";
    case FaultKind::kSplit:
      return "split";
    case FaultKind::kDisconnect:
      return "disconnect";
  }
  return "?";
}

std::uint64_t SoakSeed() {
  if (const char* text = std::getenv("STRAVON_SOAK_SEED")) return std::strtoull(text, nullptr, 10);
  return std::random_device{}();
}

class Soak : public WorkerTest {
 protected:
  using Rng = std::mt19937_64;

  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
  double Real(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(rng_);
  }
  bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }

  // A protocol the unit can hold: sets of either function until the memory
  // is (nearly) full or the count drawn is reached.
  TestSequence RandomProtocol() {
    TestSequence sequence;
    const int wanted = Uniform(1, 14);
    std::size_t bytes = 0;
    for (int i = 0; i < wanted; ++i) {
      TestSet set;
      set.XFunction = Chance(0.3) ? ControlFunction::Sinusoid : ControlFunction::Ramp;
      const std::size_t size = SetImageBytes(set);
      if (bytes + size > kProgramImageSize) break;
      bytes += size;
      set.XUnits = Chance(0.7) ? MeasureUnit::Millimetre : MeasureUnit::Percent;
      set.XMagnitude = set.XUnits == MeasureUnit::Millimetre ? Real(0.1, 5.0) : Real(1.0, 60.0);
      set.TimeUnits = static_cast<TimeUnit>(Uniform(0, 3));
      set.StretchDurationSec = Chance(0.15) ? 0.0 : Real(0.2, 30.0);
      set.RecoveryDurationSec = Chance(0.15) ? 0.0 : Real(0.2, 30.0);
      set.HoldTimeSec = Chance(0.5) ? 0.0 : Real(0.0, 10.0);
      set.RestTimeSec = Chance(0.5) ? 0.0 : Real(0.0, 10.0);
      set.NumReps = Uniform(1, 5000);
      sequence.sets.push_back(set);
    }
    return sequence;
  }

  // Garbage that cannot pass for a byte: it never starts with a hex digit.
  std::string Garbage() {
    static constexpr char kFirst[] = "ghijklmnopqrstuvwxyzGHIJKLMNOPQRSTUVWXYZ!#?*~ ";
    std::string text(1, kFirst[Uniform(0, sizeof kFirst - 2)]);
    const int length = Uniform(0, 40);
    for (int i = 0; i < length; ++i) {
      char c = static_cast<char>(Uniform(0, 255));
      if (c == '\r') c = '.';
      text += c;
    }
    return text + "\r";
  }

  // Faults of `kind` aimed at the transfer's commands, somewhere inside it.
  void Inject(FaultKind kind, bool program) {
    const CommandKind target =
        program ? (Chance(0.8) ? CommandKind::kPageLoad : CommandKind::kPageCommit)
                : CommandKind::kReadByte;
    int commands = target == CommandKind::kPageLoad     ? 352
                   : target == CommandKind::kPageCommit ? 22
                                                        : 1408;
    // A byte read is mostly aimed at the part of the image in use: a garbled
    // zero byte that reads as zero would prove nothing.
    if (!program && Chance(0.8)) {
      const std::vector<std::uint8_t> image = UnitImage();
      const auto last =
          std::find_if(image.rbegin(), image.rend(), [](std::uint8_t b) { return b != 0; });
      commands = std::max(1, static_cast<int>(image.rend() - last));
    }
    const int skip = Uniform(0, commands - 1);
    switch (kind) {
      case FaultKind::kNone:
        return;
      case FaultKind::kBusyStorm:
        // Up to two in a row are retried away; three fail the command.
        unit_->InjectFault(Fault::Error(97).For(target).Skip(skip).Times(Uniform(1, 6)));
        return;
      case FaultKind::kError:
        unit_->InjectFault(Fault::Error(Uniform(1, 96)).For(target).Skip(skip));
        return;
      case FaultKind::kSilence:
        unit_->InjectFault(Fault::Silence().For(target).Skip(skip));
        return;
      case FaultKind::kGarbage:
        unit_->InjectFault(Fault::Reply(Garbage()).For(target).Skip(skip).Times(Uniform(1, 3)));
        return;
      case FaultKind::kOverlong:
        unit_->InjectFault(Fault::Overlong(5000).For(target).Skip(skip));
        return;
      case FaultKind::kSplit:
        unit_->InjectFault(Fault::Split(Uniform(1, 2), std::chrono::milliseconds(Uniform(0, 3)))
                               .For(target)
                               .Skip(skip)
                               .Times(Uniform(1, 20)));
        return;
      case FaultKind::kDisconnect:
        unit_->InjectFault(Fault::DisconnectAfter(skip).For(target));
        return;
    }
  }

  // The fault plan: every kind in turn over the run, the disconnects spread
  // out, in random order; a second fault now and then.
  std::vector<FaultKind> Plan(int operations) {
    static constexpr FaultKind kCycle[] = {
        FaultKind::kNone,    FaultKind::kBusyStorm, FaultKind::kError, FaultKind::kSilence,
        FaultKind::kGarbage, FaultKind::kOverlong,  FaultKind::kSplit};
    std::vector<FaultKind> plan;
    for (int i = 0; i < operations - kDisconnects; ++i) plan.push_back(kCycle[i % 7]);
    for (int i = 0; i < kDisconnects; ++i) plan.push_back(FaultKind::kDisconnect);
    std::shuffle(plan.begin(), plan.end(), rng_);
    return plan;
  }

  // The cable out and in again, after an injected disconnect or a settings
  // read that failed, until the session has read the unit's settings. The
  // reconnections fail their settings read now and then on purpose.
  void Replug() {
    for (int attempt = 0; attempt < 5; ++attempt) {
      ++replugs_;
      unit_->ClearFaults();
      if (unit_->IsConnected()) unit_->Disconnect();
      ASSERT_TRUE(tree_.RemovePort(tty_));
      ASSERT_TRUE(WaitUntilConnected(false));
      ASSERT_EQ(unit_->Reconnect(), 0);
      const bool spoil = attempt == 0 && Chance(0.5);
      if (spoil) {
        const FaultKind kinds[] = {FaultKind::kGarbage, FaultKind::kSilence, FaultKind::kError,
                                   FaultKind::kBusyStorm};
        // The settings block is read right after the identification.
        const FaultKind kind = kinds[Uniform(0, 3)];
        const int skip = Uniform(0, 63);
        if (kind == FaultKind::kGarbage) {
          unit_->InjectFault(Fault::Reply(Garbage()).For(CommandKind::kReadByte).Skip(skip));
        } else if (kind == FaultKind::kSilence) {
          unit_->InjectFault(Fault::Silence().For(CommandKind::kReadByte).Skip(skip));
        } else {
          unit_->InjectFault(Fault::Error(kind == FaultKind::kError ? 12 : 97)
                                 .For(CommandKind::kReadByte)
                                 .Skip(skip)
                                 .Times(3));
        }
      }
      PlugIn();
      if (HasFatalFailure()) return;
      ASSERT_TRUE(WaitUntilConnected(true));
      // The settings read runs before the connected flag is set.
      CheckSettings();
      unit_->ClearFaults();
      if (spoil) {
        EXPECT_FALSE(document_->SettingsRead()) << "settings taken from a failed read";
      }
      if (document_->SettingsRead()) return;
    }
    FAIL() << "the settings were never read";
  }

  // Settings are only ever those the unit holds.
  void CheckSettings() {
    if (document_->SettingsRead()) {
      EXPECT_EQ(document_->Settings(), test_support::FactorySettings());
    }
  }

  std::vector<std::uint8_t> UnitImage() const {
    return unit_->ReadMemory(kProgramImageAddress, kProgramImageSize);
  }

  // What a finished read turns the session's protocol into.
  static TestSequence Decoded(const std::vector<std::uint8_t>& memory, TestSequence protocol) {
    ProgramImage image{};
    std::copy(memory.begin(), memory.end(), image.begin());
    DeviceSetTable table{};
    const std::int32_t count = DecodeProgramImage(image, table);
    DeviceSetsToProtocol(table, count, test_support::FactorySettings(), protocol);
    return protocol;
  }

  // How the operation ended, by its finished event: 1 done, 0 cancelled or
  // failed, -1 not started (refused, or the unit was gone). The output pane
  // must say the same.
  int Result(bool program, const std::optional<Outcome>& finished) {
    if (!finished) {
      EXPECT_EQ(front_end_.Output().find("Device..."), std::string::npos);
      return -1;
    }
    const Outcome& outcome = *finished;
    EXPECT_EQ(outcome.operation, program ? Operation::kProgramDevice : Operation::kReadDevice);
    const std::string output = front_end_.Output();
    if (outcome.Done()) {
      // A read after a program run that did not finish finds no protocol.
      EXPECT_TRUE(output.ends_with(kSuccess[program ? 0 : 1]) ||
                  (!program && output.ends_with(std::string(kSuccess[1]) +
                                                "No protocol stored in the unit.\n")))
          << "output: " << output;
      return 1;
    }
    if (outcome.kind == Outcome::Kind::kNotConnected) {
      EXPECT_EQ(output.find("Device..."), std::string::npos) << "unexpected output: " << output;
      return -1;
    }
    // A cancel says so; a failure says why; a program run cut short says the
    // unit holds no protocol now.
    std::string line = std::string(kStopped[program ? 0 : 1]) +
                       (outcome.kind == Outcome::Kind::kCancelled ? "Cancelled" : "Failed: ");
    const std::size_t at = output.rfind(line);
    EXPECT_NE(at, std::string::npos) << "output: " << output;
    std::string tail = "\n" + OutcomeLine(outcome) + "\n";
    if (const std::string held = HeldProgramText(outcome); !held.empty()) tail += held + "\n";
    EXPECT_TRUE(output.ends_with(tail)) << "output: " << output;
    EXPECT_EQ(outcome.program_area_cleared && !program, false);
    return 0;
  }

  Rng rng_;
  int replugs_ = 0;
};

TEST_F(Soak, RandomProtocolsSurviveRandomFaults) {
  const std::uint64_t seed = SoakSeed();
  std::cout << "soak seed " << seed << " (replay: STRAVON_SOAK_SEED=" << seed << ")\n";
  RecordProperty("seed", std::to_string(seed));
  rng_.seed(seed);

  StartUnit();
  DeviceSessionOptions options = Options();
  options.read_timeout_ms = kSoakTimeoutMs;
  OpenSession(options);
  ASSERT_TRUE(WaitUntilConnected(true));
  ASSERT_TRUE(document_->SettingsRead());

  const std::vector<FaultKind> plan = Plan(2 * kProtocols);
  int outcomes[2][3] = {};  // [program, read][not started, cancelled, success]
  // The protocol whose image the unit holds in full, if any.
  std::optional<TestSequence> in_unit;
  const auto start = std::chrono::steady_clock::now();

  for (int round = 0; round < kProtocols; ++round) {
    SCOPED_TRACE("round " + std::to_string(round) + ", seed " + std::to_string(seed));
    for (const bool program : {true, false}) {
      if (!unit_->IsConnected() || !document_->SettingsRead()) {
        Replug();
        if (HasFatalFailure()) return;
      }
      const FaultKind fault = plan[static_cast<std::size_t>(2 * round + (program ? 0 : 1))];
      SCOPED_TRACE(std::string(program ? "program" : "read") + ", fault " + FaultName(fault));
      const TestSequence before = document_->Protocol();
      const std::vector<std::uint8_t> image_before = UnitImage();
      const TestSequence sequence = RandomProtocol();
      Inject(fault, program);
      if (fault != FaultKind::kNone && fault != FaultKind::kDisconnect && Chance(0.25)) {
        Inject(static_cast<FaultKind>(Uniform(1, 6)), program);
      }
      front_end_.Clear();
      // Sent as committed, unchecked: the soak is about the transfer.
      const Submission submission =
          program ? Session().Submit(ProgramRequest{sequence, test_support::FactorySettings(), false})
                  : Session().Submit(ReadRequest{});
      std::optional<Outcome> finished;
      if (submission.Accepted()) {
        finished = WaitFinished(submission.id, kOperationWait).outcome;
        ASSERT_FALSE(HasFatalFailure()) << "the operation hangs";
      } else {
        EXPECT_EQ(submission.refusal, Refusal::kNotConnected);
      }
      unit_->ClearFaults();

      const int outcome = Result(program, finished);
      ++outcomes[program ? 0 : 1][outcome + 1];
      if (fault == FaultKind::kNone && unit_->IsConnected()) {
        EXPECT_EQ(outcome, 1) << "an operation without a fault failed";
      }
      if (program) {
        // The compile and image of a program that says Success, byte for byte.
        DeviceSetTable table{};
        const std::int32_t count =
            CompileProtocol(sequence, test_support::FactorySettings(), table);
        const ProgramImage image = EncodeProgramImage(table, count);
        const bool written = UnitImage() == std::vector<std::uint8_t>(image.begin(), image.end());
        if (outcome == 1) {
          EXPECT_TRUE(written) << "Success reported, but the unit holds another image";
        }
        // A failed program may still have written everything (an overlong
        // reply to the last commit, which the unit carried out).
        in_unit = written ? std::optional<TestSequence>(sequence) : std::nullopt;
        // Never a mix of two protocols: the new one, the old one untouched,
        // or none the unit would run.
        if (!written && UnitImage() != image_before) {
          ProgramImage held{};
          const std::vector<std::uint8_t> memory = UnitImage();
          std::copy(memory.begin(), memory.end(), held.begin());
          DeviceSetTable held_sets{};
          EXPECT_EQ(DecodeProgramImage(held, held_sets), 0)
              << "a program run cut short left a runnable mix";
        }
      } else {
        const TestSequence after = document_->Protocol();
        if (outcome == 1) {
          EXPECT_EQ(after, Decoded(UnitImage(), before)) << "a finished read differs from the unit";
          if (in_unit) {
            DeviceSetTable table{};
            const std::int32_t count =
                CompileProtocol(*in_unit, test_support::FactorySettings(), table);
            const ProgramImage image = EncodeProgramImage(table, count);
            EXPECT_EQ(after, Decoded({image.begin(), image.end()}, before))
                << "a finished read differs from what was programmed";
            EXPECT_EQ(after.sets.size(), in_unit->sets.size());
          }
        } else {
          EXPECT_EQ(after, before) << "a read that did not finish changed the protocol";
        }
      }
      CheckSettings();
      if (HasFailure()) return;
    }
  }

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "soak: " << kProtocols << " protocols in " << seconds << " s; programs "
            << outcomes[0][2] << " done, " << outcomes[0][1] << " cancelled, " << outcomes[0][0]
            << " not started; reads " << outcomes[1][2] << " done, " << outcomes[1][1]
            << " cancelled, " << outcomes[1][0] << " not started; " << replugs_ << " replugs\n";
  // The plan makes every kind of fault happen, so both outcomes must show.
  EXPECT_GT(outcomes[0][1], 0);
  EXPECT_GT(outcomes[0][2], 0);
  EXPECT_GT(outcomes[1][1], 0);
  EXPECT_GT(outcomes[1][2], 0);
}

}  // namespace
}  // namespace stravon::worker_test
