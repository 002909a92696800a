// SPDX-License-Identifier: GPL-3.0-or-later
// The plot command's JSON of about 20 million points, streamed into a sink
// that drops it: the time, and the peak resident memory, which must stay a
// few megabytes however many points there are (held whole, they took 4 GB).
#include <sys/resource.h>

#include <cstddef>
#include <sstream>
#include <string_view>

#include <benchmark/benchmark.h>

#include "cli/plot_command.h"
#include "device/motion_profile.h"
#include "protocol/protocol_file.h"
#include "tests/support/test_settings.h"

namespace stravon {
namespace {

// 100 ramps and an hour of sinusoids: 4050 s, sampled every 0.2 ms.
constexpr const char* kProtocol =
    "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\tHoldTimeSec\t"
    "RestTimeSec\tNumReps\tTimeUnits\t\r\n"
    "Ramp\tmm\t2.5\t1\t1\t0.5\t2\t100\tSeconds\t\r\n"
    "Sinusoid\tmm\t1\t0.5\t0.5\t0\t0\t60\tMinutes\t\r\n";
constexpr double kStep = 0.0002;

void BM_PlotJsonOf20MillionPoints(benchmark::State& state) {
  std::istringstream in(kProtocol);
  TestSequence sequence;
  ReadProtocol(in, sequence);
  const HardwareSettings settings = test_support::FactorySettings();
  const MotionProfile profile = BuildMotionProfile(sequence, settings);
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    cli::WritePlotJson(profile, kStep, settings, "bench", [&bytes](std::string_view piece) {
      bytes += piece.size();
      return true;
    });
  }
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.counters["MB_written"] = static_cast<double>(bytes) / 1e6;
  state.counters["peak_RSS_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_PlotJsonOf20MillionPoints)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
}  // namespace stravon

BENCHMARK_MAIN();
