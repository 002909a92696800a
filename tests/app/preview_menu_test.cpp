// SPDX-License-Identifier: GPL-3.0-or-later
// "Protocol Preview" in the View menu of both menu sets opens one preview
// window, which follows the active document window's working sequence.
#include <QAction>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "app/document_window.h"
#include "app/main_window.h"
#include "app/qt_settings_store.h"
#include "sim/fixture_tree.h"
#include "views/protocol_preview.h"

namespace stravon::app {
namespace {

QAction* PreviewAction(const QList<QMenu*>& menus) {
  for (QMenu* menu : menus) {
    if (menu->title() != "&View") continue;
    for (QAction* action : menu->actions()) {
      if (action->text() == "Protocol &Preview") return action;
    }
  }
  return nullptr;
}

}  // namespace

class PreviewMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void OpensOneWindowThatFollowsTheActiveDocument();
};

void PreviewMenuTest::OpensOneWindowThatFollowsTheActiveDocument() {
  QTemporaryDir settings_dir;
  QVERIFY(settings_dir.isValid());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());
  const sim::FixtureTree tree = sim::FixtureTree::Temporary();  // no unit attached
  QVERIFY(tree.ok());
  DeviceSessionOptions options;
  options.roots = {tree.SysfsRoot(), tree.DevRoot()};
  options.read_timeout_ms = 300;
  QtSettingsStore settings;
  MainWindow window(options, settings, DialogHooks{});
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  QAction* without_document = PreviewAction(window.CurrentMenus());
  QVERIFY(without_document != nullptr);
  DocumentWindow* document = window.NewDocument();
  QAction* with_document = PreviewAction(window.CurrentMenus());
  QVERIFY(with_document != nullptr);
  QCOMPARE(with_document, without_document);

  with_document->trigger();
  auto* preview = window.findChild<views::ProtocolPreview*>();
  QVERIFY(preview != nullptr);
  QVERIFY(preview->isVisible());
  QVERIFY(preview->windowTitle().contains("none read"));  // no unit: default settings
  QVERIFY(preview->Profile().Sets().empty());

  TestSet set;
  set.XUnits = MeasureUnit::Millimetre;
  set.XMagnitude = 2.0;
  set.NumReps = 3;
  document->Stage().RefreshFromDocument(TestSequence{{set}, {}});
  QTRY_COMPARE(preview->Profile().Sets().size(), std::size_t{1});
  QCOMPARE(preview->Profile().Sets()[0].repetitions, 3u);

  // A second trigger shows the same window.
  with_document->trigger();
  QCOMPARE(window.findChildren<views::ProtocolPreview*>().size(), qsizetype{1});
  preview->Canvas().grab().save(qEnvironmentVariable("STRAVON_SCREENSHOT_DIR") +
                                "/protocol_preview_from_menu.png");
}

}  // namespace stravon::app

QTEST_MAIN(stravon::app::PreviewMenuTest)
#include "preview_menu_test.moc"
