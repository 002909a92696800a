// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

namespace stravon {

// How a set's label is shown above the preview's plot.
enum class SetLabelForm {
  kFull,    // "Set 5"
  kNumber,  // "5", where the full label has no room
  kHover,   // no room at all: the label shows only under the pointer
};

// One set's label to place: where the set starts and how wide each form of
// its label is, in the same units as the bounds.
struct SetLabelRequest {
  double x = 0.0;
  double full_width = 0.0;
  double number_width = 0.0;
};

struct SetLabelPlacement {
  SetLabelForm form = SetLabelForm::kHover;
  int row = 0;     // 0 is the top row
  double x = 0.0;  // the label's left edge
};

// Places the labels of sets given in the order they start, between `left`
// and `right`, in `rows` rows. Each label takes the first row that has room
// at its set's start, in full or else as its number; one that would run past
// `right` is moved left to end there. None overlap; a label that finds no
// room is left to the pointer, never dropped without a trace.
std::vector<SetLabelPlacement> PlaceSetLabels(const std::vector<SetLabelRequest>& requests,
                                              double left, double right, int rows);

}  // namespace stravon
