// SPDX-License-Identifier: GPL-3.0-or-later
// Closing the main window as a window manager does (its close button,
// Alt+F4: a WM_DELETE_WINDOW message) while a transfer's progress window is
// up. Qt drops that message for a window that a modal window blocks, which a
// direct close() in an offscreen test never shows.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <QApplication>
#include <QGuiApplication>
#include <QList>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

#include "app/document_window.h"
#include "app/main_window.h"
#include "app/qt_settings_store.h"
#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"
#include "views/progress_window.h"

#include "session_log.h"

namespace stravon::app {
namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

// The progress window showing now, if any. It has no meta-object of its
// own, so findChild<> cannot tell it from any other widget.
views::ProgressWindowWidget* ShownProgress(QWidget& window) {
  QList<QWidget*> widgets = window.findChildren<QWidget*>();
  widgets += QApplication::topLevelWidgets();
  for (QWidget* widget : widgets) {
    auto* progress = dynamic_cast<views::ProgressWindowWidget*>(widget);
    if (progress != nullptr && progress->isVisible()) return progress;
  }
  return nullptr;
}

// What a window manager sends when the person closes `window`.
bool SendDeleteWindow(QWidget& window) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr) return false;
  xcb_connection_t* connection = x11->connection();
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = static_cast<xcb_window_t>(window.winId());
  message.type = Atom(connection, "WM_PROTOCOLS");
  message.data.data32[0] = Atom(connection, "WM_DELETE_WINDOW");
  message.data.data32[1] = XCB_CURRENT_TIME;
  // No event mask: the message goes to the window's own client.
  xcb_send_event(connection, 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&message));
  return xcb_flush(connection) > 0;
}

}  // namespace

class CloseX11Test : public QObject {
  Q_OBJECT

 private slots:
  void WindowManagersCloseCancelsTheTransferAndCloses();
};

void CloseX11Test::WindowManagersCloseCancelsTheTransferAndCloses() {
  QTemporaryDir settings_dir;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());
  sim::FixtureTree tree = sim::FixtureTree::Temporary();
  QVERIFY(tree.ok());
  sim::UnitOptions slow;
  slow.pacing_baud = 9600;  // about twenty seconds for a whole read
  sim::SimulatedUnit unit(slow);
  QCOMPARE(unit.Start(), 0);
  QVERIFY(!tree.AddUsbPort(sim::UnitIdentity(), unit.SlavePath()).empty());

  QtSettingsStore settings;
  DeviceSessionOptions options;
  options.roots = {tree.SysfsRoot(), tree.DevRoot()};
  options.read_timeout_ms = 300;
  auto window = std::make_unique<MainWindow>(options, settings, DialogHooks{});
  window->show();
  QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  QPointer<DocumentWindow> document = window->NewDocument();
  QTRY_VERIFY_WITH_TIMEOUT(document->Doc().SettingsRead(), 10000);
  SessionLog log(*document);
  window->Route(Command::kReadDevice);
  QTRY_VERIFY_WITH_TIMEOUT(ShownProgress(*window) != nullptr, 10000);

  QVERIFY(SendDeleteWindow(*window));
  QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 2000);
  QVERIFY(!document->Session().WorkerRunning());
  QCOMPARE(log.Count<FinishedEvent>(), std::size_t{1});
  QCOMPARE(int(log.LastFinished().outcome.kind), int(Outcome::Kind::kCancelled));
  window.reset();
  unit.Stop();
}

}  // namespace stravon::app

QTEST_MAIN(stravon::app::CloseX11Test)
#include "close_x11_test.moc"
