// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialog_hooks.h"

#include <variant>

#include "app/dialogs/about_dialog.h"
#include "app/dialogs/hardware_settings_dialog.h"
#include "app/dialogs/move_to_size_dialog.h"
#include "app/dialogs/offset_help_dialog.h"
#include "app/dialogs/set_editor_dialog.h"
#include "app/session_events.h"

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
  hooks.hardware_settings = [&settings](QWidget* parent, Document& document,
                                        SessionEvents& events) {
    // The request the dialog posted and the session has not finished yet.
    RequestId pending = 0;
    HardwareSettingsDialog dialog(
        document.Settings(), settings,
        [&document, &pending](const HardwareSettings& values) {
          const Submission submission = document.ProgramSettings(values);
          if (submission.Accepted()) pending = submission.id;
        },
        [&pending] { return pending != 0; }, parent);
    QObject::connect(&events, &SessionEvents::Handled, &dialog,
                     [&dialog, &pending](const SessionEvent& event) {
                       const auto* finished = std::get_if<FinishedEvent>(&event);
                       if (pending == 0 || finished == nullptr || finished->request != pending) {
                         return;
                       }
                       pending = 0;
                       dialog.UpdateProgramButton();
                     });
    dialog.exec();
  };
  hooks.move_to_position = [](QWidget* parent, Document& document) {
    MoveToSizeDialog dialog(document.CurrentOffset(), document.Settings(), parent);
    if (dialog.exec() == QDialog::Accepted) document.Move(dialog.Target());
  };
  hooks.offset_help = [](QWidget* parent) {
    OffsetHelpDialog dialog(parent);
    dialog.exec();
  };
  return hooks;
}

}  // namespace stravon::app
