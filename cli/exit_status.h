// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stravon::cli {

// What scripts can rely on: 0 done, 1 failed (one message on standard error),
// 2 the command line was not understood.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

}  // namespace stravon::cli
