// SPDX-License-Identifier: GPL-3.0-or-later
// Motion timing: every case runs twice, as <case>_Fast with the device code and
// <case>_Reference with the step-by-step reference that walks one tick at a
// time. Goals: no single solve above 50 us, a full program image compiled in
// 5 ms, one set-editor check in 1 ms, the slowest solves at least 100 times
// faster than the reference.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "device/hardware_settings.h"
#include "device/motion_timing.h"
#include "device/period_search.h"
#include "device/phase_compiler.h"
#include "device/program_image.h"
#include "protocol/test_sequence.h"
#include "tests/oracle/timing_oracle.h"
#include "tests/support/test_settings.h"

#include "ramped_protocol.h"

namespace stravon {
namespace {

struct SolveCase {
  const char* name;
  std::int32_t steps;
  std::uint32_t previous_period;
  bool stop;
  double seconds;
};

// The slowest searches found by sampling a million random cases: a final
// segment after a slow one that cannot be made fast enough crosses every ramp
// entry before it gives up at 749. Then the case that needs 3.3 million ticks
// above the ramp, and an ordinary one.
constexpr SolveCase kSolveCases[] = {
    {"FinalAfterSlow6", 6, 24776, true, 0.0022771646034693022},
    {"FinalAfterSlow25", 25, 5607, true, 0.0096820456361282892},
    {"FinalAfterSlow9", 9, 8648, true, 0.0051080968400831345},
    {"FinalAfterSlow38", 38, 28653, true, 0.010177948837798689},
    {"FinalAfterFast889", 889, 760, true, 14.36709},
    {"RestToRest2267", 2267, 0, true, 1.0},
};

// 8 sinusoid sets (the whole image). Infeasible lengths make every phase
// search its duration by bisection.
TestSequence SinusoidProtocol(bool feasible) {
  TestSequence sequence;
  for (int i = 0; i < 8; ++i) {
    TestSet set;
    set.XFunction = ControlFunction::Sinusoid;
    set.XUnits = MeasureUnit::Millimetre;
    set.XMagnitude = 4.0 + 4.0 * i;
    set.StretchDurationSec = feasible ? 2.0 + i : 0.05 + 0.01 * i;
    set.RecoveryDurationSec = feasible ? 5.0 + 3 * i : 0.1;
    sequence.sets.push_back(set);
  }
  return sequence;
}

void CompileImage(benchmark::State& state, const TestSequence& sequence,
                  const TimingFunctions& timing) {
  const HardwareSettings settings = test_support::LongTravelSettings();
  DeviceSetTable table;
  for (auto _ : state) {
    const std::int32_t count = CompileProtocol(sequence, settings, table, timing);
    benchmark::DoNotOptimize(EncodeProgramImage(table, count));
  }
}

// What the set editor does for one set: both phases on a scratch set.
void EditorCheck(benchmark::State& state, bool sinusoid, double magnitude, double seconds,
                 const TimingFunctions& timing) {
  const float pitch = test_support::LongTravelSettings().MotorPitch;
  for (auto _ : state) {
    DeviceSet scratch;
    if (sinusoid) scratch.Flags |= kSetSinusoid;
    benchmark::DoNotOptimize(CompileStretchPhase(scratch, pitch, magnitude, seconds, timing));
    benchmark::DoNotOptimize(CompileRecoveryPhase(scratch, pitch, magnitude, seconds, timing));
  }
}

void RegisterPair(const std::string& name,
                  const std::function<void(benchmark::State&, const TimingFunctions&)>& run) {
  benchmark::RegisterBenchmark((name + "_Fast").c_str(), [run](benchmark::State& state) {
    run(state, TimingFunctions{});
  })->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark((name + "_Reference").c_str(), [run](benchmark::State& state) {
    run(state, oracle::kTiming);
  })->Unit(benchmark::kMicrosecond);
}

void RegisterAll() {
  for (const SolveCase& c : kSolveCases) {
    RegisterPair(std::string("Solve") + c.name,
                 [c](benchmark::State& state, const TimingFunctions& timing) {
                   for (auto _ : state) {
                     bool limited = false;
                     benchmark::DoNotOptimize(
                         timing.Solve(c.steps, limited, c.previous_period, c.stop, c.seconds));
                   }
                 });
  }
  const TestSequence ramped = bench::RampedProtocol();
  const TestSequence sinusoids = SinusoidProtocol(true);
  const TestSequence fast_sinusoids = SinusoidProtocol(false);
  RegisterPair("Image44Ramped", [ramped](benchmark::State& state, const TimingFunctions& timing) {
    CompileImage(state, ramped, timing);
  });
  RegisterPair("Image8Sinusoid",
               [sinusoids](benchmark::State& state, const TimingFunctions& timing) {
                 CompileImage(state, sinusoids, timing);
               });
  RegisterPair("Image8SinusoidInfeasible",
               [fast_sinusoids](benchmark::State& state, const TimingFunctions& timing) {
                 CompileImage(state, fast_sinusoids, timing);
               });
  RegisterPair("EditorRamp", [](benchmark::State& state, const TimingFunctions& timing) {
    EditorCheck(state, false, 12.5, 0.05, timing);
  });
  RegisterPair("EditorSinusoid", [](benchmark::State& state, const TimingFunctions& timing) {
    EditorCheck(state, true, 12.5, 4.0, timing);
  });
  RegisterPair("EditorSinusoidInfeasible",
               [](benchmark::State& state, const TimingFunctions& timing) {
                 EditorCheck(state, true, 30.0, 0.2, timing);
               });
}

}  // namespace
}  // namespace stravon

int main(int argc, char** argv) {
  stravon::RegisterAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
