// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "sim/fault.h"

namespace stravon::sim {

// Reads one fault as stravon-sim's --fault option writes it: an action and
// optional scope settings, comma-separated.
//   error=N | silence | reply=TEXT | overlong=N | split=BYTES/MS | disconnect
//   on=KIND  times=N|all  skip=N
// reply=TEXT gets a carriage return added. False, with `error` set to what
// did not read, when the text is not a fault.
bool ParseFault(std::string_view text, Fault* fault, std::string* error);

// The whole text as a decimal number within [min, max] (stravon-sim's other
// numeric options read the same way).
bool ParseInteger(std::string_view text, long long min, long long max, long long* value);

}  // namespace stravon::sim
