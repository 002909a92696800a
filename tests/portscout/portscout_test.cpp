// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"
#include "tests/support/child_process.h"
#include "tests/support/time_scale.h"

namespace stravon {
namespace {

constexpr int kTimeoutMs = 150;

using test_support::ChildProcess;
using Outcome = test_support::ProcessOutcome;

// Runs the built portscout with `args` and the fixture roots in its environment.
Outcome RunPortscout(const std::vector<std::string>& args, const std::string& sysfs_root,
                     const std::string& dev_root) {
  return ChildProcess(STRAVON_PORTSCOUT_PATH, args,
                      {"STRAVON_SYSFS_ROOT=" + sysfs_root, "STRAVON_DEV_ROOT=" + dev_root,
                       "STRAVON_SERIAL_TIMEOUT_MS=" + std::to_string(kTimeoutMs)})
      .Wait();
}

// One attached port: an identity, and a simulated unit behind its node.
struct PortSetup {
  const char* as;
  std::map<int, std::string> answers = {};
  bool silent = false;
  bool unopenable = false;
};

class PortscoutTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tree_.ok()); }

  void Attach(const std::vector<PortSetup>& ports) {
    for (const PortSetup& port : ports) {
      sim::UsbIdentity identity;
      ASSERT_TRUE(sim::IdentityByName(port.as, &identity)) << port.as;
      sim::UnitOptions options;
      options.variant_answers = port.answers;
      auto unit = std::make_unique<sim::SimulatedUnit>(options);
      ASSERT_EQ(unit->Start(), 0);
      if (port.silent) unit->InjectFault(sim::Fault::Silence().Times(-1));
      const std::string target = port.unopenable ? sim::kUnopenable : unit->SlavePath();
      ASSERT_FALSE(tree_.AddUsbPort(identity, target).empty());
      units_.push_back(std::move(unit));
    }
  }
  Outcome Run(const std::vector<std::string>& args) {
    return RunPortscout(args, tree_.SysfsRoot(), tree_.DevRoot());
  }
  // Variant queries each unit received, in attachment order.
  std::vector<int> QueryCounts() const {
    std::vector<int> counts;
    for (const auto& unit : units_) {
      counts.push_back(unit->CommandCount(sim::CommandKind::kVariantQuery));
    }
    return counts;
  }

  sim::FixtureTree tree_ = sim::FixtureTree::Temporary();
  std::vector<std::unique_ptr<sim::SimulatedUnit>> units_;
};

struct Case {
  const char* name;
  std::vector<PortSetup> ports;
  std::vector<std::string> args;
  int result;
  std::vector<int> queries;  // per port: 2 when asked (both queries always go), else 0
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class PortscoutCaseTest : public PortscoutTest, public testing::WithParamInterface<Case> {};

TEST_P(PortscoutCaseTest, PrintsAndExitsWithTheResult) {
  const Case& c = GetParam();
  Attach(c.ports);
  const Outcome outcome = Run(c.args);
  EXPECT_EQ(outcome.out, std::to_string(c.result)) << "one number, no line break";
  EXPECT_EQ(outcome.exit_status, c.result & 0xFF);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(QueryCounts(), c.queries);
}

std::map<int, std::string> Answers(const char* a4, const char* a6) { return {{4, a4}, {6, a6}}; }

const PortSetup kBridge{"bridge"};
const PortSetup kTagged{"tagged"};
const PortSetup kBoard{"board"};
PortSetup Controller(const char* a4, const char* a6) { return {"controller", Answers(a4, a6)}; }
const PortSetup kSilentController{"controller", {}, /*silent=*/true};
const PortSetup kUnopenableController{"controller", {}, false, /*unopenable=*/true};

INSTANTIATE_TEST_SUITE_P(
    Portscout, PortscoutCaseTest,
    testing::Values(
        // Unknown or missing types: the list is built, nothing is asked.
        Case{"Type5", {Controller("1", "4")}, {"5"}, -1, {0}},
        Case{"Type2", {Controller("1", "4")}, {"2"}, -1, {0}},
        Case{"TypeMinus1", {Controller("1", "4")}, {"-1"}, -1, {0}},
        Case{"NoArgument", {Controller("1", "4")}, {}, -1, {0}},
        // Argument reading: leading digits count, none reads as 0; extra
        // arguments are ignored.
        Case{"Type3abc", {Controller("1", "4")}, {"3abc"}, 20, {2}},
        Case{"TypeAbcIs0", {Controller("1", "2")}, {"abc"}, 2, {2}},
        Case{"BlanksAndSign", {Controller("1", "4")}, {" +1", "3"}, 11, {2}},
        // Type 0.
        Case{"Type0BridgeWins", {Controller("1", "1"), kBridge}, {"0"}, 1, {0, 0}},
        Case{"Type0NoController", {kBoard}, {"0"}, -1, {0}},
        Case{"Type0Answer1", {Controller("9", "1")}, {"0"}, 0, {2}},
        Case{"Type0Answer4", {Controller("9", "4")}, {"0"}, 2, {2}},
        Case{"Type0Answer7", {Controller("9", "7")}, {"0"}, 1, {2}},
        Case{"Type0Silent", {kSilentController}, {"0"}, 1, {2}},
        Case{"Type0Unopenable", {kUnopenableController}, {"0"}, 1, {0}},
        // Types 1 and 6.
        Case{"Type1Bridge", {kBridge, Controller("6", "4")}, {"1"}, 10, {0, 0}},
        Case{"Type1NoController", {kTagged}, {"1"}, -1, {0}},
        Case{"Type1Answers1And4", {Controller("1", "4")}, {"1"}, 11, {2}},
        Case{"Type1Answers1And2", {Controller("1", "2")}, {"1"}, 10, {2}},
        Case{"Type1Answers6And2", {Controller("6", "2")}, {"1"}, 12, {2}},
        Case{"Type1Answers6And4", {Controller("6", "4")}, {"1"}, 13, {2}},
        Case{"Type1Answers3And4", {Controller("3", "4")}, {"1"}, -1, {2}},
        Case{"Type1LetterFirst", {Controller("x1", "4")}, {"1"}, -1, {2}},
        // A line feed before the carriage return does not spoil the number.
        Case{"Type1LineFeedInAnswer", {Controller("1", "4\n")}, {"1"}, 11, {2}},
        Case{"Type1Silent", {kSilentController}, {"1"}, -1, {2}},
        Case{"Type6Answers6And4", {Controller("6", "4")}, {"6"}, 13, {2}},
        Case{"Type6Answers1And2", {Controller("1", "2")}, {"6"}, 10, {2}},
        Case{"Type6Bridge", {kBridge}, {"6"}, 10, {0}},
        // Only the first controller in the list is asked.
        Case{
            "FirstControllerOnly", {Controller("6", "4"), Controller("1", "4")}, {"1"}, 13, {2, 0}},
        // Type 3: tagged before board before the controller.
        Case{"Type3TaggedAndBoard", {kBoard, kTagged, Controller("1", "4")}, {"3"}, 20, {0, 0, 0}},
        Case{"Type3BoardOnly", {kBoard, Controller("1", "4")}, {"3"}, 22, {0, 0}},
        Case{"Type3NoController", {kBridge}, {"3"}, -1, {0}},
        Case{"Type3Answer", {Controller("0", "2")}, {"3"}, 20, {2}},
        Case{"Type3AnswerZero", {Controller("1", "0")}, {"3"}, 21, {2}},
        Case{"Type3Silent", {kSilentController}, {"3"}, 21, {2}}),
    [](const testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

// A controller held by another program: the open fails, so do the queries.
TEST_F(PortscoutTest, ControllerHeldByAnotherProgramCountsAsSilent) {
  Attach({Controller("1", "4")});
  const int holder = ::open(tree_.NodePath("ttyACM0").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const Outcome outcome = Run({"3"});
  ::close(holder);
  EXPECT_EQ(outcome.out, "21");
  EXPECT_EQ(outcome.exit_status, 21);
  EXPECT_EQ(QueryCounts(), std::vector<int>{0});
}

// The per-byte time-out comes from the environment here; a silent unit costs
// two of them, not the unit's 20 s.
TEST_F(PortscoutTest, SilentControllerCostsTwoTimeouts) {
  Attach({kSilentController});
  const auto start = std::chrono::steady_clock::now();
  const Outcome outcome = Run({"3"});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(outcome.out, "21");
  EXPECT_GE(elapsed, std::chrono::milliseconds(2 * kTimeoutMs));
  EXPECT_LT(elapsed, test_support::Scaled(std::chrono::seconds(5)));
}

}  // namespace
}  // namespace stravon
