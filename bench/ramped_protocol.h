// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <random>

#include "protocol/test_sequence.h"

namespace stravon::bench {

// 44 ramped sets, the whole program image, over the range of magnitudes and
// phase lengths, some of them too short for the ramp; always the same ones.
// Every set is `base` with its magnitude and stretch and recovery lengths drawn.
inline TestSequence RampedProtocol(const TestSet& base = {}) {
  std::mt19937 random(44);
  std::uniform_real_distribution<double> magnitude(0.05, 38.0);
  std::uniform_real_distribution<double> log_seconds(-5.0, 4.5);
  TestSequence sequence;
  for (int i = 0; i < 44; ++i) {
    TestSet set = base;
    set.XUnits = MeasureUnit::Millimetre;
    set.XMagnitude = magnitude(random);
    set.StretchDurationSec = std::exp(log_seconds(random));
    set.RecoveryDurationSec = std::exp(log_seconds(random));
    sequence.sets.push_back(set);
  }
  return sequence;
}

}  // namespace stravon::bench
