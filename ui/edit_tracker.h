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
  void Remember(const TestSequence& agreed) { agreed_ = agreed.sets; }
  bool Modified(const TestSequence& working) const { return working.sets != agreed_; }

 private:
  std::vector<TestSet> agreed_;
};

// The answers to the question a window with unsaved edits asks on closing.
enum class CloseChoice { kSave, kDiscard, kCancel };

inline constexpr const char* kUnsavedEditsQuestion =
    "The protocol has changed since it was last opened, saved, programmed or read.\n"
    "Save the changes before closing?";

}  // namespace stravon
