// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_set.h"

#include <gtest/gtest.h>

namespace stravon {
namespace {

TEST(DeviceSetTest, InitialValues) {
  const DeviceSet set;
  EXPECT_EQ(set.Repetitions, 1u);
  EXPECT_EQ(set.Flags, kSetInUse);
  EXPECT_EQ(set.StretchPeriod, 4000u);
  EXPECT_EQ(set.StretchSteps, 2267);
  EXPECT_EQ(set.RecoverySteps, -2267);
  EXPECT_EQ(set.StretchSegments[7], (MotionSegment{4000, 200, 0, 0}));
  EXPECT_EQ(set.RecoverySegments[0], (MotionSegment{4000, -200, 0, 0}));
}

}  // namespace
}  // namespace stravon
