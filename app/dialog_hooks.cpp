// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialog_hooks.h"

#include "app/dialogs/about_dialog.h"
#include "app/dialogs/hardware_settings_dialog.h"
#include "app/dialogs/move_to_size_dialog.h"
#include "app/dialogs/offset_help_dialog.h"
#include "app/dialogs/set_editor_dialog.h"
#include "app/document_session.h"
#include "device/operation.h"

namespace stravon::app {

DialogHooks ProgramDialogs(SettingsStore& settings) {
  DialogHooks hooks;
  hooks.about = [](QWidget* parent) {
    AboutDialog dialog(parent);
    dialog.exec();
  };
  hooks.set_editor = [](QWidget* parent, TestSet& set, double /*offset*/, double travel_soft_limit,
                        double motor_pitch) {
    SetEditorDialog dialog(set, SetEditorLimits{travel_soft_limit, motor_pitch}, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    set = dialog.EditedSet();
    return true;
  };
  hooks.hardware_settings = [&settings](QWidget* parent, DocumentSession& session) {
    HardwareSettingsDialog dialog(
        session.CurrentSettings(), settings,
        [&session](const HardwareSettings& values) {
          session.RequestProgramHardwareSettings(values);
        },
        // The worker puts the code back to 0 only once it has carried it out.
        [&session] {
          return session.PendingOperation() ==
                 static_cast<std::int32_t>(Operation::kProgramHardwareSettings);
        },
        parent);
    dialog.exec();
  };
  hooks.move_to_position = [](QWidget* parent, DocumentSession& session) {
    MoveToSizeDialog dialog(session.Device().CurrentOffset(), session.CurrentSettings(), parent);
    if (dialog.exec() == QDialog::Accepted) session.RequestMove(dialog.Target());
  };
  hooks.offset_help = [](QWidget* parent) {
    OffsetHelpDialog dialog(parent);
    dialog.exec();
  };
  return hooks;
}

}  // namespace stravon::app
