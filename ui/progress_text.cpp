// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progress_text.h"

#include <cmath>
#include <string>

namespace stravon {
namespace {

constexpr double kEstimateThreshold = 0.02;
// Keeps the whole minutes within an int for any estimate (an early, slow
// step can make one huge).
constexpr double kLongestEstimate = 1e9;

std::string Count(long long n, const char* unit) {
  return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
}

}  // namespace

std::string TimeRemainingText(double seconds) {
  if (!(seconds >= 0.0)) seconds = 0.0;  // NaN too
  if (seconds > kLongestEstimate) seconds = kLongestEstimate;
  const auto secs = static_cast<long long>(std::fmod(seconds, 60.0));
  if (seconds >= 60.0) {
    const auto minutes = static_cast<long long>(seconds / 60.0);
    return Count(minutes, "minute") + ", " + Count(secs, "second") + " remaining";
  }
  if (secs >= 1) return Count(secs, "second") + " remaining";
  return "Less than a second";
}

std::optional<std::string> RemainingTimeEstimate(double fraction, double elapsed_seconds) {
  if (!(fraction > kEstimateThreshold)) return std::nullopt;
  return TimeRemainingText(elapsed_seconds / fraction * (1.0 - fraction));
}

std::string WaitingText(double silent_seconds) {
  if (!(silent_seconds >= 0.0)) silent_seconds = 0.0;
  if (silent_seconds > kLongestEstimate) silent_seconds = kLongestEstimate;
  return "Waiting for the unit: " + std::to_string(static_cast<long long>(silent_seconds)) + " s";
}

std::optional<std::string> ProgressBarText(double fraction, double elapsed_seconds,
                                           double silent_seconds) {
  if (silent_seconds > kSilenceShownAfterSeconds) return WaitingText(silent_seconds);
  return RemainingTimeEstimate(fraction, elapsed_seconds);
}

}  // namespace stravon
