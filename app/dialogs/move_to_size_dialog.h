// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include <QDialog>

#include "device/hardware_settings.h"

class QLineEdit;

namespace stravon::app {

// "Move to Size": asks for a new specimen size within the unit's range. The
// caller asks for the move when the dialog ends with OK.
class MoveToSizeDialog : public QDialog {
 public:
  MoveToSizeDialog(double current_offset, const HardwareSettings& settings,
                   QWidget* parent = nullptr);

  // The unit position of the new size, in steps, once the dialog ended with OK.
  std::int32_t Target() const { return target_; }

 private:
  void Ok();

  const HardwareSettings settings_;
  std::int32_t target_ = 0;
  QLineEdit* new_size_;
  QLineEdit* minimum_size_;
  QLineEdit* maximum_size_;
};

}  // namespace stravon::app
