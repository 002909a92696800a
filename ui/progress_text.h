// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace stravon {

// The remaining-time wording of a transfer's progress window: "Less than a
// second", "5 seconds remaining", "2 minutes, 1 second remaining".
std::string TimeRemainingText(double seconds);

// The text the progress window shows for `fraction` (0 to 1) of the range
// done after `elapsed_seconds`: a linear estimate (the remaining steps take
// as long each as those so far). None up to 2 % done, where there are too
// few steps to estimate from.
std::optional<std::string> RemainingTimeEstimate(double fraction, double elapsed_seconds);

// How long the unit may stay silent before the window stops estimating and
// says it is waiting: an estimate made while nothing arrives would stay
// frozen at whatever it said last.
inline constexpr double kSilenceShownAfterSeconds = 1.0;

// "Waiting for the unit: 5 s", in whole seconds.
std::string WaitingText(double silent_seconds);

// The bar's text: WaitingText once no byte has come for more than
// kSilenceShownAfterSeconds, the estimate otherwise.
std::optional<std::string> ProgressBarText(double fraction, double elapsed_seconds,
                                           double silent_seconds);

}  // namespace stravon
