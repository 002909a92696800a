// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program_ending.h"

#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QGuiApplication>
#include <QSocketNotifier>

#include "app/document_window.h"
#include "app/main_window.h"
#include "app/signal_watch.h"
#include "protocol/test_sequence.h"
#include "ui/recovery_store.h"

namespace stravon::app {

ProgramEnding::ProgramEnding(MainWindow& window, RecoveryStore* store, SignalWatch& watch,
                             std::function<void(int)> exit, QObject* parent)
    : QObject(parent), window_(window), store_(store), watch_(watch), exit_(std::move(exit)) {
  if (watch_.Ok()) {
    notifier_ = new QSocketNotifier(watch_.ReadFd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ProgramEnding::SignalArrived);
  }
#if QT_CONFIG(sessionmanager)
  // Logging out may leave no time to ask, and no one at the screen.
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { End(0); });
#endif
}

void ProgramEnding::SignalArrived() {
  if (const std::optional<int> signal = watch_.Take()) End(128 + *signal);
}

void ProgramEnding::End(int status) {
  if (ended_) return;
  ended_ = true;
  // Read before the windows shut down: a window already closing was asked.
  std::vector<TestSequence> unsaved;
  for (DocumentWindow* document : window_.Documents()) {
    if (!document->Front().ShuttingDown() && document->Modified()) {
      unsaved.push_back(document->Stage().WorkingSequence());
    }
  }
  // The actuator first: writing files can wait, a running jog cannot.
  window_.ShutdownDocuments();

  bool all_kept = store_ != nullptr || unsaved.empty();
  if (store_ != nullptr) {
    for (const TestSequence& sequence : unsaved) {
      std::string error;
      if (const std::optional<std::string> path = store_->Keep(sequence, &error)) {
        std::cerr << "stravon: unsaved edits kept in " << *path << "\n";
      } else {
        std::cerr << "stravon: unsaved edits could not be kept: " << error << "\n";
        all_kept = false;
      }
    }
  } else if (!unsaved.empty()) {
    std::cerr << "stravon: unsaved edits lost: no folder to keep them in (HOME is not set)\n";
  }
  // What this run restored is kept anew above, or was saved; an earlier copy
  // goes only once nothing of this ending failed to be kept.
  if (store_ != nullptr && all_kept) store_->RemoveClaimed();
  exit_(status);
}

}  // namespace stravon::app
