#include "app/dialog_hooks.h"

#include <QMessageBox>

namespace stravon::app {

DialogHooks PlaceholderDialogs() {
  DialogHooks hooks;
  hooks.about = [](QWidget* parent) {
    QMessageBox::about(parent, "About Stravon",
                       "Software Version 1.53\n\nCopyright (C) the Stravon developers.");
  };
  hooks.set_editor = [](QWidget*, TestSet&, double, double, double) { return false; };
  hooks.hardware_settings = [](QWidget*, DocumentSession&) {};
  hooks.move_to_position = [](QWidget*, DocumentSession&) {};
  hooks.offset_help = [](QWidget*) {};
  return hooks;
}

}  // namespace stravon::app
