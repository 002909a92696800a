// SPDX-License-Identifier: GPL-3.0-or-later
// The plot command: its CSV and JSON for the example protocol, in process and
// from the built program with a settings backup or an attached unit.
#include "cli/plot_command.h"

#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/settings_backup.h"
#include "device/motion_profile.h"
#include "protocol/protocol_file.h"
#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"
#include "tests/support/child_process.h"
#include "tests/support/test_settings.h"

namespace stravon {
namespace {

const char* const kExample =
    "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\tHoldTimeSec\t"
    "RestTimeSec\tNumReps\tTimeUnits\t\r\n"
    "Ramp\tmm\t2.5\t1\t1\t0.5\t2\t100\tSeconds\t\r\n"
    "Sinusoid\tmm\t1\t0.5\t0.5\t0\t0\t60\tMinutes\t\r\n";

TestSequence Example() {
  std::istringstream in(kExample);
  TestSequence sequence;
  ReadProtocol(in, sequence);
  return sequence;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(PlotCommandTest, CsvOfTheExampleProtocol) {
  const MotionProfile profile = BuildMotionProfile(Example(), test_support::FactorySettings());
  const std::vector<std::string> breakpoints = Lines(cli::PlotCsv(profile, std::nullopt));
  // 787 steps (2.498725 mm) in just under a second, too slow for a ramp:
  // straight lines between the phase ends.
  ASSERT_GE(breakpoints.size(), 6u);
  EXPECT_EQ(breakpoints[0], "time_s,position_mm");
  EXPECT_EQ(breakpoints[1], "0.000000,0.000000");
  EXPECT_EQ(breakpoints[2], "0.999982,2.498725");
  EXPECT_EQ(breakpoints[3], "1.499982,2.498725");
  EXPECT_EQ(breakpoints[4], "2.499964,0.000000");
  EXPECT_EQ(breakpoints[5], "4.499964,0.000000");
  // The header, the start, 100 ramp repetitions of 4 phase ends, 60 sinusoid
  // ones of 8 segment ends per phase (no ramps at these speeds).
  EXPECT_EQ(breakpoints.size(), 1u + 1 + 100 * 4 + 60 * 16);
  EXPECT_EQ(breakpoints.back().substr(0, breakpoints.back().find(',')), "4049.996365");

  const std::vector<std::string> samples = Lines(cli::PlotCsv(profile, 1000.0));
  ASSERT_EQ(samples.size(), 1u + 5 + 1);  // 0, 1000, ..., 4000 and the end
  EXPECT_EQ(samples[1], "0.000000,0.000000");
  EXPECT_EQ(samples.back(), "4049.996365,0.000000");
}

TEST(PlotCommandTest, JsonCarriesThePhaseDurations) {
  TestSequence sequence = Example();
  sequence.sets[0].StretchDurationSec = 0.05;  // too fast for the motor
  const nlohmann::json json =
      cli::PlotJson(BuildMotionProfile(sequence, test_support::FactorySettings()), std::nullopt,
                    test_support::FactorySettings(), "test");
  ASSERT_EQ(json["sets"].size(), 2u);
  const nlohmann::json& stretch = json["sets"][0]["phases"][0];
  EXPECT_EQ(stretch["phase"], "stretch");
  EXPECT_EQ(stretch["composed_s"], 0.05);
  EXPECT_GT(stretch["actual_s"].get<double>(), 0.05);
  EXPECT_EQ(stretch["longer_than_composed"], true);
  EXPECT_EQ(json["sets"][0]["phases"][2]["longer_than_composed"], false);
  EXPECT_EQ(json["any_longer_than_composed"], true);
  EXPECT_EQ(json["sets"][1]["repetitions"], 60);
  EXPECT_EQ(json["points"][0], nlohmann::json::array({0.0, 0.0}));
}

// The streamed text is the whole dump, byte for byte, in pieces of bounded
// size; a source with quotes and control bytes is escaped the same way.
TEST(PlotCommandTest, StreamedPlotsMatchTheWholeTextInBoundedPieces) {
  const MotionProfile profile = BuildMotionProfile(Example(), test_support::FactorySettings());
  for (const std::optional<double> step : {std::optional<double>(), std::optional(0.05)}) {
    std::string streamed;
    std::size_t largest = 0;
    int pieces = 0;
    const PieceWriter collect = [&](std::string_view piece) {
      streamed.append(piece);
      largest = std::max(largest, piece.size());
      ++pieces;
      return true;
    };
    const std::string source = "backup \"a\x01\".txt";
    ASSERT_TRUE(
        cli::WritePlotJson(profile, step, test_support::FactorySettings(), source, collect));
    EXPECT_EQ(streamed, cli::PlotJson(profile, step, test_support::FactorySettings(), source)
                                .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
                            "\n");
    EXPECT_LT(largest, 70000u);
    if (step) {
      EXPECT_GT(pieces, 10);  // 81000 points: not one piece
    }
  }
  // A refused piece ends the output.
  int calls = 0;
  EXPECT_FALSE(cli::WritePlotCsv(profile, 0.05, [&](std::string_view) { return ++calls > 2; }));
  EXPECT_EQ(calls, 1);
}

// The built program: the same CSV, from a backup's settings or the unit's.
TEST(PlotCommandTest, ProgramWritesTheCsvWithEitherSettings) {
  sim::FixtureTree tree = sim::FixtureTree::Temporary();
  ASSERT_TRUE(tree.ok());
  const std::string protocol = tree.Root() + "/example.tmt";
  std::ofstream(protocol, std::ios::binary) << kExample;
  const std::string backup = tree.Root() + "/backup.txt";
  std::ofstream(backup, std::ios::binary)
      << cli::BackupText(EncodeSettingsBlock(test_support::FactorySettings()), "test");
  const std::string expected =
      cli::PlotCsv(BuildMotionProfile(Example(), test_support::FactorySettings()), std::nullopt);
  const std::vector<std::string> environment = {"STRAVON_SYSFS_ROOT=" + tree.SysfsRoot(),
                                                "STRAVON_DEV_ROOT=" + tree.DevRoot()};
  const auto run = [&](const std::vector<std::string>& args) {
    std::vector<std::string> all = {"--timeout", "300"};
    all.insert(all.end(), args.begin(), args.end());
    return test_support::ChildProcess(STRAVON_CLI_PATH, all, environment).Wait();
  };

  const test_support::ProcessOutcome from_backup = run({"plot", protocol, "--settings", backup});
  EXPECT_EQ(from_backup.exit_status, 0) << from_backup.err;
  EXPECT_EQ(from_backup.out, expected);

  const std::string csv = tree.Root() + "/plot.csv";
  const test_support::ProcessOutcome to_file =
      run({"plot", protocol, "--settings", backup, "-o", csv});
  EXPECT_EQ(to_file.exit_status, 0) << to_file.err;
  EXPECT_EQ(ReadFile(csv), expected);

  const test_support::ProcessOutcome no_unit = run({"plot", protocol});
  EXPECT_EQ(no_unit.exit_status, 1);
  EXPECT_NE(no_unit.err.find("--settings"), std::string::npos) << no_unit.err;

  sim::SimulatedUnit unit;
  ASSERT_EQ(unit.Start(), 0);
  ASSERT_FALSE(tree.AddUsbPort(sim::UnitIdentity(), unit.SlavePath()).empty());
  const test_support::ProcessOutcome from_unit = run({"plot", protocol});
  EXPECT_EQ(from_unit.exit_status, 0) << from_unit.err;
  EXPECT_EQ(from_unit.out, expected);

  const test_support::ProcessOutcome json = run({"plot", protocol, "--json", "--step", "10"});
  EXPECT_EQ(json.exit_status, 0) << json.err;
  const nlohmann::json parsed = nlohmann::json::parse(json.out);
  EXPECT_EQ(parsed["points"].size(), 406u);  // 0 ... 4040 and the end
  EXPECT_EQ(run({"plot", protocol, "--step", "0"}).exit_status, 2);
}

// About two million points, written without holding them: the whole JSON of
// them would take more than 400 MB. (bench/ has the run of 20 million.)
TEST(PlotCommandTest, ALongJsonPlotRunsInBoundedMemory) {
  sim::FixtureTree tree = sim::FixtureTree::Temporary();
  ASSERT_TRUE(tree.ok());
  const std::string protocol = tree.Root() + "/example.tmt";
  std::ofstream(protocol, std::ios::binary) << kExample;
  const std::string backup = tree.Root() + "/backup.txt";
  std::ofstream(backup, std::ios::binary)
      << cli::BackupText(EncodeSettingsBlock(test_support::FactorySettings()), "test");
  const std::string output = tree.Root() + "/plot.json";
  const test_support::ProcessOutcome outcome =
      test_support::ChildProcess(
          STRAVON_CLI_PATH,
          {"plot", protocol, "--settings", backup, "--step", "0.002", "--json", "-o", output}, {})
          .Wait();
  ASSERT_EQ(outcome.exit_status, 0) << outcome.err;
  EXPECT_NE(outcome.err.find("Wrote 2025000 points"), std::string::npos) << outcome.err;
#if !defined(__SANITIZE_ADDRESS__)
  // Under the address sanitizer its shadow memory and quarantine dwarf the
  // figure; the plain build measures it.
  rusage usage{};
  ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &usage), 0);
  EXPECT_LT(usage.ru_maxrss, 200 * 1024) << "peak resident kB";
#endif
  std::ifstream in(output, std::ios::binary | std::ios::ate);
  EXPECT_GT(in.tellg(), 38'000'000);
}

}  // namespace
}  // namespace stravon
