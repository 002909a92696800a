// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/program_image.h"

#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/test_settings.h"

namespace stravon {
namespace {

TestSet RampedSet(double millimetres, double stretch, double recovery) {
  TestSet set;
  set.XUnits = MeasureUnit::Millimetre;
  set.XMagnitude = millimetres;
  set.StretchDurationSec = stretch;
  set.RecoveryDurationSec = recovery;
  return set;
}

TestSet SinusoidSet(double millimetres, double stretch, double recovery) {
  TestSet set = RampedSet(millimetres, stretch, recovery);
  set.XFunction = ControlFunction::Sinusoid;
  return set;
}

std::vector<std::uint8_t> Bytes(const ProgramImage& image, std::size_t at, std::size_t count) {
  return {image.begin() + static_cast<std::ptrdiff_t>(at),
          image.begin() + static_cast<std::ptrdiff_t>(at + count)};
}

ProgramImage Compile(const TestSequence& sequence, const HardwareSettings& settings) {
  DeviceSetTable table;
  const std::int32_t count = CompileProtocol(sequence, settings, table);
  return EncodeProgramImage(table, count);
}

TestSequence ReadBack(const ProgramImage& image, const HardwareSettings& settings) {
  DeviceSetTable table;
  TestSequence sequence;
  DeviceSetsToProtocol(table, DecodeProgramImage(image, table), settings, sequence);
  return sequence;
}

TEST(UsedMemoryTest, Percentages) {
  const struct {
    int ramped;
    int sinusoid;
    double percent;
  } cases[] = {{0, 0, 0.0}, {44, 0, 100.0}, {45, 0, 102.3}, {0, 8, 100.0}, {3, 1, 19.3}};
  for (const auto& c : cases) {
    TestSequence sequence;
    sequence.sets.resize(static_cast<std::size_t>(c.ramped));
    for (int i = 0; i < c.sinusoid; ++i) sequence.sets.push_back(SinusoidSet(1, 1, 1));
    EXPECT_EQ(UsedMemoryPercent(sequence), c.percent) << c.ramped << " + " << c.sinusoid;
  }
}

TEST(ProgramImageTest, RampedSetBytes) {
  TestSet set = RampedSet(7.2, 10.0, 1.0);  // 2267 steps
  set.NumReps = 3;
  set.HoldTimeSec = 1.5;
  set.RestTimeSec = 0.25;
  TestSequence sequence;
  sequence.sets = {set};
  const ProgramImage image = Compile(sequence, test_support::LongTravelSettings());
  using B = std::vector<std::uint8_t>;
  EXPECT_EQ(Bytes(image, 0, 16), (B{0, 0, 0, 3, 0, 0, 0, 0x96, 0, 0, 0, 0x19, 0, 0, 0x04, 0x01}));
  EXPECT_EQ(Bytes(image, 16, 16),
            (B{0x00, 0x01, 0x9D, 0x8A, 0x00, 0x00, 0x08, 0xDB,     // 105866, 2267
               0x00, 0x00, 0x29, 0x35, 0xFF, 0xFF, 0xF7, 0x25}));  // 10549, -2267
  EXPECT_EQ(Bytes(image, 32, kProgramImageSize - 32), B(kProgramImageSize - 32, 0));
}

TEST(ProgramImageTest, FlagsAndPhasesThatDoNotMove) {
  TestSet no_stretch = RampedSet(7.2, 0.0, 1.0);
  no_stretch.TimeUnits = TimeUnit::Hours;
  TestSet percent = RampedSet(10.0, 1.0, 1.0);
  percent.XUnits = MeasureUnit::Percent;
  percent.TimeUnits = TimeUnit::Minutes;
  TestSet days = RampedSet(1.0, 1.0, 1.0);
  days.TimeUnits = TimeUnit::Days;
  TestSequence sequence;
  sequence.sets = {no_stretch, percent, days};
  DeviceSetTable table;
  ASSERT_EQ(CompileProtocol(sequence, test_support::LongTravelSettings(), table), 3);

  EXPECT_EQ(table[0].Flags, 0x0C01u);
  EXPECT_EQ(table[0].StretchSteps, 0);
  EXPECT_EQ(table[0].StretchPeriod, 0u);
  EXPECT_EQ(table[0].RecoverySteps, -2267);
  EXPECT_EQ(table[1].Flags, 0x1801u);
  EXPECT_EQ(table[1].StretchSteps, 629);  // 10 % of 20 mm
  EXPECT_EQ(table[2].Flags, 0x0001u);
  EXPECT_EQ(table[3], DeviceSet{});

  // Without a minimum specimen size a percentage is no movement at all.
  HardwareSettings no_minimum = test_support::LongTravelSettings();
  no_minimum.MinimumSpecimenSize = 0.0f;
  CompileProtocol(sequence, no_minimum, table);
  EXPECT_EQ(table[1].StretchSteps, 0);
  EXPECT_EQ(table[1].RecoverySteps, 0);
}

TEST(ProgramImageTest, SinusoidSegmentsAtTheirOffsets) {
  TestSequence sequence;
  sequence.sets = {RampedSet(1.0, 1.0, 1.0), SinusoidSet(31.75, 2.0, 3.0)};  // 10000 steps
  DeviceSetTable table;
  const std::int32_t count = CompileProtocol(sequence, test_support::LongTravelSettings(), table);
  const ProgramImage image = EncodeProgramImage(table, count);
  EXPECT_EQ(Bytes(image, 32 + 12, 4), (std::vector<std::uint8_t>{0, 0, 0x04, 0x03}));
  // Stretch segment 1: 5509 ticks, 1083 steps, mask 0xDF, control 0x07.
  EXPECT_EQ(Bytes(image, 32 + 26, 10),
            (std::vector<std::uint8_t>{0, 0, 0x15, 0x85, 0, 0, 0x04, 0x3B, 0xDF, 0x07}));
  const MotionSegment& last = table[1].RecoverySegments[7];
  EXPECT_EQ(Bytes(image, 32 + 96 + 70, 4),
            (std::vector<std::uint8_t>{static_cast<std::uint8_t>(last.Period >> 24),
                                       static_cast<std::uint8_t>(last.Period >> 16),
                                       static_cast<std::uint8_t>(last.Period >> 8),
                                       static_cast<std::uint8_t>(last.Period)}));
  EXPECT_EQ(image[32 + 175], last.Control);
  EXPECT_EQ(image[32 + 176], 0);
}

TEST(ProgramImageTest, DecodeRestoresWhatWasEncoded) {
  TestSequence sequence;
  for (int i = 0; i < 3; ++i) {
    TestSet ramped = RampedSet(2.0 + i, 0.5 + i, 3.0);
    ramped.NumReps = 100 + i;
    ramped.HoldTimeSec = i;
    ramped.TimeUnits = static_cast<TimeUnit>(i);
    sequence.sets.push_back(ramped);
    sequence.sets.push_back(SinusoidSet(5.0 * (i + 1), 4.0, 0.3));
  }
  DeviceSetTable table;
  const std::int32_t count = CompileProtocol(sequence, test_support::LongTravelSettings(), table);
  DeviceSetTable decoded;
  decoded[10].Repetitions = 99;  // decoding resets the whole table
  ASSERT_EQ(DecodeProgramImage(EncodeProgramImage(table, count), decoded), count);
  for (std::size_t i = 0; i < kSetTableSize; ++i) {
    DeviceSet expected = table[i];
    // The image carries the ramp words or the segments, never both.
    if ((expected.Flags & kSetSinusoid) != 0) {
      expected.StretchPeriod = 4000;
      expected.StretchSteps = 2267;
      expected.RecoveryPeriod = 4000;
      expected.RecoverySteps = -2267;
    } else {
      expected.StretchSegments = DeviceSet{}.StretchSegments;
      expected.RecoverySegments = DeviceSet{}.RecoverySegments;
    }
    EXPECT_EQ(decoded[i], expected) << i;
  }
}

TEST(ProgramImageTest, DecodeStopsAtTheEndOfTheList) {
  ProgramImage image{};
  DeviceSetTable table;
  EXPECT_EQ(DecodeProgramImage(image, table), 0);

  // Two ramped sets, then a header without the in-use bit.
  image[15] = 0x01;
  image[47] = 0x01;
  image[64 + 3] = 0x05;
  image[64 + 15] = 0x02;
  image[96 + 15] = 0x01;
  EXPECT_EQ(DecodeProgramImage(image, table), 2);

  // 43 ramped sets leave 32 bytes: a sinusoid set there does not fit.
  image = {};
  for (std::size_t i = 0; i < 43; ++i) image[32 * i + 15] = 0x01;
  image[43 * 32 + 15] = 0x03;
  EXPECT_EQ(DecodeProgramImage(image, table), 43);
  image[43 * 32 + 15] = 0x01;
  EXPECT_EQ(DecodeProgramImage(image, table), 44);
}

TEST(ProgramImageTest, ReadBackInTheSetsOwnUnit) {
  TestSet hours = RampedSet(7.2, 0.5, 0.25);
  hours.TimeUnits = TimeUnit::Hours;
  hours.HoldTimeSec = 0.1;
  hours.RestTimeSec = 0.2;
  hours.NumReps = 4;
  hours.Name = "Kept";
  TestSet sinusoid = SinusoidSet(5.0, 4.0, 6.0);
  sinusoid.TimeUnits = TimeUnit::Seconds;
  TestSet percent = RampedSet(10.0, 2.0, 2.0);
  percent.XUnits = MeasureUnit::Percent;
  TestSet recovery_only = RampedSet(3.0, 0.0, 2.0);
  TestSequence sequence;
  sequence.sets = {hours, sinusoid, percent, recovery_only};
  sequence.columns = {Instruction::Name};

  const ProgramImage image = Compile(sequence, test_support::LongTravelSettings());
  TestSequence read = sequence;
  DeviceSetTable table;
  DeviceSetsToProtocol(table, DecodeProgramImage(image, table), test_support::LongTravelSettings(),
                       read);
  ASSERT_EQ(read.sets.size(), 4u);
  EXPECT_EQ(read.columns, sequence.columns);

  const TestSet& h = read.sets[0];
  EXPECT_EQ(h.TimeUnits, TimeUnit::Hours);
  EXPECT_EQ(h.XFunction, ControlFunction::Ramp);
  EXPECT_EQ(h.XUnits, MeasureUnit::Millimetre);
  EXPECT_EQ(h.XMagnitude, 7.2);
  EXPECT_EQ(h.StretchDurationSec, 0.5);
  EXPECT_EQ(h.RecoveryDurationSec, 0.25);
  EXPECT_EQ(h.HoldTimeSec, 0.1);
  EXPECT_EQ(h.RestTimeSec, 0.2);
  EXPECT_EQ(h.NumReps, 4);
  EXPECT_EQ(h.Name, "Data1");

  const TestSet& s = read.sets[1];
  EXPECT_EQ(s.XFunction, ControlFunction::Sinusoid);
  EXPECT_EQ(s.XMagnitude, 5.0);  // the last segment's slow-down counted
  EXPECT_EQ(s.StretchDurationSec, 4.0);
  EXPECT_EQ(s.RecoveryDurationSec, 6.0);

  EXPECT_EQ(read.sets[2].XUnits, MeasureUnit::Percent);
  EXPECT_EQ(read.sets[2].XMagnitude, 10.0);
  EXPECT_EQ(read.sets[3].XMagnitude, 3.0);  // from the recovery steps
  EXPECT_EQ(read.sets[3].StretchDurationSec, 0.0);

  // A percentage needs a minimum specimen size to mean anything.
  HardwareSettings no_minimum = test_support::LongTravelSettings();
  no_minimum.MinimumSpecimenSize = 0.0f;
  DeviceSetsToProtocol(table, 4, no_minimum, read);
  EXPECT_EQ(read.sets[2].XMagnitude, 0.0);

  // An empty image empties the protocol.
  EXPECT_TRUE(ReadBack(ProgramImage{}, test_support::LongTravelSettings()).sets.empty());
}

TEST(ProgramImageTest, HoldAndRestTimesOutOfRange) {
  const double huge = 1e12;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double length;
    TimeUnit unit;
    std::uint32_t hundredths;
  } cases[] = {{1.5, TimeUnit::Seconds, 150},
               {2.0, TimeUnit::Minutes, 12000},
               {1.0, TimeUnit::Days, 8640000},
               {-1.0, TimeUnit::Seconds, 0},
               {huge, TimeUnit::Seconds, 4294967295u},
               {nan, TimeUnit::Seconds, 0},
               // Multiplied up a unit at a time: one product by 3600 would
               // give 31319.999... and store 31319.
               {0.087, TimeUnit::Hours, 31320}};
  for (const auto& c : cases) {
    TestSet set = RampedSet(1.0, 1.0, 1.0);
    set.HoldTimeSec = c.length;
    set.RestTimeSec = c.length;
    set.TimeUnits = c.unit;
    TestSequence sequence;
    sequence.sets = {set};
    DeviceSetTable table;
    CompileProtocol(sequence, test_support::LongTravelSettings(), table);
    EXPECT_EQ(table[0].HoldTime, c.hundredths) << c.length;
    EXPECT_EQ(table[0].RestTime, c.hundredths) << c.length;
  }
}

TEST(ProgramImageTest, NothingIsWrittenPastTheTableOrTheImage) {
  TestSequence sequence;
  sequence.sets.assign(61, RampedSet(1.0, 1.0, 1.0));
  DeviceSetTable table;
  EXPECT_EQ(CompileProtocol(sequence, test_support::LongTravelSettings(), table), 60);
  // 60 ramped sets need more than the image holds: the first 44 are written.
  const ProgramImage image = EncodeProgramImage(table, 60);
  DeviceSetTable decoded;
  EXPECT_EQ(DecodeProgramImage(image, decoded), 44);
}

}  // namespace
}  // namespace stravon
