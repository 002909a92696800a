// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "protocol/test_sequence.h"
#include "protocol/test_set.h"

namespace stravon {

// Whether a document window holds edits that closing it would lose: its
// working sequence against the sets it last agreed with a file or the unit
// (opened, saved, programmed or read). A new document agrees with nothing
// but its empty list. Only the sets count; the columns follow from them.
class EditTracker {
 public:
  void Remember(const TestSequence& agreed) {
    agreed_ = agreed.sets;
    agrees_with_nothing_ = false;
  }
  // Until the next Remember, every list counts as modified: one kept from an
  // ending that could not ask agrees with no file and no unit, whatever it holds.
  void Forget() { agrees_with_nothing_ = true; }
  bool Modified(const TestSequence& working) const {
    return agrees_with_nothing_ || working.sets != agreed_;
  }

 private:
  std::vector<TestSet> agreed_;
  bool agrees_with_nothing_ = false;
};

// The answers to the question a window with unsaved edits asks before
// closing, or before a read or an opened file replaces its list.
enum class CloseChoice { kSave, kDiscard, kCancel };

inline constexpr const char* kUnsavedEditsQuestion =
    "The protocol has changed since it was last opened, saved, programmed or read.\n"
    "Save the changes before closing?";
inline constexpr const char* kUnsavedEditsBeforeReadQuestion =
    "The protocol has changed since it was last opened, saved, programmed or read.\n"
    "Save the changes before the unit's protocol replaces them?";
inline constexpr const char* kUnsavedEditsBeforeOpenQuestion =
    "The protocol has changed since it was last opened, saved, programmed or read.\n"
    "Save the changes before another file replaces them?";

}  // namespace stravon
