// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QDialog>

#include "device/hardware_settings.h"
#include "ui/hardware_dialog.h"
#include "ui/settings_store.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace stravon::app {

// "Hardware Advanced": shows the settings last read from the unit and posts
// new ones to be programmed. It never talks to the unit itself, and knows
// nothing of the session it posts to: the owner gives it two functions.
class HardwareSettingsDialog : public QDialog {
 public:
  // Asks for the settings to be programmed.
  using PostSettings = std::function<void(const HardwareSettings&)>;
  // Whether a posted request has not ended yet.
  using RequestPending = std::function<bool()>;

  // Reads factory access from `settings` and writes it back (see
  // HardwareDialog).
  HardwareSettingsDialog(const HardwareSettings& current, SettingsStore& settings,
                         PostSettings post, RequestPending pending, QWidget* parent = nullptr);

  // Program is enabled while no posted request is pending; the owner calls
  // this when one has ended.
  void UpdateProgramButton();

 protected:
  // Enter closes the dialog, as its default OK would, without programming.
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  HardwareDialogFields Typed() const;
  // What the fields held when last shown or programmed.
  HardwareDialogFields shown_;
  void Show(const HardwareDialogFields& fields);
  QLineEdit* Control(HardwareDialogField field) const;
  // True when the settings were handed over to be programmed.
  bool Program();
  // The person's ways out (Enter, Done, Escape, the window's close) ask
  // first when the fields changed since they were shown or programmed:
  // true when the dialog may close. A window closing the dialog itself
  // (reject()) is not asked about.
  bool MayLeave();

  HardwareDialog logic_;
  PostSettings post_;
  RequestPending pending_;

  QLineEdit* series_name_;
  QLineEdit* model_number_;
  QPushButton* restore_defaults_;
  QLineEdit* offset_;
  QLineEdit* soft_limit_;
  QLineEdit* stroke_;
  QLabel* pitch_label_;
  QLineEdit* pitch_;
  QPushButton* program_;
  QPushButton* done_;
};

}  // namespace stravon::app
