// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <variant>
#include <vector>

#include <QObject>

#include "app/document_window.h"
#include "app/session_events.h"
#include "device/session_event.h"

namespace stravon::app {

// The session events a document window has carried out since this was
// made, in order: what a test waits for and decides on.
class SessionLog {
 public:
  explicit SessionLog(DocumentWindow& document) {
    QObject::connect(&document.Events(), &SessionEvents::Handled, &context_,
                     [this](const SessionEvent& event) { events_.push_back(event); });
  }

  template <typename Event>
  std::size_t Count() const {
    std::size_t count = 0;
    for (const SessionEvent& event : events_) count += std::holds_alternative<Event>(event) ? 1 : 0;
    return count;
  }
  // The last finished request; call only when Count<FinishedEvent>() > 0.
  const FinishedEvent& LastFinished() const {
    for (auto event = events_.rbegin(); event != events_.rend(); ++event) {
      if (const auto* finished = std::get_if<FinishedEvent>(&*event)) return *finished;
    }
    static const FinishedEvent kNone;
    return kNone;
  }

 private:
  QObject context_;  // ends the connection with the log
  std::vector<SessionEvent> events_;
};

}  // namespace stravon::app
