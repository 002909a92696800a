// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "device/operation_outcome.h"
#include "device/ports/port_list.h"

namespace stravon {

// Where Stravon's udev rule is installed on this computer; empty when it is
// not (looked for where the package, an install from source and an
// administrator put it).
std::string InstalledUdevRule();

// What a person can do about a port this user may not open: the udev rule,
// when it is not installed yet (a rule of one's own is named so that it does
// not hide the packaged one), or joining the group that owns the node; and
// that the rule serves the person at the computer's own seat only.
// `record`, when given, is the port's record, whose USB ids make the rule
// exact.
std::string PermissionAdvice(const std::string& path, const PortRecord* record,
                             const std::string& installed_rule = InstalledUdevRule());

// The one line (more, for the permission advice) that says why connecting to
// the unit on `path` failed, for the output pane and the command line.
// Empty for an outcome that is no connection failure.
std::string ConnectionFailureText(const std::string& path, const Outcome& outcome,
                                  const PortRecord* record = nullptr);

}  // namespace stravon
