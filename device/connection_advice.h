// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "device/operation_outcome.h"
#include "device/ports/port_list.h"

namespace stravon {

// What a person can do about a port this user may not open: the udev rule
// the package installs, or joining the group that owns the node. `record`,
// when given, is the port's record, whose USB ids make the rule exact.
std::string PermissionAdvice(const std::string& path, const PortRecord* record);

// The one line (more, for the permission advice) that says why connecting to
// the unit on `path` failed, for the output pane and the command line.
// Empty for an outcome that is no connection failure.
std::string ConnectionFailureText(const std::string& path, const Outcome& outcome,
                                  const PortRecord* record = nullptr);

}  // namespace stravon
