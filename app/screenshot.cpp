// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/screenshot.h"

#include <iostream>
#include <memory>

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include "app/document_window.h"
#include "app/main_window.h"

namespace stravon::app {
namespace {

// After connecting, the unit's position and the window's own notes follow
// the connection as further events; this lets them arrive and be painted.
constexpr int kSettleMs = 400;

bool UnitReady(MainWindow& window) {
  DocumentWindow* document = window.ActiveDocument();
  return document != nullptr && document->Doc().Connected() && document->Doc().SettingsRead();
}

void SaveAndQuit(MainWindow& window, const QString& path) {
  window.UpdateCommandStates();
  const bool saved = window.grab().save(path, "PNG");
  if (!saved) std::cerr << "stravon: cannot write the screenshot " << path.toStdString() << "\n";
  QApplication::exit(saved ? 0 : 1);
}

}  // namespace

void SaveScreenshotWhenConnected(MainWindow& window, const QString& path,
                                 std::chrono::milliseconds give_up) {
  // Whichever comes first: a document's unit ready, or the time to give up.
  auto* give_up_timer = new QTimer(&window);
  give_up_timer->setSingleShot(true);
  auto taken = std::make_shared<bool>(false);
  const auto take = [&window, path, taken](int delay_ms) {
    if (*taken) return;
    *taken = true;
    QTimer::singleShot(delay_ms, &window, [&window, path] { SaveAndQuit(window, path); });
  };
  const auto follow = [&window, take](DocumentWindow* document) {
    QObject::connect(&document->Events(), &SessionEvents::Handled, &window, [&window, take] {
      if (UnitReady(window)) take(kSettleMs);
    });
  };
  for (DocumentWindow* document : window.Documents()) follow(document);
  QObject::connect(&window, &MainWindow::DocumentAdded, &window, follow);
  QObject::connect(give_up_timer, &QTimer::timeout, &window, [take] { take(0); });
  give_up_timer->start(give_up);
  if (UnitReady(window)) take(kSettleMs);
}

}  // namespace stravon::app
