// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "device/hardware_settings.h"
#include "device/program_image.h"
#include "protocol/test_sequence.h"

namespace stravon {

enum class ProfilePhaseKind { Stretch, Hold, Recovery, Rest };

// Lower-case name of a phase: "stretch", "hold", "recovery", "rest".
const char* ProfilePhaseName(ProfilePhaseKind kind);

// One phase of one repetition of a set, as the unit runs it. Times are
// seconds from the start of the repetition, positions motor steps from the
// position the repetition starts at.
struct ProfilePhase {
  ProfilePhaseKind kind = ProfilePhaseKind::Hold;
  double start = 0.0;
  double seconds = 0.0;   // what the unit takes
  double intended = 0.0;  // what was composed
  std::int64_t start_steps = 0;
  std::int64_t steps = 0;  // signed: positive stretches
  // Whether the motor cannot make the phase in the composed time.
  bool late = false;
  // The phase's pieces: first index and count in the profile's piece list.
  std::size_t first_piece = 0;
  std::size_t piece_count = 0;
};

// One set: its phases once, repeated `repetitions` times. Each repetition
// starts `drift_steps` further on than the one before, since a set that only
// stretches (or only recovers) does not come back.
struct ProfileSet {
  int number = 0;  // 1 for the first set
  std::uint32_t repetitions = 0;
  double start = 0.0;  // seconds from the start of the protocol
  double cycle_seconds = 0.0;
  // Held as a double: a million repetitions of a set that does not come back
  // may pass any integer, and the sum needs no exactness beyond 2^53 steps.
  double start_steps = 0.0;
  std::int64_t drift_steps = 0;
  // Lowest and highest position within one repetition, from its start.
  std::int64_t low_steps = 0;
  std::int64_t high_steps = 0;
  bool any_late = false;
  std::size_t first_phase = 0;  // four phases: stretch, hold, recovery, rest
};

// A stretch of one phase in which the step rate follows one rule: a cruise
// at constant period, or a speed-up or slow-down along ramp entries
// ramp_first + 1 ... ramp_first + ramp_count.
struct ProfilePiece {
  enum class Shape : std::uint8_t { Cruise, SpeedUp, SlowDown };
  Shape shape = Shape::Cruise;
  std::uint16_t ramp_first = 0;
  std::uint16_t ramp_count = 0;
  double start = 0.0;  // seconds from the start of the phase
  double seconds = 0.0;
  std::int64_t start_steps = 0;  // from the start of the phase, signed
  std::int64_t steps = 0;
};

// Lowest and highest position over one column of a time window; `covered`
// is false for a column outside the protocol.
struct ProfileColumn {
  bool covered = false;
  double low_mm = 0.0;
  double high_mm = 0.0;
  bool late = false;  // a phase in the column runs longer than composed
};

// Where a point in time falls.
struct ProfileLocation {
  std::size_t set = 0;  // index into Sets()
  std::uint32_t repetition = 0;
  std::size_t phase = 0;  // index into Phases()
};

// What the unit does with a compiled protocol, position over time, held as
// one description per set and phase and repeated by count: its size and the
// cost of evaluating it do not depend on the repetitions.
class MotionProfile {
 public:
  MotionProfile() = default;
  // `intended` gives the composed seconds of each set's stretch, hold,
  // recovery and rest; missing entries count as what the unit takes.
  MotionProfile(const DeviceSetTable& table, std::int32_t count, float pitch,
                const std::vector<std::array<double, 4>>& intended = {});

  float Pitch() const { return pitch_; }
  double Duration() const { return duration_; }
  const std::vector<ProfileSet>& Sets() const { return sets_; }
  const std::vector<ProfilePhase>& Phases() const { return phases_; }
  const std::vector<ProfilePiece>& Pieces() const { return pieces_; }
  // The four phases of a set.
  const ProfilePhase& PhaseOf(const ProfileSet& set, ProfilePhaseKind kind) const;

  // Extremes over the whole protocol, in mm (0 for an empty one).
  double LowestMm() const;
  double HighestMm() const;
  bool AnyLate() const;

  // Position at `seconds` from the start; before the start 0, after the end
  // the final position.
  double PositionMm(double seconds) const;
  std::optional<ProfileLocation> Locate(double seconds) const;

  // Lowest and highest position in each of `columns` equal columns of
  // [from, to]. The cost per column does not grow with the repetitions.
  std::vector<ProfileColumn> Evaluate(double from, double to, int columns) const;
  // Lowest and highest position over [from, to] within the protocol.
  ProfileColumn Range(double from, double to) const;

  // The points between which the position runs straight, in time order:
  // every phase boundary and, within a ramp, every ramp entry. `visit`
  // returns false to stop early.
  void ForEachBreakpoint(const std::function<bool(double seconds, double mm)>& visit) const;

 private:
  double Mm(double steps) const;
  // Steps from the phase's start at `t` seconds into it.
  double PhaseStepsAt(const ProfilePhase& phase, double t) const;
  double PieceStepsAt(const ProfilePiece& piece, double t) const;
  // Extremes over [from, to] in seconds from the start of one repetition.
  void RepetitionRange(const ProfileSet& set, double from, double to, double& low, double& high,
                       bool& late) const;
  std::size_t SetAt(double seconds) const;

  float pitch_ = 0.0f;
  double duration_ = 0.0;
  double final_steps_ = 0.0;
  std::vector<ProfileSet> sets_;
  std::vector<ProfilePhase> phases_;
  std::vector<ProfilePiece> pieces_;
};

// The composed seconds of each set's stretch, hold, recovery and rest.
std::vector<std::array<double, 4>> IntendedSeconds(const TestSequence& sequence);

// Compiles the sequence as Program Device does and profiles the result.
MotionProfile BuildMotionProfile(const TestSequence& sequence, const HardwareSettings& settings);

}  // namespace stravon
