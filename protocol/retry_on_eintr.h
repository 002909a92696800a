// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cerrno>

namespace stravon {

// Calls `call` (a system call returning -1 with errno on failure) again for as
// long as it is interrupted by a signal, and returns its first other result.
// errno is left as the call set it.
template <typename Call>
auto RetryOnEintr(Call&& call) {
  for (;;) {
    const auto result = call();
    if (!(result == -1 && errno == EINTR)) return result;
  }
}

}  // namespace stravon
