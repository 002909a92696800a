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

}  // namespace stravon
