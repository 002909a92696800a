// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include "device/session_event.h"

namespace stravon::app {

// Announces each session event after a document window has carried it out,
// to the widgets that follow the unit: the main window, the open dialogs.
class SessionEvents : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

 signals:
  void Handled(const stravon::SessionEvent& event);
};

}  // namespace stravon::app
