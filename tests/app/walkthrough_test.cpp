// SPDX-License-Identifier: GPL-3.0-or-later
// An operator's session with the desktop program from start to close, on the
// simulated unit the program serves itself (as with --simulate): every step
// through the real windows and dialogs, a screenshot of the main window after
// each.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/dialogs/hardware_settings_dialog.h"
#include "app/dialogs/move_to_size_dialog.h"
#include "app/dialogs/set_editor_dialog.h"
#include "app/document_window.h"
#include "app/main_window.h"
#include "app/qt_settings_store.h"
#include "app/simulated_unit_host.h"
#include "app/simulation_notice.h"
#include "app/tool_bar.h"
#include "protocol/protocol_file.h"
#include "sim/simulated_unit.h"
#include "sim/unit_model.h"
#include "ui/stage_model.h"
#include "views/output_pane.h"
#include "views/report_list.h"
#include "views/stage_view.h"

#include "choose_file.h"
#include "session_log.h"

namespace stravon::app {
namespace {

constexpr int kStepMs = 15000;

// Runs `act` on the modal dialog of type T once it is up; the command that
// opens it runs right after this returns and waits in the dialog's loop.
template <typename T>
void WhenModal(std::function<void(T&)> act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
    // Looked for among the shown windows rather than as the active modal
    // one, which a window of the platform's own may briefly be. Not every
    // dialog has its own meta-object, hence no qobject_cast.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = dynamic_cast<T*>(widget);
      if (dialog == nullptr || !dialog->isVisible()) continue;
      poll->stop();
      poll->deleteLater();
      act(*dialog);
      return;
    }
  });
  poll->start(10);
}

void Type(QWidget& dialog, const char* field, const QString& text) {
  auto* edit = dialog.findChild<QLineEdit*>(QLatin1String(field));
  QVERIFY2(edit != nullptr, field);
  edit->setText(text);
}

}  // namespace

class WalkthroughTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void AnOperatorsSession();

 private:
  DocumentWindow& Document() { return *window_->ActiveDocument(); }
  views::StageView& View() { return Document().View(); }
  QString Pane() { return View().Output().toPlainText(); }
  // Carries a command out and waits for the outcome of the operation it asks for.
  bool RunOperation(Command command);
  bool WaitFor(const std::function<bool()>& done);
  void Screenshot(const QString& step);

  QTemporaryDir dir_;
  // How the last operation RunOperation waited for ended.
  FinishedEvent last_;
  std::unique_ptr<SimulatedUnitHost> host_;
  std::unique_ptr<QtSettingsStore> settings_;
  std::unique_ptr<MainWindow> window_;
};

void WalkthroughTest::initTestCase() {
  QVERIFY(dir_.isValid());
  // Never the user's own settings.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.filePath("settings"));
}

bool WalkthroughTest::WaitFor(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > kStepMs) return false;
    QTest::qWait(10);
  }
  return true;
}

bool WalkthroughTest::RunOperation(Command command) {
  SessionLog log(Document());
  window_->Route(command);
  if (!WaitFor([&] { return log.Count<FinishedEvent>() > 0; })) return false;
  last_ = log.LastFinished();
  return last_.outcome.Done();
}

void WalkthroughTest::Screenshot(const QString& step) {
  const QString folder = qEnvironmentVariable("STRAVON_SCREENSHOT_DIR");
  if (!folder.isEmpty()) window_->grab().save(folder + "/walkthrough_" + step + ".png");
}

void WalkthroughTest::AnOperatorsSession() {
  // Start: the program's own simulated unit, found by detection.
  host_ = std::make_unique<SimulatedUnitHost>();
  QCOMPARE(QString::fromStdString(host_->Start({})), QString());
  DeviceSessionOptions options;
  options.roots = host_->Roots();
  options.read_timeout_ms = 1000;
  settings_ = std::make_unique<QtSettingsStore>();
  window_ = std::make_unique<MainWindow>(options, *settings_, ProgramDialogs(*settings_));
  ShowUnitIsSimulated(*window_, QString::fromStdString(host_->Where()));
  window_->show();
  QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  window_->NewDocument();

  // The unit connects; the window says it is a simulated one.
  QVERIFY(WaitFor([&] {
    return Document().Doc().Connected() && Document().Doc().SettingsRead() &&
           window_->ToolBar().ButtonAt(MainToolBar::kIndicator)->isEnabled();
  }));
  QVERIFY(WaitFor([&] { return Pane().contains("Connected to a simulated unit"); }));
  QStringList panes;
  for (QLabel* label : window_->statusBar()->findChildren<QLabel*>()) panes << label->text();
  QVERIFY2(panes.contains(SimulatedPaneText()), qPrintable(panes.join(", ")));
  Screenshot("01_connected");

  // Open the example.
  const QString example = dir_.filePath("cyclic_stretch.tmt");
  QVERIFY(QFile::copy(STRAVON_EXAMPLE, example));
  WhenModal<QFileDialog>([&](QFileDialog& dialog) { ChooseFile(dialog, example); });
  window_->Route(Command::kFileOpen);
  QCOMPARE(View().List().RowCount(), 5);
  QVERIFY(Pane().contains("Protocol File Successfully Opened"));
  QCOMPARE(View().List().Model().index(2, 0).data().toString(), QString("Sinusoid 1.0 (mm)"));
  Screenshot("02_opened");

  // Insert a set below the last one.
  View().List().selectRow(4);
  QTest::mouseClick(&View().InsertBelowButton(), Qt::LeftButton);
  QCOMPARE(View().List().RowCount(), 6);
  Screenshot("03_inserted");

  // Edit it: a long, gentle sinusoid.
  View().List().clearSelection();
  View().List().selectRow(5);
  WhenModal<SetEditorDialog>([&](SetEditorDialog& editor) {
    auto* function = editor.findChild<QComboBox*>("function");
    function->setCurrentIndex(function->findText("Sinusoid"));
    auto* unit = editor.findChild<QComboBox*>("timeUnit");
    unit->setCurrentIndex(unit->findText("Seconds"));
    Type(editor, "magnitude", "0.6");
    Type(editor, "stretch", "0.25");
    Type(editor, "hold", "0");
    Type(editor, "recovery", "0.25");
    Type(editor, "rest", "0");
    Type(editor, "repetitions", "7200");
    const QString folder = qEnvironmentVariable("STRAVON_SCREENSHOT_DIR");
    if (!folder.isEmpty()) editor.grab().save(folder + "/walkthrough_04_editor.png");
    editor.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  QTest::mouseClick(&View().EditButton(), Qt::LeftButton);
  QCOMPARE(View().List().Model().index(5, 0).data().toString(), QString("Sinusoid 0.6 (mm)"));
  QCOMPARE(View().List().Model().index(5, 5).data().toString(), QString("7200"));
  Screenshot("04_edited");

  // Save under a new name.
  const QString saved_path = dir_.filePath("gentle_finish.tmt");
  WhenModal<QFileDialog>([&](QFileDialog& dialog) { ChooseFile(dialog, saved_path); });
  window_->Route(Command::kFileSave);
  QVERIFY(Pane().contains("Protocol File Successfully Saved"));
  TestSequence saved;
  std::string error;
  QVERIFY2(ReadProtocolFile(saved_path.toStdString(), saved, &error), error.c_str());
  QCOMPARE(saved.sets.size(), std::size_t{6});
  QCOMPARE(saved.sets[5].NumReps, 7200);
  Screenshot("05_saved");

  // Program the unit and check what it holds against what was compiled.
  QVERIFY(RunOperation(Command::kProgramDevice));
  QVERIFY(WaitFor([&] { return Pane().contains("Programming Device... Success"); }));
  QVERIFY(last_.image.has_value());
  const ProgramImage programmed = *last_.image;
  const std::vector<std::uint8_t> held =
      host_->Unit().ReadMemory(sim::kProgramAddress, sim::kProgramSize);
  QVERIFY(std::equal(held.begin(), held.end(), programmed.begin()));
  Screenshot("06_programmed");

  // Read it back into an emptied list: the rows are the saved ones.
  View().List().selectAll();
  QTest::keyClick(&View().List(), Qt::Key_Delete);
  QCOMPARE(View().List().RowCount(), 0);
  // Emptied, the list holds unsaved edits: the read asks before replacing them.
  WhenModal<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::Discard)->click(); });
  QVERIFY(RunOperation(Command::kReadDevice));
  QVERIFY(WaitFor([&] { return Pane().contains("Reading Device... Success"); }));
  QCOMPARE(View().List().RowCount(), 6);
  // The unit holds magnitudes in whole motor steps and reads them back to
  // 0.1 mm: what was saved comes back, cell for cell.
  const TestSequence read = Document().Doc().Protocol();
  QCOMPARE(read.sets.size(), saved.sets.size());
  for (int row = 0; row < 6; ++row) {
    const RowTexts expected = StageModel::RowTextsOf(saved, row);
    for (int column = 0; column < 6; ++column) {
      QCOMPARE(View().List().Model().index(row, column).data().toString(),
               QString::fromStdString(expected[static_cast<std::size_t>(column)]));
    }
    const TestSet& back = read.sets[static_cast<std::size_t>(row)];
    const TestSet& sent = saved.sets[static_cast<std::size_t>(row)];
    QCOMPARE(back.XFunction, sent.XFunction);
    QCOMPARE(back.TimeUnits, sent.TimeUnits);
    QVERIFY(std::abs(back.XMagnitude - sent.XMagnitude) < 1e-6);
  }
  Screenshot("07_read_back");

  // A new soft limit, programmed from the hardware settings.
  WhenModal<HardwareSettingsDialog>([&](HardwareSettingsDialog& dialog) {
    Type(dialog, "softLimit", "6.5");
    dialog.findChild<QPushButton*>("program")->click();
    QTimer::singleShot(0, &dialog, [&dialog] {
      // Done once the request has been carried out.
      auto* wait = new QTimer(&dialog);
      QObject::connect(wait, &QTimer::timeout, &dialog, [&dialog] {
        auto* done = dialog.findChild<QPushButton*>("done");
        if (dialog.findChild<QPushButton*>("program")->isEnabled()) done->click();
      });
      wait->start(20);
    });
  });
  QVERIFY(RunOperation(Command::kHardwareSettings));
  QCOMPARE(Document().Doc().Settings().TravelSoftLimit, 6.5f);
  Screenshot("08_soft_limit");

  // Move to a specimen size of 3 mm.
  WhenModal<MoveToSizeDialog>([&](MoveToSizeDialog& dialog) {
    Type(dialog, "newSize", "3");
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  QVERIFY(RunOperation(Command::kMoveToPosition));
  const std::int32_t target = Document().Doc().Settings().UnitPosition(3.0f);
  QVERIFY(WaitFor([&] { return !host_->Unit().IsMoving() && host_->Unit().Position() == target; }));
  Screenshot("09_moved");

  // Jog forwards while the button is held; it stops on release.
  QToolButton* jog = window_->ToolBar().ButtonAt(MainToolBar::kJogPlus);
  QTest::mousePress(jog, Qt::LeftButton);
  QVERIFY(WaitFor([&] { return host_->Unit().Position() != target; }));
  Screenshot("10_jogging");
  QTest::mouseRelease(jog, Qt::LeftButton);
  QVERIFY(WaitFor([&] { return !host_->Unit().IsMoving(); }));
  const std::int32_t stopped = host_->Unit().Position();
  QTest::qWait(300);
  QCOMPARE(host_->Unit().Position(), stopped);

  // Close: the workers end before the window goes, the unit after them.
  window_->close();
  QVERIFY(WaitFor([&] { return window_->Documents().isEmpty() || !window_->isVisible(); }));
  window_.reset();
  const std::string tree = host_->Roots().sysfs;
  host_.reset();
  QVERIFY(!QFile::exists(QString::fromStdString(tree)));
}

}  // namespace stravon::app

QTEST_MAIN(stravon::app::WalkthroughTest)
#include "walkthrough_test.moc"
