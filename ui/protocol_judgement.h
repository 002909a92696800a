// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "device/hardware_settings.h"
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
struct ProtocolJudgement {
  bool committable = false;
  std::string refusal;  // the commit check's message when it refuses

  // One entry per set: the editor's findings, each one "Error:  " text with
  // its line break; empty when the editor would accept the set.
  std::vector<std::vector<std::string>> set_warnings;

  bool HasWarnings() const;
  // "Set 2: Error:  ..." for every finding, in set order, without the final
  // line break.
  std::vector<std::string> WarningLines() const;
};

ProtocolJudgement JudgeProtocol(const TestSequence& sequence, const HardwareSettings& settings);

// The set with its magnitude in the millimetres the unit will move; a percent
// magnitude is converted as the program image converts it.
TestSet AsTheUnitRunsIt(const TestSet& set, const HardwareSettings& settings);

// The findings of the set editor on `set` opened and accepted as it is.
std::vector<std::string> SetEditorFindings(const TestSet& set, const HardwareSettings& settings);

}  // namespace stravon
