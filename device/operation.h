// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace stravon {

// The operations the device worker carries out, by the unit's own operation
// codes; an outcome names the one it answers.
enum class Operation : std::int32_t {
  kNone = 0,
  kReadDevice = 1,
  kProgramDevice = 2,
  kJogPlus = 3,   // repeats until replaced
  kJogMinus = 4,  // repeats until replaced
  kJogStop = 5,   // repeats until replaced
  kMove = 6,
  kProgramHardwareSettings = 8,
  kEnd = 9,
};

}  // namespace stravon
