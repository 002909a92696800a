// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>

namespace stravon::fuzz {

// A property that failed: printed and aborted, so that both the fuzzer and a
// corpus replay stop on it with the input that caused it.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz property failed: %s\n", what);
  std::abort();
}

inline void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

}  // namespace stravon::fuzz
