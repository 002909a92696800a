// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/motion_profile.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "device/motion_timing.h"
#include "device/phase_compiler.h"

namespace stravon {
namespace {

// The set editor accepts a phase up to this much over its composed length;
// the preview calls late only what the editor would refuse.
constexpr double kLateTolerance = 0.005;

std::uint32_t Distance(std::uint32_t a, std::uint32_t b) { return a > b ? a - b : b - a; }

double Cruise(std::uint32_t count, std::uint32_t period) {
  return static_cast<double>(count) * (static_cast<double>(period) / kTimerHz);
}

std::uint16_t Entries(std::uint32_t count) {
  return static_cast<std::uint16_t>(std::min<std::uint32_t>(count, kRampTableSize));
}

// Seconds from the start of a speed-up over entries first+1 ... first+j.
double RampElapsed(std::uint32_t first, std::uint32_t j) {
  return RampSum(0, first + j) - RampSum(0, first);
}

// Pieces of one motion segment of |n| steps, as PhaseDuration times it: the
// same branches, with each ramp term and the cruise term as a piece. Steps
// are handed out so that they add up to n, where the unit's arithmetic counts
// its ramps past the segment's steps.
struct RawPiece {
  ProfilePiece::Shape shape;
  std::uint32_t first;
  std::uint32_t count;
  double seconds;
  std::uint32_t steps;
};

std::vector<RawPiece> SegmentPieces(std::uint32_t n, std::uint32_t w, std::uint32_t a, bool stop) {
  using Shape = ProfilePiece::Shape;
  const RampTableArray& table = RampTable();
  std::vector<RawPiece> out;
  if (a == 0) {
    if (w > kSlowestRampPeriod) return {{Shape::Cruise, 0, 0, Cruise(n, w), n}};
    std::uint32_t ramp = RampLength(w);
    if (stop) {
      const std::uint32_t half = n / 2;
      if (ramp > half) {
        ramp = half;
        w = table[half / 2];
      }
      const double ramp_seconds = 2.0 * RampSum(0, ramp / 2);
      return {{Shape::SpeedUp, 0, ramp / 2, ramp_seconds, ramp},
              {Shape::Cruise, 0, 0, Cruise(n - 2 * ramp, w), n - 2 * ramp},
              {Shape::SlowDown, 0, ramp / 2, ramp_seconds, ramp}};
    }
    if (ramp > n) {
      ramp = n;
      w = table[n / 2];
    }
    return {{Shape::SpeedUp, 0, ramp / 2, 2.0 * RampSum(0, ramp / 2), ramp},
            {Shape::Cruise, 0, 0, Cruise(n - ramp, w), n - ramp}};
  }

  std::uint32_t kw = RampLength(w);
  const std::uint32_t ka = RampLength(a);
  std::uint32_t lo = std::min(kw, ka) / 2;
  if (!stop) {
    std::uint32_t change = Distance(kw, ka);
    if (change == 0) return {{Shape::Cruise, 0, 0, Cruise(n, w), n}};
    // A longer ramp is a faster period.
    const Shape shape = kw > ka ? Shape::SpeedUp : Shape::SlowDown;
    if (change > n) {
      w = w > a ? table[(ka - n) / 2] : table[n / 2 + lo];
      change = n;
    }
    return {{shape, lo, change / 2, 2.0 * RampSum(lo, change / 2), change},
            {Shape::Cruise, 0, 0, Cruise(n - change, w), n - change}};
  }

  if (ka == 0) return {{Shape::Cruise, 0, 0, Cruise(n, w), n}};
  std::uint32_t slow_down = ka;
  if (w > a && ka > n) {
    w = w + 1;
    kw = RampLength(w);
    slow_down = Distance(kw, ka) + kw;
    lo = std::min(kw, ka) / 2;
  }
  // From the previous period to this one, cruise, then down to rest; the
  // final slow-down's steps come first out of n.
  const std::uint32_t stop_steps = std::min(kw, n);
  const std::uint32_t change_steps = std::min(Distance(kw, ka), n - stop_steps);
  const std::uint32_t cruise_count = slow_down > n ? 0 : n - slow_down;
  const Shape shape = kw > ka ? Shape::SpeedUp : Shape::SlowDown;
  out.push_back({shape, lo, Distance(kw, ka) / 2, 2.0 * RampSum(lo, slow_down / 2), change_steps});
  out.push_back({Shape::Cruise, 0, 0, Cruise(cruise_count, w), n - stop_steps - change_steps});
  out.push_back({Shape::SlowDown, 0, kw / 2, 2.0 * RampSum(0, kw / 2), stop_steps});
  return out;
}

// One motion segment as the unit runs it.
struct Segment {
  std::int32_t steps;
  std::uint32_t period;
};

}  // namespace

const char* ProfilePhaseName(ProfilePhaseKind kind) {
  switch (kind) {
    case ProfilePhaseKind::Stretch:
      return "stretch";
    case ProfilePhaseKind::Hold:
      return "hold";
    case ProfilePhaseKind::Recovery:
      return "recovery";
    case ProfilePhaseKind::Rest:
      return "rest";
  }
  return "";
}

namespace {

// The segments of a stored phase with the steps the unit really moves: a
// sinusoid's last segment is stored without its slow-down.
std::vector<Segment> PhaseSegments(const DeviceSet& set, bool stretch) {
  if ((set.Flags & kSetSinusoid) == 0) {
    return {stretch ? Segment{set.StretchSteps, set.StretchPeriod}
                    : Segment{set.RecoverySteps, set.RecoveryPeriod}};
  }
  const SegmentArray& stored = stretch ? set.StretchSegments : set.RecoverySegments;
  std::vector<Segment> segments;
  for (std::size_t i = 0; i < kSegmentCount; ++i) {
    std::int64_t steps = stored[i].Steps;
    if (i == kSegmentCount - 1) {
      const std::int64_t ramp = RampLength(stored[i].Period);
      steps += stretch ? ramp : -ramp;
    }
    steps = std::clamp<std::int64_t>(steps, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max());
    segments.push_back({static_cast<std::int32_t>(steps), stored[i].Period});
  }
  return segments;
}

}  // namespace

MotionProfile::MotionProfile(const DeviceSetTable& table, std::int32_t count, float pitch,
                             const std::vector<std::array<double, 4>>& intended)
    : pitch_(pitch) {
  const std::size_t sets = std::min<std::size_t>(std::max(count, 0), kSetTableSize);
  double clock = 0.0;
  double position = 0.0;
  for (std::size_t i = 0; i < sets; ++i) {
    const DeviceSet& device_set = table[i];
    ProfileSet set;
    set.number = static_cast<int>(i) + 1;
    set.repetitions = device_set.Repetitions;
    set.start = clock;
    set.start_steps = position;
    set.first_phase = phases_.size();

    double at = 0.0;
    std::int64_t steps_at = 0;
    const auto add_phase = [&](ProfilePhaseKind kind, double seconds, std::int64_t steps,
                               std::size_t first_piece) {
      ProfilePhase phase;
      phase.kind = kind;
      phase.start = at;
      phase.seconds = seconds;
      const std::size_t slot = static_cast<std::size_t>(kind);
      phase.intended = i < intended.size() ? intended[i][slot] : seconds;
      phase.start_steps = steps_at;
      phase.steps = steps;
      phase.first_piece = first_piece;
      phase.piece_count = pieces_.size() - first_piece;
      const bool motion = kind == ProfilePhaseKind::Stretch || kind == ProfilePhaseKind::Recovery;
      phase.late = motion && seconds > phase.intended + kLateTolerance;
      set.any_late = set.any_late || phase.late;
      phases_.push_back(phase);
      at += seconds;
      steps_at += steps;
      set.low_steps = std::min(set.low_steps, steps_at);
      set.high_steps = std::max(set.high_steps, steps_at);
    };
    const auto add_motion = [&](ProfilePhaseKind kind, bool stretch) {
      const std::size_t first_piece = pieces_.size();
      double seconds = 0.0;
      std::int64_t steps = 0;
      std::uint32_t previous_period = 0;
      const std::vector<Segment> segments = PhaseSegments(device_set, stretch);
      for (std::size_t s = 0; s < segments.size(); ++s) {
        const bool last = s + 1 == segments.size();
        const Segment& segment = segments[s];
        std::uint32_t reached = segment.period;
        bool limited = false;
        const double segment_seconds =
            PhaseDuration(segment.steps, reached, limited, previous_period, last);
        std::vector<RawPiece> raw =
            SegmentPieces(StepCount(segment.steps), segment.period, previous_period, last);
        // A ramp term over no steps of its own is time the segment spends
        // cruising.
        for (RawPiece& piece : raw) {
          if (piece.steps != 0 || piece.seconds == 0.0) continue;
          for (RawPiece& other : raw) {
            if (other.shape == ProfilePiece::Shape::Cruise && other.steps != 0) {
              other.seconds += piece.seconds;
              piece.seconds = 0.0;
              break;
            }
          }
        }
        double raw_seconds = 0.0;
        for (const RawPiece& piece : raw) raw_seconds += piece.seconds;
        // Piece times follow the segment's duration exactly.
        const double scale = raw_seconds > 0.0 ? segment_seconds / raw_seconds : 0.0;
        const std::int64_t sign = segment.steps < 0 ? -1 : 1;
        double piece_start = seconds;
        for (const RawPiece& piece : raw) {
          if (piece.steps == 0 && piece.seconds == 0.0) continue;
          ProfilePiece out;
          out.shape = piece.count == 0 ? ProfilePiece::Shape::Cruise : piece.shape;
          out.ramp_first = Entries(piece.first);
          out.ramp_count =
              Entries(std::min<std::uint32_t>(piece.count, 410 - std::min(piece.first, 410u)));
          if (out.ramp_count == 0) out.shape = ProfilePiece::Shape::Cruise;
          out.start = piece_start;
          out.seconds = piece.seconds * scale;
          out.start_steps = steps;
          out.steps = sign * static_cast<std::int64_t>(piece.steps);
          pieces_.push_back(out);
          piece_start += out.seconds;
          steps += out.steps;
        }
        seconds += segment_seconds;
        previous_period = reached;
      }
      add_phase(kind, seconds, steps, first_piece);
    };

    add_motion(ProfilePhaseKind::Stretch, true);
    add_phase(ProfilePhaseKind::Hold, device_set.HoldTime / 100.0, 0, pieces_.size());
    add_motion(ProfilePhaseKind::Recovery, false);
    add_phase(ProfilePhaseKind::Rest, device_set.RestTime / 100.0, 0, pieces_.size());

    set.cycle_seconds = at;
    set.drift_steps = steps_at;
    clock += at * set.repetitions;
    position += static_cast<double>(steps_at) * set.repetitions;
    sets_.push_back(set);
  }
  duration_ = clock;
  final_steps_ = position;
}

const ProfilePhase& MotionProfile::PhaseOf(const ProfileSet& set, ProfilePhaseKind kind) const {
  return phases_[set.first_phase + static_cast<std::size_t>(kind)];
}

double MotionProfile::Mm(double steps) const { return steps * static_cast<double>(pitch_); }

double MotionProfile::LowestMm() const {
  double low = 0.0;
  for (const ProfileSet& set : sets_) {
    if (set.repetitions == 0) continue;
    const double last = static_cast<double>(set.repetitions - 1) * set.drift_steps;
    low = std::min(low, set.start_steps + std::min(0.0, last) + set.low_steps);
  }
  return Mm(low);
}

double MotionProfile::HighestMm() const {
  double high = 0.0;
  for (const ProfileSet& set : sets_) {
    if (set.repetitions == 0) continue;
    const double last = static_cast<double>(set.repetitions - 1) * set.drift_steps;
    high = std::max(high, set.start_steps + std::max(0.0, last) + set.high_steps);
  }
  return Mm(high);
}

bool MotionProfile::AnyLate() const {
  return std::any_of(sets_.begin(), sets_.end(),
                     [](const ProfileSet& set) { return set.any_late && set.repetitions > 0; });
}

double MotionProfile::PieceStepsAt(const ProfilePiece& piece, double t) const {
  const double total = static_cast<double>(piece.steps);
  if (!(piece.seconds > 0.0)) return total;
  const double u = std::clamp(t / piece.seconds, 0.0, 1.0);
  if (piece.shape == ProfilePiece::Shape::Cruise) return total * u;
  // A slow-down is a speed-up over the same entries, run backwards in time.
  const bool down = piece.shape == ProfilePiece::Shape::SlowDown;
  const std::uint32_t first = piece.ramp_first;
  const std::uint32_t m = piece.ramp_count;
  const double span = RampElapsed(first, m);
  const double target = (down ? 1.0 - u : u) * span;
  // The last entry boundary at or before the target time.
  std::uint32_t lo = 0;
  std::uint32_t hi = m;
  while (hi - lo > 1) {
    const std::uint32_t mid = lo + (hi - lo) / 2;
    if (RampElapsed(first, mid) <= target) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  const double entry_start = RampElapsed(first, lo);
  const double entry_seconds = RampElapsed(first, lo + 1) - entry_start;
  const double within =
      entry_seconds > 0.0 ? std::clamp((target - entry_start) / entry_seconds, 0.0, 1.0) : 1.0;
  const double fraction = (static_cast<double>(lo) + within) / static_cast<double>(m);
  return total * (down ? 1.0 - fraction : fraction);
}

double MotionProfile::PhaseStepsAt(const ProfilePhase& phase, double t) const {
  if (phase.piece_count == 0 || t >= phase.seconds) return static_cast<double>(phase.steps);
  if (t <= 0.0) return 0.0;
  const auto begin = pieces_.begin() + static_cast<std::ptrdiff_t>(phase.first_piece);
  const auto end = begin + static_cast<std::ptrdiff_t>(phase.piece_count);
  // The last piece that starts at or before t.
  auto it = std::upper_bound(begin, end, t,
                             [](double value, const ProfilePiece& p) { return value < p.start; });
  if (it != begin) --it;
  return static_cast<double>(it->start_steps) + PieceStepsAt(*it, t - it->start);
}

std::size_t MotionProfile::SetAt(double seconds) const {
  // The last set that starts at or before `seconds`.
  auto it = std::upper_bound(sets_.begin(), sets_.end(), seconds,
                             [](double value, const ProfileSet& s) { return value < s.start; });
  if (it != sets_.begin()) --it;
  return static_cast<std::size_t>(it - sets_.begin());
}

std::optional<ProfileLocation> MotionProfile::Locate(double seconds) const {
  if (sets_.empty() || seconds < 0.0 || seconds > duration_) return std::nullopt;
  std::size_t index = SetAt(seconds);
  // Skip sets that take no time.
  while (index + 1 < sets_.size() &&
         sets_[index].cycle_seconds * sets_[index].repetitions <= seconds - sets_[index].start &&
         sets_[index + 1].start <= seconds) {
    ++index;
  }
  const ProfileSet& set = sets_[index];
  ProfileLocation location{index, 0, set.first_phase};
  if (set.repetitions == 0 || !(set.cycle_seconds > 0.0)) return location;
  const double local = seconds - set.start;
  const double rep = std::floor(local / set.cycle_seconds);
  location.repetition =
      static_cast<std::uint32_t>(std::clamp(rep, 0.0, static_cast<double>(set.repetitions - 1)));
  const double within = local - location.repetition * set.cycle_seconds;
  for (std::size_t k = 0; k < 4; ++k) {
    const ProfilePhase& phase = phases_[set.first_phase + k];
    location.phase = set.first_phase + k;
    if (within < phase.start + phase.seconds) break;
  }
  return location;
}

double MotionProfile::PositionMm(double seconds) const {
  if (sets_.empty() || seconds <= 0.0) return 0.0;
  if (seconds >= duration_) return Mm(final_steps_);
  const std::optional<ProfileLocation> where = Locate(seconds);
  if (!where) return Mm(final_steps_);
  const ProfileSet& set = sets_[where->set];
  const ProfilePhase& phase = phases_[where->phase];
  const double within = seconds - set.start - where->repetition * set.cycle_seconds - phase.start;
  const double steps =
      set.start_steps +
      static_cast<double>(where->repetition) * static_cast<double>(set.drift_steps) +
      static_cast<double>(phase.start_steps) + PhaseStepsAt(phase, within);
  return steps * static_cast<double>(pitch_);
}

void MotionProfile::RepetitionRange(const ProfileSet& set, double from, double to, double& low,
                                    double& high, bool& late) const {
  for (std::size_t k = 0; k < 4; ++k) {
    const ProfilePhase& phase = phases_[set.first_phase + k];
    const double end = phase.start + phase.seconds;
    if (phase.start > to || end < from) continue;
    // Every phase moves one way only, so its extremes lie at the ends of the
    // part inside the window.
    const double a = std::max(from, phase.start) - phase.start;
    const double b = std::min(to, end) - phase.start;
    const double base = static_cast<double>(phase.start_steps);
    const double first = phase.seconds > 0.0 ? base + PhaseStepsAt(phase, a) : base;
    const double second = base + PhaseStepsAt(phase, b);
    low = std::min({low, first, second});
    high = std::max({high, first, second});
    if (phase.late && (b > a || phase.seconds == 0.0)) late = true;
  }
}

ProfileColumn MotionProfile::Range(double from, double to) const {
  ProfileColumn column;
  from = std::max(from, 0.0);
  to = std::min(to, duration_);
  if (sets_.empty() || !(from <= to)) return column;
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  bool late = false;
  for (std::size_t i = SetAt(from); i < sets_.size() && sets_[i].start <= to; ++i) {
    const ProfileSet& set = sets_[i];
    if (set.repetitions == 0) continue;
    const double length = set.cycle_seconds * set.repetitions;
    const double local_from = std::max(from - set.start, 0.0);
    const double local_to = std::min(to - set.start, length);
    if (local_from > local_to) continue;
    const double start = set.start_steps;
    const double drift = static_cast<double>(set.drift_steps);
    const double last = static_cast<double>(set.repetitions - 1);
    const auto rep_of = [&](double t) {
      if (!(set.cycle_seconds > 0.0)) return 0.0;
      return std::clamp(std::floor(t / set.cycle_seconds), 0.0, last);
    };
    double k0 = rep_of(local_from);
    double k1 = rep_of(local_to);
    if (!(set.cycle_seconds > 0.0)) k1 = last;  // every repetition at one instant
    const auto partial = [&](double k, double a, double b) {
      double rep_low = std::numeric_limits<double>::infinity();
      double rep_high = -rep_low;
      RepetitionRange(set, a, b, rep_low, rep_high, late);
      const double base = start + k * drift;
      low = std::min(low, base + rep_low);
      high = std::max(high, base + rep_high);
    };
    const double cycle = set.cycle_seconds;
    if (k0 == k1) {
      partial(k0, local_from - k0 * cycle, local_to - k0 * cycle);
      continue;
    }
    partial(k0, local_from - k0 * cycle, cycle);
    partial(k1, 0.0, local_to - k1 * cycle);
    if (k1 - k0 >= 2) {
      // Whole repetitions between: their extremes move by the drift.
      const double first = start + (k0 + 1) * drift;
      const double final = start + (k1 - 1) * drift;
      low = std::min(low, std::min(first, final) + static_cast<double>(set.low_steps));
      high = std::max(high, std::max(first, final) + static_cast<double>(set.high_steps));
      late = late || set.any_late;
    }
  }
  if (low > high) return column;
  column.covered = true;
  column.low_mm = low * static_cast<double>(pitch_);
  column.high_mm = high * static_cast<double>(pitch_);
  column.late = late;
  return column;
}

std::vector<ProfileColumn> MotionProfile::Evaluate(double from, double to, int columns) const {
  std::vector<ProfileColumn> out;
  if (columns <= 0) return out;
  out.reserve(static_cast<std::size_t>(columns));
  const double width = (to - from) / columns;
  for (int c = 0; c < columns; ++c) {
    out.push_back(Range(from + c * width, from + (c + 1) * width));
  }
  return out;
}

void MotionProfile::ForEachBreakpoint(
    const std::function<bool(double seconds, double mm)>& visit) const {
  double last_t = std::numeric_limits<double>::quiet_NaN();
  double last_mm = last_t;
  bool more = true;
  const auto emit = [&](double t, double steps) {
    if (!more) return;
    const double mm = steps * static_cast<double>(pitch_);
    // The end of one phase and the start of the next are worked out along
    // different paths; the same point twice differs only by rounding.
    const double close = 1e-12 * std::max(1.0, std::fabs(t));
    if (std::fabs(t - last_t) <= close && std::fabs(mm - last_mm) <= 1e-12) return;
    last_t = t;
    last_mm = mm;
    more = visit(t, mm);
  };
  emit(0.0, 0.0);
  for (const ProfileSet& set : sets_) {
    for (std::uint32_t k = 0; k < set.repetitions && more; ++k) {
      const double rep_start = set.start + k * set.cycle_seconds;
      const double base =
          set.start_steps + static_cast<double>(k) * static_cast<double>(set.drift_steps);
      for (std::size_t p = 0; p < 4 && more; ++p) {
        const ProfilePhase& phase = phases_[set.first_phase + p];
        const double phase_start = rep_start + phase.start;
        const double phase_base = base + static_cast<double>(phase.start_steps);
        emit(phase_start, phase_base);
        for (std::size_t q = 0; q < phase.piece_count && more; ++q) {
          const ProfilePiece& piece = pieces_[phase.first_piece + q];
          const double piece_start = phase_start + piece.start;
          const double piece_base = phase_base + static_cast<double>(piece.start_steps);
          emit(piece_start, piece_base);
          if (piece.shape == ProfilePiece::Shape::Cruise) continue;
          // Every ramp entry is a straight stretch of its own.
          const double span = RampElapsed(piece.ramp_first, piece.ramp_count);
          for (std::uint32_t j = 1; j < piece.ramp_count && more; ++j) {
            const bool down = piece.shape == ProfilePiece::Shape::SlowDown;
            const double elapsed = down ? span - RampElapsed(piece.ramp_first, piece.ramp_count - j)
                                        : RampElapsed(piece.ramp_first, j);
            const double t = span > 0.0 ? elapsed / span * piece.seconds : 0.0;
            emit(piece_start + t, piece_base + PieceStepsAt(piece, t));
          }
        }
        emit(phase_start + phase.seconds, phase_base + static_cast<double>(phase.steps));
      }
    }
  }
  if (more) emit(duration_, final_steps_);
}

std::vector<std::array<double, 4>> IntendedSeconds(const TestSequence& sequence) {
  std::vector<std::array<double, 4>> out;
  for (const TestSet& set : sequence.sets) {
    out.push_back({ToSeconds(set.TimeUnits, set.StretchDurationSec),
                   ToSeconds(set.TimeUnits, set.HoldTimeSec),
                   ToSeconds(set.TimeUnits, set.RecoveryDurationSec),
                   ToSeconds(set.TimeUnits, set.RestTimeSec)});
  }
  return out;
}

MotionProfile BuildMotionProfile(const TestSequence& sequence, const HardwareSettings& settings) {
  DeviceSetTable table;
  const std::int32_t count = CompileProtocol(sequence, settings, table);
  return MotionProfile(table, count, settings.MotorPitch, IntendedSeconds(sequence));
}

}  // namespace stravon
