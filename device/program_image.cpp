// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/program_image.h"

#include <algorithm>
#include <cmath>

#include "device/phase_compiler.h"
#include "device/saturating_cast.h"

namespace stravon {
namespace {

constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kSegmentBytes = 10;
constexpr std::uint32_t kErasedWord = 0xFFFFFFFF;

static_assert(kProgramImageSize / kRampedSetBytes <= kSetTableSize,
              "every image that decodes fits into the set table");

bool IsSinusoid(const TestSet& set) { return set.XFunction == ControlFunction::Sinusoid; }

std::size_t SetBytes(const DeviceSet& set) {
  return (set.Flags & kSetSinusoid) != 0 ? kSinusoidSetBytes : kRampedSetBytes;
}

// Hold and rest times in hundredths of a second. The unit's arithmetic goes
// up one unit at a time (by 60 to minutes, by 60 again to hours, by 24 to
// days) and rounds at each step; one product with the seconds factor can end
// a hair below a whole hundredth and be cut to the one before.
std::uint32_t Hundredths(double length, TimeUnit unit) {
  double hundredths = length * 100;
  if (!UnitRunsTimeUnit(unit)) return TruncToUint32(hundredths * SecondsPerTimeUnit(unit));
  double seconds_so_far = 1.0;
  for (const UnitTimeUnit& step : kUnitTimeUnits) {
    const double seconds = SecondsPerTimeUnit(step.unit);
    hundredths *= seconds / seconds_so_far;
    seconds_so_far = seconds;
    if (step.unit == unit) break;
  }
  return TruncToUint32(hundredths);
}

class ImageWriter {
 public:
  ImageWriter(ProgramImage& image, std::size_t at) : image_(image), at_(at) {}

  void Word(std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) Byte(static_cast<std::uint8_t>(value >> shift));
  }
  void Word(std::int32_t value) { Word(static_cast<std::uint32_t>(value)); }
  void Byte(std::uint8_t value) { image_[at_++] = value; }

 private:
  ProgramImage& image_;
  std::size_t at_;
};

class ImageReader {
 public:
  ImageReader(const ProgramImage& image, std::size_t at) : image_(image), at_(at) {}

  std::uint32_t Word() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | Byte();
    return value;
  }
  std::int32_t SignedWord() { return static_cast<std::int32_t>(Word()); }
  std::uint8_t Byte() { return image_[at_++]; }

 private:
  const ProgramImage& image_;
  std::size_t at_;
};

void WriteSegments(ImageWriter& out, const SegmentArray& segments) {
  for (const MotionSegment& segment : segments) {
    out.Word(segment.Period);
    out.Word(segment.Steps);
    out.Byte(segment.Mask);
    out.Byte(segment.Control);
  }
}

void ReadSegments(ImageReader& in, SegmentArray& segments) {
  for (MotionSegment& segment : segments) {
    segment.Period = in.Word();
    segment.Steps = in.SignedWord();
    segment.Mask = in.Byte();
    segment.Control = in.Byte();
  }
}

// Stored steps of a phase, the slow-down that the unit adds to a sinusoid's
// last segment included. 64 bits: an image read back may hold any numbers.
std::int64_t SinusoidSteps(const SegmentArray& segments, std::int64_t final_sign) {
  std::int64_t steps = 0;
  for (const MotionSegment& segment : segments) steps += segment.Steps;
  return steps + final_sign * RampLength(segments[kSegmentCount - 1].Period);
}

double RoundTo(double value, double parts) { return std::floor(value * parts + 0.5) / parts; }

}  // namespace

std::size_t SetImageBytes(const TestSet& set) {
  return IsSinusoid(set) ? kSinusoidSetBytes : kRampedSetBytes;
}

double MagnitudeMillimetres(const TestSet& set, const HardwareSettings& settings) {
  // The percentage factor in single precision, as the unit's settings hold it.
  if (set.XUnits == MeasureUnit::Percent) {
    return set.XMagnitude * (settings.MinimumSpecimenSize / 100.0f);
  }
  return set.XMagnitude;
}

std::int32_t CompileProtocol(const TestSequence& sequence, const HardwareSettings& settings,
                             DeviceSetTable& table, const TimingFunctions& timing) {
  table.fill(DeviceSet{});
  const std::size_t count = std::min(sequence.sets.size(), kSetTableSize);
  for (std::size_t i = 0; i < count; ++i) {
    const TestSet& set = sequence.sets[i];
    DeviceSet& entry = table[i];
    entry.Flags = IsSinusoid(set) ? kSetInUse | kSetSinusoid : kSetInUse;
    entry.Flags |= TimeUnitCode(set.TimeUnits) << kSetTimeUnitShift;
    entry.Repetitions = static_cast<std::uint32_t>(set.NumReps);

    const double magnitude = MagnitudeMillimetres(set, settings);
    if (set.XUnits == MeasureUnit::Percent) entry.Flags |= kSetPercentMagnitude;
    // A phase of length 0 does not move: 0 steps in 0 seconds.
    const bool stretches = set.StretchDurationSec != 0;
    CompileStretchPhase(entry, settings.MotorPitch, stretches ? magnitude : 0.0,
                        stretches ? ToSeconds(set.TimeUnits, set.StretchDurationSec) : 0.0, timing);
    const bool recovers = set.RecoveryDurationSec != 0;
    CompileRecoveryPhase(entry, settings.MotorPitch, recovers ? magnitude : 0.0,
                         recovers ? ToSeconds(set.TimeUnits, set.RecoveryDurationSec) : 0.0,
                         timing);

    entry.HoldTime = Hundredths(set.HoldTimeSec, set.TimeUnits);
    entry.RestTime = Hundredths(set.RestTimeSec, set.TimeUnits);
  }
  return static_cast<std::int32_t>(count);
}

ProgramImage EncodeProgramImage(const DeviceSetTable& table, std::int32_t count) {
  ProgramImage image{};
  const std::size_t sets = std::min<std::size_t>(std::max(count, 0), kSetTableSize);
  std::size_t at = 0;
  for (std::size_t i = 0; i < sets; ++i) {
    const DeviceSet& set = table[i];
    if (at + SetBytes(set) > kProgramImageSize) break;
    ImageWriter out(image, at);
    out.Word(set.Repetitions);
    out.Word(set.HoldTime);
    out.Word(set.RestTime);
    out.Word(set.Flags);
    if ((set.Flags & kSetSinusoid) != 0) {
      WriteSegments(out, set.StretchSegments);
      WriteSegments(out, set.RecoverySegments);
    } else {
      out.Word(set.StretchPeriod);
      out.Word(set.StretchSteps);
      out.Word(set.RecoveryPeriod);
      out.Word(set.RecoverySteps);
    }
    at += SetBytes(set);
  }
  return image;
}

std::int32_t DecodeProgramImage(const ProgramImage& image, DeviceSetTable& table) {
  table.fill(DeviceSet{});
  std::size_t count = 0;
  std::size_t at = 0;
  // Headers start at multiples of 16, so a whole header always fits.
  while (at < kProgramImageSize) {
    DeviceSet set;
    ImageReader in(image, at);
    set.Repetitions = in.Word();
    set.HoldTime = in.Word();
    set.RestTime = in.Word();
    set.Flags = in.Word();
    if ((set.Flags & kSetInUse) == 0) break;
    // Erased memory reads as all ones; no set was ever written there.
    if (set.Repetitions == kErasedWord && set.HoldTime == kErasedWord &&
        set.RestTime == kErasedWord && set.Flags == kErasedWord) {
      break;
    }
    if (at + SetBytes(set) > kProgramImageSize) break;
    if ((set.Flags & kSetSinusoid) != 0) {
      ReadSegments(in, set.StretchSegments);
      ReadSegments(in, set.RecoverySegments);
    } else {
      set.StretchPeriod = in.Word();
      set.StretchSteps = in.SignedWord();
      set.RecoveryPeriod = in.Word();
      set.RecoverySteps = in.SignedWord();
    }
    table[count++] = set;
    at += SetBytes(set);
  }
  return static_cast<std::int32_t>(count);
}

void DeviceSetsToProtocol(const DeviceSetTable& table, std::int32_t count,
                          const HardwareSettings& settings, TestSequence& sequence) {
  const double pitch = settings.MotorPitch;
  const double minimum_size = settings.MinimumSpecimenSize;

  sequence.sets.clear();
  const std::size_t sets = std::min<std::size_t>(std::max(count, 0), kSetTableSize);
  for (std::size_t i = 0; i < sets; ++i) {
    const DeviceSet& entry = table[i];
    const bool sinusoid = (entry.Flags & kSetSinusoid) != 0;
    const TimeUnit unit = TimeUnitOfCode((entry.Flags & kSetTimeUnitMask) >> kSetTimeUnitShift);
    const double unit_seconds = SecondsPerTimeUnit(unit);
    TestSet set;
    set.XFunction = sinusoid ? ControlFunction::Sinusoid : ControlFunction::Ramp;
    set.TimeUnits = unit;
    set.NumReps = static_cast<std::int32_t>(entry.Repetitions);

    const double stretch_seconds = StretchPhaseSeconds(entry);
    const double recovery_seconds = RecoveryPhaseSeconds(entry);
    const std::int64_t stretch_steps =
        sinusoid ? SinusoidSteps(entry.StretchSegments, 1) : entry.StretchSteps;
    const std::int64_t recovery_steps =
        sinusoid ? SinusoidSteps(entry.RecoverySegments, -1) : entry.RecoverySteps;
    double magnitude = 0.0;
    if ((entry.Flags & kSetPercentMagnitude) != 0) {
      set.XUnits = MeasureUnit::Percent;
      // Without a minimum specimen size there is no base for a percentage:
      // 0 rather than an infinity or NaN in the set.
      if (minimum_size != 0.0) {
        magnitude = static_cast<double>(stretch_steps) * pitch / minimum_size * 100;
      }
    } else {
      set.XUnits = MeasureUnit::Millimetre;
      magnitude = stretch_seconds != 0 ? static_cast<double>(stretch_steps) * pitch
                                       : static_cast<double>(-recovery_steps) * pitch;
    }
    set.XMagnitude = RoundTo(magnitude, 10);
    set.StretchDurationSec = RoundTo(stretch_seconds / unit_seconds, 100);
    set.RecoveryDurationSec = RoundTo(recovery_seconds / unit_seconds, 100);
    const float hold = static_cast<float>(entry.HoldTime) / 100.0f;
    const float rest = static_cast<float>(entry.RestTime) / 100.0f;
    set.HoldTimeSec = RoundTo(hold / unit_seconds, 100);
    set.RestTimeSec = RoundTo(rest / unit_seconds, 100);
    sequence.sets.push_back(set);
  }
}

std::optional<std::size_t> FirstDifference(const ProgramImage& written,
                                           const ProgramImage& read_back) {
  const auto difference = std::mismatch(written.begin(), written.end(), read_back.begin());
  if (difference.first == written.end()) return std::nullopt;
  return static_cast<std::size_t>(difference.first - written.begin());
}

double UsedMemoryPercent(const TestSequence& sequence) {
  std::size_t bytes = 0;
  for (const TestSet& set : sequence.sets) {
    bytes += SetImageBytes(set);
  }
  return RoundTo(static_cast<double>(bytes) * 100 / kProgramImageSize, 10);
}

}  // namespace stravon
