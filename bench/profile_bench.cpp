// SPDX-License-Identifier: GPL-3.0-or-later
// The protocol preview: building a full-memory protocol's motion profile
// (compile included), evaluating a window of 1600 columns, and painting one
// 1600 x 700 frame, at the whole protocol, one repetition and one millisecond,
// with 1 and 1,000,000 repetitions per set. Goals: a profile in 5 ms, a frame
// in 16 ms at any zoom, and repetitions costing nothing.
#include <cstdint>
#include <string>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include "device/motion_profile.h"
#include "protocol/test_sequence.h"
#include "tests/support/test_settings.h"
#include "views/protocol_preview.h"

#include "ramped_protocol.h"

namespace stravon {
namespace {

constexpr int kColumns = 1600;

TestSequence RampedProtocol(std::int32_t repetitions) {
  TestSet base;
  base.HoldTimeSec = 0.5;
  base.RestTimeSec = 1.0;
  base.NumReps = repetitions;
  return bench::RampedProtocol(base);
}

// 8 sinusoid sets, the whole image, too fast for the ramp: every phase
// searches its duration by bisection, the slowest compile there is.
TestSequence SinusoidProtocol(std::int32_t repetitions) {
  TestSequence sequence;
  for (int i = 0; i < 8; ++i) {
    TestSet set;
    set.XFunction = ControlFunction::Sinusoid;
    set.XUnits = MeasureUnit::Millimetre;
    set.XMagnitude = 4.0 + 4.0 * i;
    set.StretchDurationSec = 0.05 + 0.01 * i;
    set.RecoveryDurationSec = 0.1;
    set.NumReps = repetitions;
    sequence.sets.push_back(set);
  }
  return sequence;
}

TestSequence Protocol(bool sinusoid, std::int32_t repetitions) {
  return sinusoid ? SinusoidProtocol(repetitions) : RampedProtocol(repetitions);
}

// Arguments: sinusoid (0/1), repetitions.
void BuildProfile(benchmark::State& state) {
  const TestSequence sequence =
      Protocol(state.range(0) != 0, static_cast<std::int32_t>(state.range(1)));
  const HardwareSettings settings = test_support::LongTravelSettings();
  for (auto _ : state) benchmark::DoNotOptimize(BuildMotionProfile(sequence, settings));
}

// The window: 0 the whole protocol, 1 the middle repetition of the middle
// set, 2 one millisecond inside it.
struct Window {
  double from;
  double to;
};

Window WindowOf(const MotionProfile& profile, std::int64_t zoom) {
  if (zoom == 0) return {0.0, profile.Duration()};
  const ProfileSet& set = profile.Sets()[profile.Sets().size() / 2];
  const double start = set.start + (set.repetitions / 2) * set.cycle_seconds;
  if (zoom == 1) return {start, start + set.cycle_seconds};
  return {start + 0.01, start + 0.011};
}

// Arguments: sinusoid, repetitions, zoom.
void EvaluateWindow(benchmark::State& state) {
  const MotionProfile profile =
      BuildMotionProfile(Protocol(state.range(0) != 0, static_cast<std::int32_t>(state.range(1))),
                         test_support::LongTravelSettings());
  const Window window = WindowOf(profile, state.range(2));
  for (auto _ : state) {
    benchmark::DoNotOptimize(profile.Evaluate(window.from, window.to, kColumns));
  }
}

void PaintFrame(benchmark::State& state) {
  const HardwareSettings settings = test_support::LongTravelSettings();
  const MotionProfile profile = BuildMotionProfile(
      Protocol(state.range(0) != 0, static_cast<std::int32_t>(state.range(1))), settings);
  const Window window = WindowOf(profile, state.range(2));
  const views::PlotFrame frame{window.from, window.to, settings.TravelSoftLimit};
  QImage image(kColumns + 90, 700, QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    QPainter painter(&image);
    views::PaintProfile(painter, QRectF(image.rect()), profile, frame);
  }
}

void Arguments(benchmark::internal::Benchmark* bench, bool zooms) {
  for (int sinusoid : {0, 1}) {
    for (int repetitions : {1, 1000000}) {
      if (!zooms) {
        bench->Args({sinusoid, repetitions});
        continue;
      }
      for (int zoom : {0, 1, 2}) bench->Args({sinusoid, repetitions, zoom});
    }
  }
}

BENCHMARK(BuildProfile)
    ->ArgNames({"sinusoid", "reps"})
    ->Apply([](auto* bench) { Arguments(bench, false); }) -> Unit(benchmark::kMicrosecond);
BENCHMARK(EvaluateWindow)
    ->ArgNames({"sinusoid", "reps", "zoom"})
    ->Apply([](auto* bench) { Arguments(bench, true); }) -> Unit(benchmark::kMicrosecond);
BENCHMARK(PaintFrame)
    ->ArgNames({"sinusoid", "reps", "zoom"})
    ->Apply([](auto* bench) { Arguments(bench, true); }) -> Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace stravon

int main(int argc, char** argv) {
  // Painting needs fonts, which need a GUI application; no display needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
