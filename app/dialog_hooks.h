// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "protocol/test_set.h"
#include "ui/document.h"
#include "ui/settings_store.h"

class QWidget;

namespace stravon::app {

class SessionEvents;

// The dialogs the main window and the stage view open. Each is a seam: the
// program fills them with its dialogs, tests with stand-ins. Every hook runs
// modally on the interface thread.
struct DialogHooks {
  // Help, About Stravon.
  std::function<void(QWidget* parent)> about;
  // Edit Set on a copy of the set; true when the editor ended with OK (the
  // set then holds the edited values).
  std::function<bool(QWidget* parent, TestSet& set, double offset, double travel_soft_limit,
                     double motor_pitch)>
      set_editor;
  // Hardware, Advanced, Settings: shows the document's unit settings and
  // programs new ones through it; `events` tells when a request has ended.
  std::function<void(QWidget* parent, Document& document, SessionEvents& events)> hardware_settings;
  // Hardware, Move To Position: on OK asks the document for the move.
  std::function<void(QWidget* parent, Document& document)> move_to_position;
  // The stage view's "?" button.
  std::function<void(QWidget* parent)> offset_help;
};

// The program's own dialogs. The hardware settings dialog keeps its factory
// access in `settings`, which must outlive the hooks.
DialogHooks ProgramDialogs(SettingsStore& settings);

}  // namespace stravon::app
