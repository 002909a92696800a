// SPDX-License-Identifier: GPL-3.0-or-later
// The device timing against the step-by-step reference: every ramp sum and
// ramp length, random period searches, and whole protocols compiled both ways.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "device/hardware_settings.h"
#include "device/motion_timing.h"
#include "device/period_search.h"
#include "device/phase_compiler.h"
#include "device/program_image.h"
#include "protocol/test_sequence.h"
#include "tests/oracle/timing_oracle.h"

namespace stravon {
namespace {

// A fresh seed per run, printed so that a failure can be repeated with
// STRAVON_TEST_SEED=<seed>.
std::uint64_t TestSeed() {
  if (const char* fixed = std::getenv("STRAVON_TEST_SEED")) return std::stoull(fixed);
  const std::uint64_t seed = (std::uint64_t{std::random_device{}()} << 32) | std::random_device{}();
  std::cout << "seed " << seed << " (STRAVON_TEST_SEED)\n";
  return seed;
}

TEST(TimingDifferentialTest, RampSumsAndLengthsMatchTheRunningSums) {
  for (std::uint32_t k = 0; k <= 412; ++k) {
    for (std::uint32_t m = 0; m <= 822; ++m) {
      ASSERT_EQ(RampSum(k, m), oracle::RampSum(k, m)) << "k " << k << " m " << m;
    }
  }
  for (std::uint32_t p = 0; p <= 30400; ++p) {
    ASSERT_EQ(RampLength(p), oracle::RampLength(p)) << "period " << p;
  }
  EXPECT_EQ(RampLength(kSlowestPeriod), 0u);
}

struct SolveCase {
  std::int32_t steps;
  std::uint32_t previous_period;
  bool stop;
  double seconds;
};

std::ostream& operator<<(std::ostream& out, const SolveCase& c) {
  return out << c.steps << " steps, previous " << c.previous_period << ", stop " << c.stop << ", "
             << std::hexfloat << c.seconds << std::defaultfloat << " s";
}

// Period, limited flag, and the duration at that period (with what the
// duration call does to the period) are all identical.
void ExpectSameSolution(const SolveCase& c) {
  bool limited = false;
  const std::uint32_t period = SolvePeriod(c.steps, limited, c.previous_period, c.stop, c.seconds);
  bool reference_limited = false;
  const std::uint32_t reference =
      oracle::SolvePeriod(c.steps, reference_limited, c.previous_period, c.stop, c.seconds);
  ASSERT_EQ(period, reference) << c;
  ASSERT_EQ(limited, reference_limited) << c;

  std::uint32_t reached = period;
  bool duration_limited = false;
  const double duration =
      PhaseDuration(c.steps, reached, duration_limited, c.previous_period, c.stop);
  std::uint32_t reference_reached = reference;
  bool reference_duration_limited = false;
  const double reference_duration = oracle::PhaseDuration(
      c.steps, reference_reached, reference_duration_limited, c.previous_period, c.stop);
  ASSERT_EQ(duration, reference_duration) << c;
  ASSERT_EQ(reached, reference_reached) << c;
  ASSERT_EQ(duration_limited, reference_duration_limited) << c;
}

TEST(TimingDifferentialTest, KnownSlowSearches) {
  // Fast previous periods that must end slow, and targets far from the start.
  const SolveCase cases[] = {
      {889, 760, true, 14.36709}, {889, 760, false, 14.36709}, {1, 750, true, 100.0},
      {3, 750, true, 0.001},      {50000, 0, true, 0.001},     {0, 900, true, 5.0},
      {2, 29000, true, 40.0},     {-889, 760, true, 14.36709}, {410, 751, false, 0.2},
  };
  for (const SolveCase& c : cases) ExpectSameSolution(c);
}

TEST(TimingDifferentialTest, RandomSearchesMatchTheReference) {
  std::mt19937_64 random(TestSeed());
  std::uniform_int_distribution<std::int32_t> any_steps(0, 50000);
  std::uniform_int_distribution<int> small_exponent(0, 15);  // 1 ... 32768, to reach the ramp
  std::uniform_real_distribution<double> log_seconds(std::log(0.001), std::log(100.0));
  std::uniform_int_distribution<std::uint32_t> fast_previous(750, 3000);
  std::uniform_int_distribution<std::uint32_t> any_previous(750, 30000);
  std::uniform_int_distribution<int> pick(0, 5);
  for (int i = 0; i < 100000; ++i) {
    SolveCase c{};
    // Half the step counts spread evenly, half over the powers of two below.
    if (pick(random) < 3) {
      c.steps = any_steps(random);
    } else {
      const std::int32_t top = std::int32_t{1} << small_exponent(random);
      c.steps = std::uniform_int_distribution<std::int32_t>(0, top)(random);
    }
    if (pick(random) == 0) c.steps = -c.steps;
    c.seconds = std::exp(log_seconds(random));
    switch (pick(random) % 3) {
      case 0:
        c.previous_period = 0;
        break;
      case 1:
        c.previous_period = fast_previous(random);
        break;
      default:
        c.previous_period = any_previous(random);
        break;
    }
    c.stop = pick(random) % 2 == 0;
    ExpectSameSolution(c);
    if (HasFatalFailure()) return;
  }
}

TEST(TimingDifferentialTest, RandomProtocolsGiveTheSameImage) {
  std::mt19937_64 random(TestSeed());
  std::uniform_int_distribution<int> pick(0, 99);
  std::uniform_real_distribution<double> magnitude(0.0, 38.0);
  std::uniform_real_distribution<double> log_seconds(std::log(0.01), std::log(100.0));
  HardwareSettings settings;
  settings.MinimumSpecimenSize = 5.0f;
  for (int run = 0; run < 60; ++run) {
    // Coarse and fine pitches: fine ones give fast sinusoids long ramps.
    settings.MotorPitch = run % 2 == 0 ? 0.003175f : 0.0005f;
    TestSequence sequence;
    const bool sinusoids = run % 3 == 0;
    std::size_t bytes = 0;
    while (bytes + 176 <= 1408) {
      TestSet set;
      set.XFunction =
          sinusoids && pick(random) < 70 ? ControlFunction::Sinusoid : ControlFunction::Ramp;
      set.XUnits = pick(random) < 20 ? MeasureUnit::Percent : MeasureUnit::Millimetre;
      set.XMagnitude =
          set.XUnits == MeasureUnit::Percent ? magnitude(random) * 5 : magnitude(random);
      set.StretchDurationSec = pick(random) < 10 ? 0.0 : std::exp(log_seconds(random));
      set.RecoveryDurationSec = pick(random) < 10 ? 0.0 : std::exp(log_seconds(random));
      set.HoldTimeSec = pick(random) / 10.0;
      set.NumReps = pick(random);
      bytes += set.XFunction == ControlFunction::Sinusoid ? 176 : 32;
      sequence.sets.push_back(set);
    }
    DeviceSetTable table;
    DeviceSetTable reference_table;
    const std::int32_t count = CompileProtocol(sequence, settings, table);
    const std::int32_t reference_count =
        CompileProtocol(sequence, settings, reference_table, oracle::kTiming);
    ASSERT_EQ(count, reference_count);
    ASSERT_EQ(EncodeProgramImage(table, count), EncodeProgramImage(reference_table, count))
        << "protocol " << run;
  }
}

}  // namespace
}  // namespace stravon
