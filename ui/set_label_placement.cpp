// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/set_label_placement.h"

#include <algorithm>
#include <limits>

namespace stravon {

std::vector<SetLabelPlacement> PlaceSetLabels(const std::vector<SetLabelRequest>& requests,
                                              double left, double right, int rows) {
  std::vector<SetLabelPlacement> placements;
  placements.reserve(requests.size());
  // Where each row's last label ends.
  std::vector<double> row_end(static_cast<std::size_t>(std::max(rows, 0)),
                              -std::numeric_limits<double>::infinity());
  for (const SetLabelRequest& request : requests) {
    SetLabelPlacement placement;
    for (const auto& [form, width] : {std::pair{SetLabelForm::kFull, request.full_width},
                                      std::pair{SetLabelForm::kNumber, request.number_width}}) {
      const double x = std::max(left, std::min(request.x, right - width));
      if (x + width > right) continue;  // wider than the whole room
      const auto row =
          std::find_if(row_end.begin(), row_end.end(), [x](double end) { return x >= end; });
      if (row == row_end.end()) continue;
      *row = x + width;
      placement = {form, static_cast<int>(row - row_end.begin()), x};
      break;
    }
    placements.push_back(placement);
  }
  return placements;
}

}  // namespace stravon
