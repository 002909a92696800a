// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace stravon {

// What the interface thread asks the device worker to do next. The values are
// the unit's own operation codes; any other value is ignored by the worker.
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

// Carried out once, then the code goes back to kNone.
constexpr bool IsOneShot(Operation operation) {
  return operation == Operation::kReadDevice || operation == Operation::kProgramDevice ||
         operation == Operation::kMove || operation == Operation::kProgramHardwareSettings;
}

// Carried out again and again while the code stays.
constexpr bool IsRepeating(Operation operation) {
  return operation == Operation::kJogPlus || operation == Operation::kJogMinus ||
         operation == Operation::kJogStop;
}

}  // namespace stravon
