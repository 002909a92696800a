// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/screenshot.h"

#include <iostream>

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>

#include "app/document_window.h"
#include "app/main_window.h"

namespace stravon::app {
namespace {

constexpr int kPollMs = 50;
// After connecting, the worker's output (identification, offset) still
// reaches the window through queued calls; this lets it arrive.
constexpr int kSettleMs = 400;

bool UnitReady(MainWindow& window) {
  DocumentWindow* document = window.ActiveDocument();
  return document != nullptr && document->Session().Connected() &&
         document->Session().HardwareSettingsRead();
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
  auto* poll = new QTimer(&window);
  QElapsedTimer clock;
  clock.start();
  QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, clock, path, give_up] {
    const bool ready = UnitReady(window);
    if (!ready && clock.elapsed() < give_up.count()) return;
    poll->stop();
    QTimer::singleShot(ready ? kSettleMs : 0, &window, [&window, path] { SaveAndQuit(window, path); });
  });
  poll->start(kPollMs);
}

}  // namespace stravon::app
