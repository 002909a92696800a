// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "device/hardware_settings.h"
#include "protocol/finding.h"
#include "protocol/test_sequence.h"
#include "protocol/test_set.h"

namespace stravon {

// A protocol judged against the hardware settings it will run with, the same
// way for every front end that takes a protocol it did not compose itself (a
// file, a script).
//
// The commit check of the stage (stretch positions against the travel soft
// limit, memory, sets the unit cannot run) refuses. The set editor's checks,
// run on each set as the unit will run it, only warn: the set was not edited
// here, and the unit does run it, taking longer where the motor cannot keep
// up. A phase the unit would run shorter than composed is one of them.
//
// A set in percent of a minimum specimen size of 0 warns too.
//
// The commit check's findings come first, then each set's, in set order.
std::vector<Finding> JudgeProtocol(const TestSequence& sequence, const HardwareSettings& settings);

// Whether any finding refuses / only warns.
bool Refuses(const std::vector<Finding>& findings);
bool Warns(const std::vector<Finding>& findings);

// The set with its magnitude in the millimetres the unit will move; a percent
// magnitude is converted as the program image converts it.
TestSet AsTheUnitRunsIt(const TestSet& set, const HardwareSettings& settings);

// The findings of the set editor on `set` opened and accepted as it is, each
// refusing: a value its field cannot show as a number, a function or time
// unit its lists do not offer, then its checks.
std::vector<Finding> SetEditorFindings(const TestSet& set, const HardwareSettings& settings);

}  // namespace stravon
