// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/set_label_placement.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace stravon {
namespace {

using Form = SetLabelForm;

// Labels 30 wide in full and 10 as a number, between 0 and 100, two rows.
SetLabelRequest At(double x) { return {x, 30.0, 10.0}; }

struct Expected {
  Form form;
  int row;
  double x;
};

TEST(SetLabelPlacementTest, PlacesEachLabelWhereItFitsAndDropsNone) {
  struct Case {
    std::string name;
    std::vector<SetLabelRequest> requests;
    std::vector<Expected> expected;
  };
  const std::vector<Case> cases = {
      {"spread out: all in full in the top row",
       {At(0), At(40)},
       {{Form::kFull, 0, 0}, {Form::kFull, 0, 40}}},
      {"a close neighbour goes to the second row",
       {At(0), At(10), At(35)},
       {{Form::kFull, 0, 0}, {Form::kFull, 1, 10}, {Form::kFull, 0, 35}}},
      {"no room even for the number: left to the pointer",
       {At(0), At(5), At(10)},
       {{Form::kFull, 0, 0}, {Form::kFull, 1, 5}, {Form::kHover, 0, 0}}},
      {"the last set near the right edge is moved left, not dropped",
       {At(0), At(20), At(40), At(60), At(90)},
       {{Form::kFull, 0, 0},
        {Form::kFull, 1, 20},
        {Form::kFull, 0, 40},
        {Form::kFull, 1, 60},
        {Form::kFull, 0, 70}}},
      {"moved left into a neighbour: its number instead",
       {At(0), At(20), At(55), At(70), At(95)},
       {{Form::kFull, 0, 0},
        {Form::kFull, 1, 20},
        {Form::kFull, 0, 55},
        {Form::kFull, 1, 70},
        {Form::kNumber, 0, 90}}},
      {"a set begun before the left edge is labelled at the edge",
       {At(-50), At(40)},
       {{Form::kFull, 0, 0}, {Form::kFull, 0, 40}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<SetLabelPlacement> placed = PlaceSetLabels(c.requests, 0.0, 100.0, 2);
    ASSERT_EQ(placed.size(), c.expected.size());
    for (std::size_t i = 0; i < placed.size(); ++i) {
      SCOPED_TRACE("label " + std::to_string(i + 1));
      EXPECT_EQ(placed[i].form, c.expected[i].form);
      if (placed[i].form == Form::kHover) continue;
      EXPECT_EQ(placed[i].row, c.expected[i].row);
      EXPECT_DOUBLE_EQ(placed[i].x, c.expected[i].x);
    }
  }
}

TEST(SetLabelPlacementTest, LabelsInOneRowNeverOverlap) {
  // A hundred sets a pixel apart in a narrow room: whatever is shown is apart.
  std::vector<SetLabelRequest> requests;
  for (int i = 0; i < 100; ++i) requests.push_back(At(i));
  const std::vector<SetLabelPlacement> placed = PlaceSetLabels(requests, 0.0, 100.0, 2);
  std::vector<double> end(2, -1.0);
  int shown = 0;
  for (std::size_t i = 0; i < placed.size(); ++i) {
    if (placed[i].form == Form::kHover) continue;
    ++shown;
    const double width = placed[i].form == Form::kFull ? 30.0 : 10.0;
    EXPECT_GE(placed[i].x, end[static_cast<std::size_t>(placed[i].row)]) << i;
    EXPECT_LE(placed[i].x + width, 100.0) << i;
    end[static_cast<std::size_t>(placed[i].row)] = placed[i].x + width;
  }
  EXPECT_GT(shown, 2);
}

}  // namespace
}  // namespace stravon
