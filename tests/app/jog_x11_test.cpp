// SPDX-License-Identifier: GPL-3.0-or-later
// The jog button with the real pointer of an X server: xdotool presses Jog+,
// drags the pointer off the program's window and lets go out there. The
// simulated unit must have stopped moving.
#include <memory>

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/document_window.h"
#include "app/main_window.h"
#include "app/qt_settings_store.h"
#include "app/tool_bar.h"
#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"

namespace stravon::app {

class JogX11Test : public QObject {
  Q_OBJECT

 private slots:
  void ReleasedOffTheWindowTheJogStops();
};

namespace {

bool Xdotool(const QStringList& arguments) { return QProcess::execute("xdotool", arguments) == 0; }

QString Number(int value) { return QString::number(value); }

}  // namespace

void JogX11Test::ReleasedOffTheWindowTheJogStops() {
  QTemporaryDir settings_dir;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());
  sim::FixtureTree tree = sim::FixtureTree::Temporary();
  QVERIFY(tree.ok());
  sim::UnitOptions slow;
  slow.motion_speed = 1e-5;  // the jog would reach its limit only after many seconds
  sim::SimulatedUnit unit(slow);
  QCOMPARE(unit.Start(), 0);
  QVERIFY(!tree.AddUsbPort(sim::UnitIdentity(), unit.SlavePath()).empty());

  QtSettingsStore settings;
  DeviceSessionOptions options;
  options.roots = {tree.SysfsRoot(), tree.DevRoot()};
  options.read_timeout_ms = 300;
  auto window = std::make_unique<MainWindow>(options, settings, DialogHooks{});
  window->move(40, 40);
  window->show();
  QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  window->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window.get()));
  DocumentWindow* document = window->NewDocument();
  QToolButton* plus = window->ToolBar().ButtonAt(MainToolBar::kJogPlus);
  QTRY_VERIFY_WITH_TIMEOUT(document->Doc().SettingsRead() && plus->isEnabled(), 10000);

  const QPoint on = plus->mapToGlobal(plus->rect().center());
  const QPoint off = window->frameGeometry().bottomRight() + QPoint(300, 200);
  QVERIFY(Xdotool({"mousemove", Number(on.x()), Number(on.y())}));
  QTest::qWait(200);
  QVERIFY(Xdotool({"mousedown", "1"}));
  QTRY_VERIFY_WITH_TIMEOUT(unit.IsMoving(), 5000);
  QVERIFY(document->Jogging() == JogDirection::kPlus);
  const QString folder = qEnvironmentVariable("STRAVON_SCREENSHOT_DIR");
  if (!folder.isEmpty()) window->grab().save(folder + "/jog_held_x11.png");

  QVERIFY(Xdotool({"mousemove", Number(off.x()), Number(off.y())}));
  QTest::qWait(100);
  QVERIFY(Xdotool({"mouseup", "1"}));
  QTRY_VERIFY_WITH_TIMEOUT(!unit.IsMoving(), 2000);
  QVERIFY(!document->Jogging());
  // The pointer is free again: nothing of the program keeps it grabbed.
  QVERIFY(QWidget::mouseGrabber() == nullptr);

  window.reset();
  unit.Stop();
}

}  // namespace stravon::app

QTEST_MAIN(stravon::app::JogX11Test)
#include "jog_x11_test.moc"
