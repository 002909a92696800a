// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/finding.h"

namespace stravon {

// The one place findings become the texts a person reads, for message boxes,
// the output pane and the command line alike.

// A finding as a message box shows it: "Error:  ..." with its line break (a
// few texts of the stage have none); a set editor's field that holds no
// valid entry as its label and prompt ("Stretch Magnitude: Enter a number.");
// a file diagnostic as "line N: ...".
std::string FindingText(const Finding& finding);

// The prompt alone of a field that holds no valid entry, for a dialog that
// focuses the field ("Enter a number.").
std::string FieldPrompt(const Finding& finding);

// Several findings as one box shows them: their texts, one after another.
std::string FindingsText(const std::vector<Finding>& findings);

// The strict reading's findings on the file at `path`, as a command reports
// them: a line naming the file, then the first few findings indented, and how
// many more there are.
std::string FileFindingsText(const std::string& path, const std::vector<Finding>& findings);

// Text from outside (a file, the unit, a USB descriptor) made safe for a
// terminal: bytes that are not printable ASCII, quotes and backslashes as
// \xNN.
std::string Escaped(std::string_view text);

// A token in double quotes, as a message may show it: escaped, and a long
// token cut short, with its length.
std::string Quoted(std::string_view token);

// Names for machine-readable output ("phase_too_fast", "magnitude");
// FindingFieldName is empty for kNone.
std::string_view FindingRuleName(FindingRule rule);
std::string_view FindingFieldName(FindingField field);
std::string_view SeverityName(Severity severity);

}  // namespace stravon
