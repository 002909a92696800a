// SPDX-License-Identifier: GPL-3.0-or-later
// The jog button with the real pointer of an X server: xdotool presses Jog+,
// drags the pointer off the program's window and lets go out there, or holds
// it while the program is told to end. The simulated unit must have stopped
// moving.
#include <csignal>
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
#include "tests/support/child_process.h"

namespace stravon::app {

class JogX11Test : public QObject {
  Q_OBJECT

 private slots:
  void ReleasedOffTheWindowTheJogStops();
  void EndingSignalWhileHeldStopsTheJog();
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

void JogX11Test::EndingSignalWhileHeldStopsTheJog() {
  QTemporaryDir dir;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
  sim::FixtureTree tree = sim::FixtureTree::Temporary();
  QVERIFY(tree.ok());
  sim::UnitOptions slow;
  slow.motion_speed = 1e-5;  // the jog would reach its limit only after many seconds
  sim::SimulatedUnit unit(slow);
  QCOMPARE(unit.Start(), 0);
  QVERIFY(!tree.AddUsbPort(sim::UnitIdentity(), unit.SlavePath()).empty());

  // Where Jog+ sits in the main window: the program lays it out the same way.
  QPoint jog_plus;
  {
    QtSettingsStore settings;
    MainWindow window(DeviceSessionOptions{}, settings, DialogHooks{});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QToolButton* plus = window.ToolBar().ButtonAt(MainToolBar::kJogPlus);
    jog_plus = plus->mapTo(&window, plus->rect().center());
  }

  test_support::ChildProcess program(
      STRAVON_PATH, {},
      {"STRAVON_SYSFS_ROOT=" + tree.SysfsRoot(), "STRAVON_DEV_ROOT=" + tree.DevRoot(),
       "XDG_CONFIG_HOME=" + dir.filePath("config").toStdString(),
       "XDG_STATE_HOME=" + dir.filePath("state").toStdString()});
  // Connected once the unit's settings block has been read.
  QTRY_VERIFY_WITH_TIMEOUT(unit.CommandCount(sim::CommandKind::kReadByte) >= 64, 10000);
  QTest::qWait(500);
  // The main window's title ends in the program's name, after the document's.
  QProcess search;
  search.start("xdotool", {"search", "--sync", "--onlyvisible", "--name", "Stravon$"});
  QVERIFY(search.waitForFinished(10000));
  const QString window_id =
      QString::fromLatin1(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).value(0);
  QVERIFY(!window_id.isEmpty());
  QVERIFY(
      Xdotool({"mousemove", "--window", window_id, Number(jog_plus.x()), Number(jog_plus.y())}));
  QTest::qWait(200);
  QVERIFY(Xdotool({"mousedown", "1"}));
  QTRY_VERIFY_WITH_TIMEOUT(unit.IsMoving(), 5000);

  // Logging out, say, with the button still held.
  const int stops = unit.CommandCount(sim::CommandKind::kStop);
  program.Signal(SIGTERM);
  const test_support::ProcessOutcome outcome = program.Wait();
  QVERIFY(Xdotool({"mouseup", "1"}));
  QVERIFY(!unit.IsMoving());
  QVERIFY(unit.CommandCount(sim::CommandKind::kStop) > stops);
  QCOMPARE(outcome.exit_status, 128 + SIGTERM);
  unit.Stop();
}

}  // namespace stravon::app

QTEST_MAIN(stravon::app::JogX11Test)
#include "jog_x11_test.moc"
