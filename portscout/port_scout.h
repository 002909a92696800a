// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "device/ports/port_list.h"

namespace stravon {

// The decimal integer at the start of `text`: blanks skipped, an optional
// sign, digits up to the first other character; 0 without digits. Values
// beyond the 32-bit range saturate instead of wrapping.
std::int32_t ReadLeadingInteger(std::string_view text);

// Values of the answers to the variant queries 4 and 6; 0 where a query
// failed (port not opened, write or read failed, time-out, over-long answer).
struct VariantAnswers {
  std::int32_t a4 = 0;
  std::int32_t a6 = 0;
};

// Opens the port's device node at `path` keeping the system's line settings,
// sends both queries (always both), reads each answer with `read_timeout_ms`
// per byte, closes.
VariantAnswers QueryController(const std::string& path, int read_timeout_ms);

using ControllerQuery = std::function<VariantAnswers(const std::string& port_name)>;

// The result code for `device_type` on the port list; `query` is called at
// most once, and only where the rules need the controller's answers.
std::int32_t ClassifyPorts(std::int32_t device_type, const std::vector<PortRecord>& ports,
                           const ControllerQuery& query);

// One run: the device type from argv[1] (missing: an unknown type), the port
// list, the classification. Returns the result code; prints nothing.
std::int32_t RunPortScout(int argc, const char* const* argv);

}  // namespace stravon
