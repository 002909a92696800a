// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/application.h"
#include "app/dialogs/about_dialog.h"
#include "app/dialogs/hardware_settings_dialog.h"
#include "app/dialogs/move_to_size_dialog.h"
#include "app/dialogs/offset_help_dialog.h"
#include "app/dialogs/set_editor_dialog.h"
#include "app/document_window.h"
#include "app/jog_guard.h"
#include "app/main_window.h"
#include "app/program_ending.h"
#include "app/qt_settings_store.h"
#include "app/recovery_offer.h"
#include "app/signal_watch.h"
#include "app/tool_bar.h"
#include "device/program_image.h"
#include "protocol/message_log.h"
#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"
#include "ui/move_to_size.h"
#include "ui/recovery_store.h"
#include "views/output_pane.h"
#include "views/progress_window.h"
#include "views/report_list.h"
#include "views/stage_view.h"
#include "views/time_to_complete_bar.h"

#include "choose_file.h"
#include "session_log.h"

namespace stravon::app {
namespace {

constexpr int kReadTimeoutMs = 300;
constexpr int kConnectMs = 10000;

QStringList Titles(const QList<QAction*>& actions) {
  QStringList titles;
  for (QAction* action : actions) {
    if (!action->isSeparator()) titles << action->text();
  }
  return titles;
}

QStringList MenuTitles(const QList<QMenu*>& menus) {
  QStringList titles;
  for (QMenu* menu : menus) titles << menu->title();
  return titles;
}

// The message box showing now, if any.
QMessageBox* ShownBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

// Runs `run`, which opens a modal dialog, and `act` on that dialog once it
// shows (`act` ends it), after a screenshot named `name`. False when no such
// dialog showed.
template <typename Dialog>
bool WithDialog(const char* name, const std::function<void()>& run,
                const std::function<void(Dialog&)>& act) {
  bool shown = false;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = dynamic_cast<Dialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || shown) return;
    shown = true;
    poll.stop();
    const QString folder = qEnvironmentVariable("STRAVON_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
      dialog->grab().save(folder + "/app_" + name + ".png");
    }
    act(*dialog);
    // A failed check in `act` returns early: the dialog must not stay open.
    if (dialog->isVisible()) dialog->reject();
  });
  poll.start();
  run();
  return shown;
}

template <typename T>
T* Child(QWidget& parent, const char* name) {
  return parent.findChild<T*>(QLatin1String(name));
}

// The progress window showing now, if any.
views::ProgressWindowWidget* ShownProgress() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* progress = dynamic_cast<views::ProgressWindowWidget*>(widget);
    if (progress != nullptr && progress->isVisible()) return progress;
  }
  return nullptr;
}

// Runs `run`, answering the file dialog it shows with `path`.
void AnsweringFileDialog(const QString& path, const std::function<void()>& run) {
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    poll.stop();
    ChooseFile(*dialog, path);
  });
  poll.start();
  run();
}

// Every visible item of `actions`, and of their submenus, has a mnemonic that
// no other item beside it has.
void CheckMnemonics(const QList<QAction*>& actions) {
  QList<QKeySequence> seen;
  for (QAction* action : actions) {
    if (action->isSeparator() || !action->isVisible()) continue;
    const QKeySequence mnemonic = QKeySequence::mnemonic(action->text());
    QVERIFY2(!mnemonic.isEmpty(), qPrintable(action->text()));
    QVERIFY2(!seen.contains(mnemonic), qPrintable(action->text()));
    seen << mnemonic;
    if (action->menu() != nullptr) CheckMnemonics(action->menu()->actions());
  }
}

void WriteProtocol(const QString& path) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(
      "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\t"
      "HoldTimeSec\tRestTimeSec\tNumReps\tTimeUnits\t\n"
      "Ramp\tmm\t0.5\t2\t2\t1\t5\t10\tSeconds\t\n");
}

}  // namespace

class AppTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void MenusAndEnablingFollowTheUnit();
  void PromptsAndKeys();
  void SecondWindowFromTheKeyboard();
  void ReadAndProgramDeviceReportInOrder();
  void DialogsOpenFromTheirCommands();
  void VerifyCatchesAByteStoredWrongly();
  void ProgressWindowShowsAndCancelsATransfer();
  void JogButtonsStartAndStopTheJog();
  void WindowFollowsTheUnitWithoutATimer();
  void MotionStopsWheneverTheOperatorLetsGo_data();
  void MotionStopsWheneverTheOperatorLetsGo();
  void HeldJogIsConfirmedUntilReleased();
  void ClosingTheWindowDuringATransferCancelsIt();
  void QuittingDuringAProgramAsksFirstThenCancelsIt();
  void SilentUnitIsShownAsWaited();
  void LogMovesToTheNextOpenWindow();
  void UnsavedEditsAskBeforeClosing_data();
  void UnsavedEditsAskBeforeClosing();
  void UnsavedEditsAskBeforeReadOrOpen_data();
  void UnsavedEditsAskBeforeReadOrOpen();
  void EndingWithoutAskingKeepsTheEdits_data();
  void EndingWithoutAskingKeepsTheEdits();
  void InsertWaitsForTheUnitsSettings();
  void ClosingWhileAWorkerQuestionIsUpReturnsPromptly();
  void QuittingDuringATransferReturnsPromptly();
  void SettingsAndRecentFiles();
  void TitlesFollowTheDocuments();
  void OpenAndSaveFromBothMenuSetsAreRecent();
  void EveryMenuItemHasItsOwnMnemonic();
  void CommandLine_data();
  void CommandLine();
  void TheDesktopKnowsTheWindows();

 private:
  void StartUnit(sim::UnitOptions options = {});
  void Unplug();
  void OpenWindow();
  void OpenWindow(DialogHooks hooks);
  // Inserts two sets through the form's button.
  void InsertTwoSets(DocumentWindow& document);
  DocumentWindow* Document() { return window_->ActiveDocument(); }
  bool WaitConnected(bool connected);
  void Screenshot(const QString& name);

  QTemporaryDir settings_dir_;
  std::unique_ptr<sim::FixtureTree> tree_;
  std::unique_ptr<sim::SimulatedUnit> unit_;
  std::string tty_;
  std::unique_ptr<QtSettingsStore> settings_;
  std::unique_ptr<MainWindow> window_;
  int read_timeout_ms_ = kReadTimeoutMs;
};

void AppTest::initTestCase() {
  QVERIFY(settings_dir_.isValid());
  // Never the user's own settings.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir_.path());
}

void AppTest::init() {
  tree_ = std::make_unique<sim::FixtureTree>(sim::FixtureTree::Temporary());
  QVERIFY(tree_->ok());
  settings_ = std::make_unique<QtSettingsStore>();
  read_timeout_ms_ = kReadTimeoutMs;
}

void AppTest::cleanup() {
  window_.reset();
  unit_.reset();
  tree_.reset();
}

void AppTest::StartUnit(sim::UnitOptions options) {
  unit_ = std::make_unique<sim::SimulatedUnit>(std::move(options));
  QCOMPARE(unit_->Start(), 0);
  tty_ = tree_->AddUsbPort(sim::UnitIdentity(), unit_->SlavePath());
  QVERIFY(!tty_.empty());
}

void AppTest::Unplug() {
  unit_->Disconnect();
  QVERIFY(tree_->RemovePort(tty_));
}

void AppTest::OpenWindow() {
  DialogHooks hooks;
  hooks.set_editor = [](QWidget*, TestSet& set, double, double, double) {
    set.NumReps = 5;
    return true;
  };
  OpenWindow(std::move(hooks));
}

void AppTest::InsertTwoSets(DocumentWindow& document) {
  QTest::mouseClick(&document.View().InsertBelowButton(), Qt::LeftButton);
  QTest::mouseClick(&document.View().InsertBelowButton(), Qt::LeftButton);
  QCOMPARE(document.View().List().RowCount(), 2);
}

void AppTest::OpenWindow(DialogHooks hooks) {
  DeviceSessionOptions options;
  options.roots = {tree_->SysfsRoot(), tree_->DevRoot()};
  options.read_timeout_ms = read_timeout_ms_;
  window_ = std::make_unique<MainWindow>(options, *settings_, std::move(hooks));
  window_->show();
  QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

bool AppTest::WaitConnected(bool connected) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < kConnectMs) {
    DocumentWindow* document = Document();
    if (document && document->Doc().Connected() == connected &&
        document->Doc().SettingsRead() == connected &&
        window_->ToolBar().ButtonAt(MainToolBar::kIndicator)->isEnabled() == connected &&
        document->View().InsertBelowButton().isEnabled() == connected) {
      return true;
    }
    QTest::qWait(20);
  }
  return false;
}

void AppTest::Screenshot(const QString& name) {
  const QString folder = qEnvironmentVariable("STRAVON_SCREENSHOT_DIR");
  if (!folder.isEmpty()) window_->grab().save(folder + "/" + name + ".png");
}

void AppTest::MenusAndEnablingFollowTheUnit() {
  OpenWindow();
  QCOMPARE(window_->windowTitle(), QString("Stravon"));
  // Resizable, down to a size that still shows every control.
  QVERIFY(window_->minimumSize().isValid());
  QVERIFY(window_->maximumSize().width() > MainWindow::kWidth);
  QCOMPARE(window_->statusBar()->currentMessage(), QString("Ready"));

  // No document: menu 128.
  QCOMPARE(MenuTitles(window_->CurrentMenus()), (QStringList{"&File", "&View", "&Help"}));
  QCOMPARE(Titles(window_->CurrentMenus()[0]->actions()),
           (QStringList{"&New", "&Open...", "&Close", "P&rint Setup...", "Recent &File", "&Quit"}));
  QVERIFY(window_->ActionFor(Command::kFileOpen)->isEnabled());
  QVERIFY(!window_->ActionFor(Command::kFileSave)->isEnabled());
  QVERIFY(!window_->ToolBar().ButtonAt(MainToolBar::kIndicator)->isEnabled());
  QVERIFY(window_->ToolBar().ButtonAt(MainToolBar::kOpen)->isEnabled());
  Screenshot("main_window_no_document");

  // A document without a unit: menu 130, its commands disabled.
  DocumentWindow* document = window_->NewDocument();
  // A tab filling the area, with no unused band beside or below it.
  QCOMPARE(document->geometry(), window_->Area().viewport()->rect());
  QCOMPARE(MenuTitles(window_->CurrentMenus()),
           (QStringList{"&File", "H&ardware", "&View", "&Help"}));
  QCOMPARE(Titles(window_->CurrentMenus()[0]->actions()),
           (QStringList{"&Open...", "&Save", "&Close", "&Quit"}));
  QCOMPARE(Titles(window_->CurrentMenus()[1]->actions()),
           (QStringList{"&Read Device", "&Program Device", "&Verify After Programming", "&Advanced",
                        "&Move To Position"}));
  const Command document_commands[] = {Command::kFileOpen,         Command::kFileSave,
                                       Command::kReadDevice,       Command::kProgramDevice,
                                       Command::kHardwareSettings, Command::kMoveToPosition};
  for (Command command : document_commands) {
    QVERIFY2(!window_->ActionFor(command)->isEnabled(),
             qPrintable(window_->ActionFor(command)->text()));
  }
  for (int button = 0; button < MainToolBar::kButtonCount; ++button) {
    QVERIFY(!window_->ToolBar().ButtonAt(button)->isEnabled());
  }
  // Carried out directly, a disabled command still does nothing.
  SessionLog log(*document);
  window_->Route(Command::kReadDevice);
  QTest::qWait(100);
  QCOMPARE(log.Count<StartedEvent>(), std::size_t{0});
  QVERIFY(document->Session().WorkerRunning());
  Screenshot("main_window_empty");

  // The unit arrives: everything follows, the indicator first among them.
  StartUnit();
  QVERIFY(WaitConnected(true));
  for (Command command : document_commands) QVERIFY(window_->ActionFor(command)->isEnabled());
  for (int button = 0; button < MainToolBar::kButtonCount; ++button) {
    QVERIFY(window_->ToolBar().ButtonAt(button)->isEnabled());
  }
  QTRY_VERIFY(!document->View().Output().toPlainText().isEmpty());  // the model line

  // Insert Below twice through the form's button; then screenshot with rows.
  QTest::mouseClick(&document->View().InsertBelowButton(), Qt::LeftButton);
  QTest::mouseClick(&document->View().InsertBelowButton(), Qt::LeftButton);
  QCOMPARE(document->View().List().RowCount(), 2);
  QTRY_COMPARE(document->View().OffsetField().text().isEmpty(), false);
  Screenshot("main_window_connected");

  Unplug();
  QVERIFY(WaitConnected(false));
  for (Command command : document_commands) QVERIFY(!window_->ActionFor(command)->isEnabled());
  QTRY_VERIFY(document->View().Output().toPlainText().isEmpty());
}

void AppTest::PromptsAndKeys() {
  OpenWindow();
  struct Expected {
    Command command;
    const char* status_tip;
    const char* tool_tip;
    QList<QKeySequence> keys;  // among the action's keys
  };
  const Expected table[] = {
      {Command::kFileNew, "Create a new document", "New", {Qt::CTRL | Qt::Key_N}},
      {Command::kFileOpen, "Open Protocol File", "Open", {Qt::CTRL | Qt::Key_O}},
      {Command::kFileSave,
       "Save As Protocol File",
       "Save",
       {Qt::CTRL | Qt::Key_S, Qt::CTRL | Qt::SHIFT | Qt::Key_S}},
      {Command::kFileClose,
       "Close the active document",
       "Close",
       {Qt::CTRL | Qt::Key_W, Qt::CTRL | Qt::Key_F4}},
      {Command::kExit, "Quit the application", "Quit", {Qt::CTRL | Qt::Key_Q}},
      {Command::kToggleStatusBar, "Show or hide the status bar", "Toggle Status Bar", {}},
      {Command::kReadDevice, "Read Stravon Device", "", {}},
      {Command::kProgramDevice, "Program Stravon Device", "", {}},
  };
  for (const Expected& expected : table) {
    QAction* action = window_->ActionFor(expected.command);
    QVERIFY(action != nullptr);
    QCOMPARE(action->statusTip(), QString(expected.status_tip));
    for (const QKeySequence& key : expected.keys) {
      // Held twice, a key is ambiguous and does nothing.
      QVERIFY2(action->shortcuts().count(key) == 1, qPrintable(key.toString()));
    }
    if (expected.keys.isEmpty()) QVERIFY(action->shortcuts().isEmpty());
    if (*expected.tool_tip != '\0') QCOMPARE(action->toolTip(), QString(expected.tool_tip));
  }
  QCOMPARE(window_->ToolBar().ButtonAt(MainToolBar::kIndicator)->statusTip(),
           QString("Ensure that the device is powered on and all cables are properly connected"));
  QCOMPARE(window_->ToolBar().ButtonAt(MainToolBar::kRead)->toolTip(), QString());
}

void AppTest::SecondWindowFromTheKeyboard() {
  OpenWindow();
  DocumentWindow* first = window_->NewDocument();
  window_->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  QTest::keyClick(window_.get(), Qt::Key_N, Qt::ControlModifier);
  QCOMPARE(window_->Documents().size(), 2);
  DocumentWindow* second = Document();
  QVERIFY(second != first);
  QTest::keyClick(window_.get(), Qt::Key_F6, Qt::ControlModifier);
  QCOMPARE(Document(), first);
  QTest::keyClick(window_.get(), Qt::Key_F6, Qt::ControlModifier);
  QCOMPARE(Document(), second);
  QTest::keyClick(window_.get(), Qt::Key_Tab, Qt::ControlModifier);
  QCOMPARE(Document(), first);
  QTest::keyClick(window_.get(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(Document(), second);

  // Closing the active one leaves the other; closing both brings menu 128 back.
  QTest::keyClick(window_.get(), Qt::Key_W, Qt::ControlModifier);
  QTRY_COMPARE(window_->Documents().size(), 1);
  QCOMPARE(Document(), first);
  QTest::keyClick(window_.get(), Qt::Key_W, Qt::ControlModifier);
  QTRY_COMPARE(window_->Documents().size(), 0);
  window_->UpdateCommandStates();
  QCOMPARE(MenuTitles(window_->CurrentMenus()), (QStringList{"&File", "&View", "&Help"}));
}

void AppTest::ReadAndProgramDeviceReportInOrder() {
  StartUnit();
  OpenWindow();
  DocumentWindow* document = window_->NewDocument();
  QVERIFY(WaitConnected(true));
  views::OutputPane& pane = document->View().Output();

  // Program the unit with two sets, then read them back into an empty list.
  QTest::mouseClick(&document->View().InsertBelowButton(), Qt::LeftButton);
  QTest::mouseClick(&document->View().InsertBelowButton(), Qt::LeftButton);
  document->View().List().selectRow(1);
  QTest::mouseClick(&document->View().EditButton(), Qt::LeftButton);  // 5 repetitions
  window_->Route(Command::kProgramDevice);
  QTRY_VERIFY_WITH_TIMEOUT(pane.toPlainText().contains("Verifying Device..."), 15000);
  QCOMPARE(pane.toPlainText(),
           QString("\nProgramming Device... Success\nVerifying Device... Success\n"));

  document->View().List().selectAll();
  QTest::keyClick(&document->View().List(), Qt::Key_Delete);
  QCOMPARE(document->View().List().RowCount(), 0);
  // The emptied list is an unsaved edit, which the read replaces.
  QVERIFY(WithDialog<QMessageBox>(
      "read_over_edits", [&] { window_->Route(Command::kReadDevice); },
      [](QMessageBox& box) { box.button(QMessageBox::Discard)->click(); }));
  QTRY_VERIFY_WITH_TIMEOUT(pane.toPlainText().contains("Reading Device..."), 15000);
  // Cleared first, the rows refreshed, then the outcome: nothing else between.
  QCOMPARE(pane.toPlainText(), QString("\nReading Device... Success\n"));
  QCOMPARE(document->View().List().RowCount(), 2);
  QCOMPARE(document->View().List().Model().index(1, 5).data().toString(), QString("5"));
}

void AppTest::DialogsOpenFromTheirCommands() {
  StartUnit();
  OpenWindow(ProgramDialogs(*settings_));
  DocumentWindow* document = window_->NewDocument();
  QVERIFY(WaitConnected(true));
  InsertTwoSets(*document);

  QVERIFY(WithDialog<AboutDialog>(
      "about", [&] { window_->Route(Command::kAbout); },
      [](AboutDialog& dialog) { dialog.reject(); }));
  QVERIFY(WithDialog<OffsetHelpDialog>(
      "offset_help", [&] { QTest::mouseClick(&document->View().HelpButton(), Qt::LeftButton); },
      [](OffsetHelpDialog& dialog) { dialog.reject(); }));

  // The set editor: OK hands the edited set to the list, Cancel changes nothing.
  document->View().List().selectRow(1);
  for (const bool ok : {true, false}) {
    QVERIFY(WithDialog<SetEditorDialog>(
        ok ? "set_editor" : "set_editor_cancel",
        [&] { QTest::mouseClick(&document->View().EditButton(), Qt::LeftButton); },
        [ok](SetEditorDialog& dialog) {
          Child<QLineEdit>(dialog, "repetitions")->setText(ok ? "7" : "9");
          if (ok)
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
          else
            dialog.reject();
        }));
    QCOMPARE(document->View().List().Model().index(1, 5).data().toString(), QString("7"));
  }

  // Move To Position asks for the move to the dialog's target.
  const MoveToSizeFields opened =
      OpenMoveToSize(document->Doc().CurrentOffset(), document->Doc().Settings());
  const std::int32_t target =
      AcceptMoveToSize({"5", opened.minimum_size, opened.maximum_size}, document->Doc().Settings())
          .target;
  SessionLog move_log(*document);
  QVERIFY(WithDialog<MoveToSizeDialog>(
      "move_to_size", [&] { window_->Route(Command::kMoveToPosition); },
      [](MoveToSizeDialog& dialog) {
        Child<QLineEdit>(dialog, "newSize")->setText("5");
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
      }));
  QTRY_COMPARE_WITH_TIMEOUT(unit_->Position(), target, 10000);
  QTRY_VERIFY_WITH_TIMEOUT(!unit_->IsMoving(), 10000);
  // The move's end reaches the window a little after the unit stops.
  QTRY_COMPARE_WITH_TIMEOUT(move_log.Count<FinishedEvent>(), std::size_t{1}, 5000);

  // Hardware settings: Program asks the session and stays open, disabled
  // until the request has finished.
  SessionLog log(*document);
  QVERIFY(WithDialog<HardwareSettingsDialog>(
      "hardware_settings", [&] { window_->Route(Command::kHardwareSettings); },
      [&](HardwareSettingsDialog& dialog) {
        auto* program = Child<QPushButton>(dialog, "program");
        Child<QLineEdit>(dialog, "softLimit")->setText("7");
        program->click();
        // Unless the worker was already done with it (it needs only a few
        // exchanges), the request is still pending.
        QVERIFY(!program->isEnabled() || log.Count<FinishedEvent>() > 0);
        QVERIFY(dialog.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(program->isEnabled(), 10000);
        Child<QPushButton>(dialog, "done")->click();
      }));
  QCOMPARE(log.Count<FinishedEvent>(), std::size_t{1});
  QVERIFY(log.LastFinished().outcome.Done());
  QCOMPARE(document->Doc().Settings().TravelSoftLimit, 7.0f);
}

void AppTest::VerifyCatchesAByteStoredWrongly() {
  StartUnit();
  OpenWindow();
  DocumentWindow* document = window_->NewDocument();
  QVERIFY(WaitConnected(true));
  InsertTwoSets(*document);
  QVERIFY(window_->ActionFor(Command::kVerifyAfterProgramming)->isChecked());

  // The unit acknowledges the second page it is sent (the first is the
  // cleared one that is written again last) but keeps its fourth byte inverted.
  unit_->InjectFault(sim::Fault::CorruptStore(3).Skip(1));
  SessionLog log(*document);
  // Loudly: an error box that names the address and the bytes.
  QString box_text;
  QVERIFY(WithDialog<QMessageBox>(
      "verify_failed",
      [&] {
        window_->Route(Command::kProgramDevice);
        QTRY_VERIFY_WITH_TIMEOUT(log.Count<FinishedEvent>() == 1, 20000);
      },
      [&](QMessageBox& box) {
        box_text = box.text();
        box.accept();
      }));
  QVERIFY2(box_text.contains("Failure at address 0x6E43"), qPrintable(box_text));
  QVERIFY2(box_text.contains("The unit now holds no protocol"), qPrintable(box_text));
  const Outcome outcome = log.LastFinished().outcome;
  QCOMPARE(int(outcome.kind), int(Outcome::Kind::kFailed));
  QCOMPARE(int(outcome.step), int(Outcome::Step::kVerify));
  QVERIFY(outcome.mismatch.has_value());
  QCOMPARE(outcome.mismatch->address, std::uint32_t{0x6E43});
  QTRY_VERIFY(document->View().Output().toPlainText().contains(
      "Programming Device... Success\nVerifying Device... Failure at address 0x6E43"));

  // Turned off (and kept so for this user), Program Device only writes.
  window_->ActionFor(Command::kVerifyAfterProgramming)->trigger();
  QCOMPARE(settings_->ReadInteger("Settings", "VerifyAfterProgramming", 1), 0);
  window_->Route(Command::kProgramDevice);
  QTRY_VERIFY_WITH_TIMEOUT(log.Count<FinishedEvent>() == 2, 20000);
  QVERIFY(log.LastFinished().outcome.Done());
  QTRY_COMPARE(document->View().Output().toPlainText(),
               QString("\nProgramming Device... Success\n"));
  window_->ActionFor(Command::kVerifyAfterProgramming)->trigger();
}

void AppTest::ProgressWindowShowsAndCancelsATransfer() {
  sim::UnitOptions slow;
  slow.pacing_baud = 9600;  // a whole read takes far longer than this test
  StartUnit(slow);
  OpenWindow();
  DocumentWindow* document = window_->NewDocument();
  QVERIFY(WaitConnected(true));
  InsertTwoSets(*document);
  const TestSequence before = document->Doc().Protocol();

  SessionLog log(*document);
  // The inserted sets are unsaved edits, which a read would replace.
  QVERIFY(WithDialog<QMessageBox>(
      "read_over_inserted", [&] { window_->Route(Command::kReadDevice); },
      [](QMessageBox& box) { box.button(QMessageBox::Discard)->click(); }));
  QTRY_VERIFY_WITH_TIMEOUT(ShownProgress() != nullptr, 10000);
  views::ProgressWindowWidget* progress = ShownProgress();
  QCOMPARE(progress->MessageText(), QString("Reading Device..."));
  QTRY_VERIFY_WITH_TIMEOUT(progress->windowTitle().startsWith("Progress ["), 10000);
  // Only the document's view is closed to input: the main window can still
  // be closed, and nothing else can start on this unit meanwhile.
  QVERIFY(!document->View().isEnabled());
  QVERIFY(progress->CancelButton()->isEnabled());
  QVERIFY(window_->ActionFor(Command::kExit)->isEnabled());
  QVERIFY(!window_->ActionFor(Command::kProgramDevice)->isEnabled());
  Screenshot("main_window_progress");
  if (const QString folder = qEnvironmentVariable("STRAVON_SCREENSHOT_DIR"); !folder.isEmpty()) {
    progress->grab().save(folder + "/app_progress_window.png");
  }
  QTest::mouseClick(progress->CancelButton(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(log.Count<FinishedEvent>() > 0, 5000);
  QCOMPARE(int(log.LastFinished().outcome.kind), int(Outcome::Kind::kCancelled));
  QTRY_VERIFY(document->View().Output().toPlainText().contains("Reading Device... Cancelled"));
  QVERIFY(document->Doc().Protocol() == before);
  QTRY_VERIFY(ShownProgress() == nullptr);
  QVERIFY(document->View().isEnabled());
  QVERIFY(window_->ActionFor(Command::kProgramDevice)->isEnabled());
}

namespace {

// How the operator lets go of a jog (or ends a move) in the table below.
enum class LetGo {
  kReleaseElsewhere,  // the button comes up over another widget
  kLeaveButton,       // dragged off the button, still held
  kEscape,
  kDeactivate,  // the main window loses activation
  kCloseDocument,
  kQuit,
  kCloseDuringMove,
  kQuitDuringMove,
};

}  // namespace

void AppTest::MotionStopsWheneverTheOperatorLetsGo_data() {
  QTest::addColumn<int>("let_go");
  QTest::newRow("release elsewhere") << int(LetGo::kReleaseElsewhere);
  QTest::newRow("leave button") << int(LetGo::kLeaveButton);
  QTest::newRow("escape") << int(LetGo::kEscape);
  QTest::newRow("deactivate") << int(LetGo::kDeactivate);
  QTest::newRow("close document") << int(LetGo::kCloseDocument);
  QTest::newRow("quit") << int(LetGo::kQuit);
  QTest::newRow("close during move") << int(LetGo::kCloseDuringMove);
  QTest::newRow("quit during move") << int(LetGo::kQuitDuringMove);
}

void AppTest::MotionStopsWheneverTheOperatorLetsGo() {
  QFETCH(int, let_go);
  const auto how = static_cast<LetGo>(let_go);
  sim::UnitOptions slow;
  slow.motion_speed = 1e-5;  // a jog runs for far longer than the test
  StartUnit(slow);
  OpenWindow();
  QPointer<DocumentWindow> document = window_->NewDocument();
  QVERIFY(WaitConnected(true));
  QToolButton* plus = window_->ToolBar().ButtonAt(MainToolBar::kJogPlus);

  if (how == LetGo::kCloseDuringMove || how == LetGo::kQuitDuringMove) {
    QVERIFY(document->Doc().Move(unit_->Position() + 2000).Accepted());
  } else {
    QTest::mousePress(plus, Qt::LeftButton);
    QVERIFY(document->Jogging() == JogDirection::kPlus);
  }
  QTRY_VERIFY_WITH_TIMEOUT(unit_->IsMoving(), 5000);

  QElapsedTimer timer;
  timer.start();
  switch (how) {
    case LetGo::kReleaseElsewhere:
      QTest::mouseRelease(&document->View().List(), Qt::LeftButton);
      break;
    case LetGo::kLeaveButton:
      QTest::mouseMove(plus, QPoint(plus->width() + 40, plus->height() / 2));
      break;
    case LetGo::kEscape:
      QTest::keyClick(&document->View().List(), Qt::Key_Escape);
      break;
    case LetGo::kDeactivate: {
      QEvent deactivate(QEvent::WindowDeactivate);
      QApplication::sendEvent(window_.get(), &deactivate);
      break;
    }
    case LetGo::kCloseDocument:
    case LetGo::kCloseDuringMove:
      document->close();
      break;
    case LetGo::kQuit:
    case LetGo::kQuitDuringMove:
      window_->close();
      break;
  }
  QTRY_VERIFY_WITH_TIMEOUT(!unit_->IsMoving(), 2000);
  QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
  if (document) QVERIFY(!document->Jogging());
  if (how == LetGo::kQuit || how == LetGo::kQuitDuringMove || how == LetGo::kCloseDocument ||
      how == LetGo::kCloseDuringMove) {
    QTRY_VERIFY_WITH_TIMEOUT(!document || !document->Session().WorkerRunning(), 1000);
    return;
  }
  // Still held, the button does not start the jog again by coming back
  // under the pointer; only a new press does.
  QTest::mouseMove(plus, QPoint(plus->width() / 2, plus->height() / 2));
  QVERIFY(!document->Jogging());
  QTest::mouseRelease(plus, Qt::LeftButton);
  QTest::mousePress(plus, Qt::LeftButton);
  QVERIFY(document->Jogging() == JogDirection::kPlus);
  QTest::mouseRelease(plus, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(!unit_->IsMoving(), 2000);
}

void AppTest::HeldJogIsConfirmedUntilReleased() {
  QWidget window;
  auto* button = new QToolButton(&window);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  int confirmations = 0;
  int releases = 0;
  JogGuard guard(
      &window, [&] { ++releases; }, [&] { ++confirmations; });
  button->setDown(true);  // as a press leaves it
  guard.Engage(button);
  QCOMPARE(QWidget::mouseGrabber(), button);
  QTest::qWait(int(kJogConfirmInterval.count()) * 4 + 50);
  QVERIFY2(confirmations >= 4, qPrintable(QString::number(confirmations)));
  QTest::mouseRelease(&window, Qt::LeftButton);
  QCOMPARE(releases, 1);
  QVERIFY(!guard.Engaged());
  // Released elsewhere, the button is drawn released too.
  QVERIFY(!button->isDown());
  QVERIFY(QWidget::mouseGrabber() == nullptr);
  const int after = confirmations;
  QTest::qWait(int(kJogConfirmInterval.count()) * 2 + 50);
  QCOMPARE(confirmations, after);
  QTest::mouseRelease(&window, Qt::LeftButton);
  QCOMPARE(releases, 1);
}

void AppTest::ClosingTheWindowDuringATransferCancelsIt() {
  sim::UnitOptions slow;
  slow.pacing_baud = 9600;  // about twenty seconds for a whole read
  StartUnit(slow);
  OpenWindow();
  QPointer<DocumentWindow> document = window_->NewDocument();
  QVERIFY(WaitConnected(true));
  SessionLog log(*document);
  const int connected = unit_->CommandCount(sim::CommandKind::kReadByte);
  window_->Route(Command::kReadDevice);
  QTRY_VERIFY_WITH_TIMEOUT(unit_->CommandCount(sim::CommandKind::kReadByte) > connected + 30,
                           10000);

  QElapsedTimer timer;
  timer.start();
  QVERIFY(document->close());
  QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
  QVERIFY(!document->Session().WorkerRunning());
  // Cut short as Cancel would: nothing more is read from the unit. A command
  // written before the close may still be on its way down the slow line.
  QCOMPARE(log.Count<FinishedEvent>(), std::size_t{1});
  QCOMPARE(int(log.LastFinished().outcome.kind), int(Outcome::Kind::kCancelled));
  QTest::qWait(300);
  const std::size_t exchanges = unit_->Transcript().size();
  QTest::qWait(300);
  QCOMPARE(unit_->Transcript().size(), exchanges);
  QTRY_VERIFY_WITH_TIMEOUT(document.isNull(), 1000);
}

void AppTest::LogMovesToTheNextOpenWindow() {
  OpenWindow();
  QPointer<DocumentWindow> first = window_->NewDocument();
  QPointer<DocumentWindow> second = window_->NewDocument();
  MessageLog& log = MessageLog::Obtain();
  log.Log("to the first\n");
  QTRY_VERIFY(first->View().Output().toPlainText().contains("to the first"));
  QVERIFY(!second->View().Output().toPlainText().contains("to the first"));

  // The first window goes (and is deleted): the second's pane takes the log.
  QVERIFY(first->close());
  QTRY_VERIFY(first.isNull());
  log.Log("to the second\n");
  QTRY_VERIFY(second->View().Output().toPlainText().contains("to the second"));

  // None open: standard output only, and nothing points at a closed window.
  QVERIFY(second->close());
  QTRY_VERIFY(second.isNull());
  QVERIFY(!log.HasSink());
  log.Log("to standard output\n");
  // A new window takes the free place.
  DocumentWindow* third = window_->NewDocument();
  QVERIFY(log.HasSink());
  log.Log("to the third\n");
  QTRY_VERIFY(third->View().Output().toPlainText().contains("to the third"));
}

namespace {

enum class Answer { kSave, kDiscard, kCancel };

}  // namespace

void AppTest::UnsavedEditsAskBeforeClosing_data() {
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("quit");
  // The key that closes the document window (none: its own close).
  QTest::addColumn<QKeySequence>("key");
  const QKeySequence ctrl_w(Qt::CTRL | Qt::Key_W);
  QTest::newRow("close: save") << int(Answer::kSave) << false << ctrl_w;
  QTest::newRow("close: discard") << int(Answer::kDiscard) << false << ctrl_w;
  QTest::newRow("close: cancel") << int(Answer::kCancel) << false << ctrl_w;
  QTest::newRow("close Ctrl+F4: discard")
      << int(Answer::kDiscard) << false << QKeySequence(Qt::CTRL | Qt::Key_F4);
  QTest::newRow("close button: cancel") << int(Answer::kCancel) << false << QKeySequence();
  QTest::newRow("quit: cancel") << int(Answer::kCancel) << true << QKeySequence();
  QTest::newRow("quit: discard") << int(Answer::kDiscard) << true << QKeySequence();
}

void AppTest::UnsavedEditsAskBeforeClosing() {
  QFETCH(int, answer);
  QFETCH(bool, quit);
  QFETCH(QKeySequence, key);
  StartUnit();
  OpenWindow();
  QPointer<DocumentWindow> document = window_->NewDocument();
  QVERIFY(WaitConnected(true));
  QVERIFY(!document->Modified());

  // Programmed, the list agrees with the unit; an insert after that does not.
  InsertTwoSets(*document);
  QVERIFY(document->Modified());
  SessionLog log(*document);
  window_->Route(Command::kProgramDevice);
  QTRY_VERIFY_WITH_TIMEOUT(log.Count<FinishedEvent>() > 0, 20000);
  QTRY_VERIFY(!document->Modified());
  QTest::mouseClick(&document->View().InsertBelowButton(), Qt::LeftButton);
  QVERIFY(document->Modified());
  // For the keys: the progress window had the activation.
  window_->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window_.get()));

  QTemporaryDir folder;
  const QString saved = folder.filePath("kept.tmt");
  QMessageBox::StandardButtons buttons;
  bool closed = false;
  QTimer file_poll;
  file_poll.setInterval(20);
  connect(&file_poll, &QTimer::timeout, this, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    file_poll.stop();
    ChooseFile(*dialog, saved);
  });
  const bool shown = WithDialog<QMessageBox>(
      "unsaved_edits",
      [&] {
        if (quit) {
          closed = window_->close();
        } else if (!key.isEmpty()) {
          QTest::keySequence(window_.get(), key);
          closed = !document || !document->isVisible();
        } else {
          closed = document->close();
        }
      },
      [&](QMessageBox& box) {
        QCOMPARE(box.text(), QString(kUnsavedEditsQuestion));
        buttons = box.standardButtons();
        const auto which = static_cast<Answer>(answer);
        if (which == Answer::kSave) {
          // Save runs the real file dialog next.
          file_poll.start();
          box.button(QMessageBox::Save)->click();
        } else {
          box.button(which == Answer::kDiscard ? QMessageBox::Discard : QMessageBox::Cancel)
              ->click();
        }
      });
  QVERIFY(shown);
  QCOMPARE(buttons, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
  switch (static_cast<Answer>(answer)) {
    case Answer::kSave:
      QVERIFY(closed);
      QVERIFY(QFile::exists(saved));
      QCOMPARE(settings_->RecentFiles().value(0), saved);
      break;
    case Answer::kDiscard:
      QVERIFY(closed);
      break;
    case Answer::kCancel:
      QVERIFY(!closed);
      QVERIFY(document && document->isVisible());
      QVERIFY(document->Session().WorkerRunning());
      QCOMPARE(document->View().List().RowCount(), 3);
      break;
  }

  // Without a unit Save cannot check the sets: only Discard and Cancel.
  if (closed) return;
  Unplug();
  QVERIFY(WaitConnected(false));
  QVERIFY(WithDialog<QMessageBox>(
      "unsaved_edits_without_unit", [&] { document->close(); },
      [&](QMessageBox& box) {
        buttons = box.standardButtons();
        box.button(QMessageBox::Cancel)->click();
      }));
  QCOMPARE(buttons, QMessageBox::Discard | QMessageBox::Cancel);
}

void AppTest::UnsavedEditsAskBeforeReadOrOpen_data() {
  QTest::addColumn<int>("command");
  QTest::addColumn<int>("answer");
  for (const Command command : {Command::kReadDevice, Command::kFileOpen}) {
    const char* name = command == Command::kReadDevice ? "read" : "open";
    QTest::addRow("%s: save", name) << int(command) << int(Answer::kSave);
    QTest::addRow("%s: discard", name) << int(command) << int(Answer::kDiscard);
    QTest::addRow("%s: cancel", name) << int(command) << int(Answer::kCancel);
  }
}

void AppTest::UnsavedEditsAskBeforeReadOrOpen() {
  QFETCH(int, command);
  QFETCH(int, answer);
  const bool read = static_cast<Command>(command) == Command::kReadDevice;
  const auto which = static_cast<Answer>(answer);
  StartUnit();
  OpenWindow();
  QPointer<DocumentWindow> document = window_->NewDocument();
  QVERIFY(WaitConnected(true));
  // The unit holds two sets; the list has a third, unsaved.
  InsertTwoSets(*document);
  SessionLog log(*document);
  window_->Route(Command::kProgramDevice);
  QTRY_VERIFY_WITH_TIMEOUT(log.Count<FinishedEvent>() == 1, 20000);
  QTRY_VERIFY(!document->Modified());
  QTest::mouseClick(&document->View().InsertBelowButton(), Qt::LeftButton);
  QVERIFY(document->Modified());

  // A file of one set to open; the edits are saved to another.
  QTemporaryDir folder;
  const QString saved = folder.filePath("kept.tmt");
  const QString other = folder.filePath("other.tmt");
  QFile file(other);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(
      "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\t"
      "HoldTimeSec\tRestTimeSec\tNumReps\tTimeUnits\t\n"
      "Ramp\tmm\t0.5\t2\t2\t1\t5\t10\tSeconds\t\n");
  file.close();
  QStringList chosen;
  QPointer<QFileDialog> last;
  QTimer file_poll;
  file_poll.setInterval(20);
  connect(&file_poll, &QTimer::timeout, this, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || dialog == last) return;
    last = dialog;
    chosen << (dialog->acceptMode() == QFileDialog::AcceptSave ? saved : other);
    ChooseFile(*dialog, chosen.back());
  });
  file_poll.start();

  QMessageBox::StandardButtons buttons;
  QVERIFY(WithDialog<QMessageBox>(
      read ? "unsaved_edits_before_read" : "unsaved_edits_before_open",
      [&] { window_->Route(static_cast<Command>(command)); },
      [&](QMessageBox& box) {
        QCOMPARE(box.text(),
                 QString(read ? kUnsavedEditsBeforeReadQuestion : kUnsavedEditsBeforeOpenQuestion));
        buttons = box.standardButtons();
        box.button(which == Answer::kSave      ? QMessageBox::Save
                   : which == Answer::kDiscard ? QMessageBox::Discard
                                               : QMessageBox::Cancel)
            ->click();
      }));
  QCOMPARE(buttons, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
  if (which == Answer::kCancel) {
    // Nothing read, nothing chosen: the edits stay as they were.
    QTest::qWait(500);
    QCOMPARE(log.Count<FinishedEvent>(), std::size_t{1});
    QVERIFY(chosen.isEmpty());
    QCOMPARE(document->View().List().RowCount(), 3);
    QVERIFY(document->Modified());
    return;
  }
  if (read) QTRY_VERIFY_WITH_TIMEOUT(log.Count<FinishedEvent>() == 2, 20000);
  QCOMPARE(document->View().List().RowCount(), read ? 2 : 1);
  QVERIFY(!document->Modified());
  const QStringList expected_choices =
      (which == Answer::kSave ? QStringList{saved} : QStringList{}) +
      (read ? QStringList{} : QStringList{other});
  QCOMPARE(chosen, expected_choices);
  QCOMPARE(QFile::exists(saved), which == Answer::kSave);
}

void AppTest::EndingWithoutAskingKeepsTheEdits_data() {
  QTest::addColumn<bool>("restore");
  QTest::newRow("restored") << true;
  QTest::newRow("discarded") << false;
}

void AppTest::EndingWithoutAskingKeepsTheEdits() {
  QFETCH(bool, restore);
  StartUnit();
  OpenWindow();
  QPointer<DocumentWindow> edited = window_->NewDocument();
  QVERIFY(WaitConnected(true));
  InsertTwoSets(*edited);
  // What a protocol file keeps of a sequence.
  const auto file_text = [](TestSequence sequence) {
    std::ostringstream text;
    sequence.WriteProtocol(text);
    return text.str();
  };
  const std::string edits = file_text(edited->Stage().WorkingSequence());
  QPointer<DocumentWindow> unedited = window_->NewDocument();  // nothing to keep of it

  QTemporaryDir state;
  RecoveryStore store(state.filePath("stravon").toStdString());
  int status = -1;
  {
    SignalWatch watch;
    ProgramEnding ending(*window_, &store, watch, [&status](int code) { status = code; });
    QCOMPARE(std::raise(SIGTERM), 0);
    QTRY_COMPARE(status, 128 + SIGTERM);
  }
  QVERIFY(!edited->Session().WorkerRunning());
  QVERIFY(!unedited->Session().WorkerRunning());
  const std::vector<std::string> kept = store.List();
  QCOMPARE(kept.size(), std::size_t{1});

  // The next start offers it.
  window_.reset();
  OpenWindow();
  RecoveryStore next(store.Folder());
  QVERIFY(WithDialog<QMessageBox>(
      "recovery_offer", [&] { OfferKeptProtocols(*window_, next); },
      [&](QMessageBox& box) {
        QCOMPARE(box.text(), QString(kRecoveryQuestion));
        QCOMPARE(box.informativeText(), QString::fromStdString(kept[0]));
        if (restore) {
          box.defaultButton()->click();
        } else {
          box.button(QMessageBox::Discard)->click();
        }
      }));
  if (!restore) {
    QVERIFY(window_->Documents().isEmpty());
    QVERIFY(next.List().empty());
    return;
  }
  QCOMPARE(window_->Documents().size(), 1);
  QCOMPARE(file_text(Document()->Stage().WorkingSequence()), edits);
  QCOMPARE(Document()->View().List().RowCount(), 2);
  QVERIFY(Document()->Modified());
  // The file stays until this run ends cleanly.
  QCOMPARE(next.List(), kept);
  next.RemoveClaimed();
  QVERIFY(next.List().empty());
}

void AppTest::InsertWaitsForTheUnitsSettings() {
  OpenWindow();
  DocumentWindow* document = window_->NewDocument();
  QPushButton& insert = document->View().InsertBelowButton();
  QTRY_VERIFY(!insert.isEnabled());
  QVERIFY(!document->View().InsertAboveButton().isEnabled());
  QVERIFY(insert.toolTip().contains("settings have been read"));
  StartUnit();
  QVERIFY(WaitConnected(true));
  QVERIFY(insert.isEnabled());
  QVERIFY(insert.toolTip().isEmpty());
}

void AppTest::JogButtonsStartAndStopTheJog() {
  OpenWindow();
  DocumentWindow* document = window_->NewDocument();
  QToolButton* plus = window_->ToolBar().ButtonAt(MainToolBar::kJogPlus);
  QToolButton* minus = window_->ToolBar().ButtonAt(MainToolBar::kJogMinus);
  // Not connected: the buttons are disabled and pressing changes nothing.
  QTest::mousePress(plus, Qt::LeftButton);
  QVERIFY(!document->Jogging());
  QTest::mouseRelease(plus, Qt::LeftButton);

  StartUnit();
  QVERIFY(WaitConnected(true));
  SessionLog log(*document);
  struct Case {
    QToolButton* button;
    JogDirection while_held;
  };
  std::size_t stops = 0;
  for (const Case& jog : {Case{plus, JogDirection::kPlus}, Case{minus, JogDirection::kMinus}}) {
    QTest::mousePress(jog.button, Qt::LeftButton);
    QVERIFY(document->Jogging() == jog.while_held);
    QTest::mouseRelease(jog.button, Qt::LeftButton);
    QVERIFY(!document->Jogging());
    // The release's stop went out to the unit.
    ++stops;
    QTRY_COMPARE_WITH_TIMEOUT(log.Count<JogStoppedEvent>(), stops, 5000);
  }

  // Held while the unit goes away: the disabled button lets go of the jog.
  QTest::mousePress(plus, Qt::LeftButton);
  QVERIFY(document->Jogging() == JogDirection::kPlus);
  Unplug();
  QVERIFY(WaitConnected(false));
  QVERIFY(!document->Jogging());
}

void AppTest::WindowFollowsTheUnitWithoutATimer() {
  OpenWindow();
  DocumentWindow* document = window_->NewDocument();
  // Nothing ticks while nobody holds a jog button.
  for (QTimer* timer : window_->findChildren<QTimer*>()) {
    QVERIFY2(!timer->isActive(), qPrintable(timer->parent()->metaObject()->className()));
  }

  // The main window has followed each event by the time it is announced:
  // what it shows is read right then, not some time later.
  QToolButton* indicator = window_->ToolBar().ButtonAt(MainToolBar::kIndicator);
  QAction* read = window_->ActionFor(Command::kReadDevice);
  struct Seen {
    bool indicator;
    bool read;
    bool insert;
  };
  std::vector<Seen> on_connect;
  std::vector<Seen> on_disconnect;
  QObject context;
  connect(&document->Events(), &SessionEvents::Handled, &context, [&](const SessionEvent& event) {
    const Seen seen{indicator->isEnabled(), read->isEnabled(),
                    document->View().InsertBelowButton().isEnabled()};
    if (std::holds_alternative<ConnectedEvent>(event)) on_connect.push_back(seen);
    if (std::holds_alternative<DisconnectedEvent>(event)) on_disconnect.push_back(seen);
  });
  QVERIFY(!indicator->isEnabled());
  StartUnit();
  QTRY_COMPARE_WITH_TIMEOUT(on_connect.size(), std::size_t{1}, kConnectMs);
  QVERIFY(on_connect[0].indicator && on_connect[0].read && on_connect[0].insert);
  Unplug();
  QTRY_COMPARE_WITH_TIMEOUT(on_disconnect.size(), std::size_t{1}, kConnectMs);
  QVERIFY(!on_disconnect[0].indicator && !on_disconnect[0].read && !on_disconnect[0].insert);
}

void AppTest::ClosingWhileAWorkerQuestionIsUpReturnsPromptly() {
  StartUnit();
  OpenWindow();
  QPointer<DocumentWindow> document = window_->NewDocument();
  QVERIFY(WaitConnected(true));

  // Program Device with an empty list: the worker waits on the commit, which
  // waits on its warning. The window is closed from inside that box.
  qint64 close_ms = -1;
  QString box_text;
  QTimer poll;
  poll.setInterval(10);
  connect(&poll, &QTimer::timeout, this, [&] {
    QMessageBox* box = ShownBox();
    if (box == nullptr || !document) return;
    poll.stop();
    box_text = box->text();
    QElapsedTimer timer;
    timer.start();
    document->close();
    close_ms = timer.elapsed();
  });
  poll.start();
  window_->Route(Command::kProgramDevice);
  QTRY_VERIFY_WITH_TIMEOUT(close_ms >= 0, 10000);
  QCOMPARE(box_text, QString("Please Specify a Test Sequence Before Executing"));
  QVERIFY2(close_ms < 1000, qPrintable(QString::number(close_ms)));
  QTRY_VERIFY_WITH_TIMEOUT(document.isNull(), 1000);
  QVERIFY(ShownBox() == nullptr);
}

void AppTest::QuittingDuringAProgramAsksFirstThenCancelsIt() {
  sim::UnitOptions slow;
  slow.pacing_baud = 9600;  // several seconds for the whole program
  StartUnit(slow);
  OpenWindow();
  DocumentWindow* document = window_->NewDocument();
  QVERIFY(WaitConnected(true));
  InsertTwoSets(*document);
  SessionLog log(*document);
  window_->Route(Command::kProgramDevice);
  QTRY_VERIFY_WITH_TIMEOUT(ShownProgress() != nullptr, 10000);
  QTRY_VERIFY_WITH_TIMEOUT(unit_->CommandCount(sim::CommandKind::kPageCommit) >= 2, 10000);

  // The edits are not on the unit yet: Cancel keeps the window and the
  // transfer goes on.
  QVERIFY(WithDialog<QMessageBox>(
      "quit_during_program", [&] { QVERIFY(!window_->close()); },
      [](QMessageBox& box) { box.button(QMessageBox::Cancel)->click(); }));
  QVERIFY(window_->isVisible());
  QCOMPARE(log.Count<FinishedEvent>(), std::size_t{0});
  const int commits = unit_->CommandCount(sim::CommandKind::kPageCommit);
  QTRY_VERIFY_WITH_TIMEOUT(unit_->CommandCount(sim::CommandKind::kPageCommit) > commits, 5000);

  QElapsedTimer timer;
  QVERIFY(WithDialog<QMessageBox>(
      "quit_during_program", [&] { QVERIFY(window_->close()); },
      [&](QMessageBox& box) {
        timer.start();
        box.button(QMessageBox::Discard)->click();
      }));
  // The transfer stops at once; the rest is the port's wait for a quiet line
  // and the stop the unit is sent last, as after Cancel.
  QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
  QVERIFY(!window_->isVisible());
  QCOMPARE(log.Count<FinishedEvent>(), std::size_t{1});
  const Outcome outcome = log.LastFinished().outcome;
  QCOMPARE(int(outcome.kind), int(Outcome::Kind::kCancelled));
  // As a cancelled program leaves it: the first page, written last, is the
  // cleared one, so the unit holds no protocol.
  QVERIFY(outcome.program_area_cleared);
  const std::vector<std::uint8_t> first_page = unit_->ReadMemory(kProgramImageAddress, 64);
  QVERIFY(std::all_of(first_page.begin(), first_page.end(), [](std::uint8_t b) { return b == 0; }));
}

void AppTest::SilentUnitIsShownAsWaited() {
  StartUnit();
  read_timeout_ms_ = 8000;  // the silence must outlast a second or two
  OpenWindow();
  DocumentWindow* document = window_->NewDocument();
  QVERIFY(WaitConnected(true));
  // The unit stops answering 14 % into the read.
  unit_->InjectFault(sim::Fault::Silence().For(sim::CommandKind::kReadByte).Skip(200));
  SessionLog log(*document);
  window_->Route(Command::kReadDevice);
  QTRY_VERIFY_WITH_TIMEOUT(ShownProgress() != nullptr, 10000);
  views::ProgressWindowWidget* progress = ShownProgress();
  QTRY_COMPARE_WITH_TIMEOUT(progress->windowTitle(), QString("Progress [14%]"), 10000);
  QTRY_COMPARE_WITH_TIMEOUT(progress->Bar()->Text(), QString("Waiting for the unit: 1 s"), 3000);
  QTRY_COMPARE_WITH_TIMEOUT(progress->Bar()->Text(), QString("Waiting for the unit: 2 s"), 2000);
  if (const QString folder = qEnvironmentVariable("STRAVON_SCREENSHOT_DIR"); !folder.isEmpty()) {
    progress->grab().save(folder + "/app_progress_waiting.png");
    QPalette dark = progress->palette();
    dark.setColor(QPalette::Window, QColor(0x2B, 0x2B, 0x2B));
    dark.setColor(QPalette::WindowText, QColor(0xE6, 0xE6, 0xE6));
    dark.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
    dark.setColor(QPalette::Button, QColor(0x3C, 0x3C, 0x3C));
    dark.setColor(QPalette::ButtonText, QColor(0xE6, 0xE6, 0xE6));
    dark.setColor(QPalette::Highlight, QColor(0x3D, 0x7A, 0xC7));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    progress->setPalette(dark);
    progress->grab().save(folder + "/app_progress_waiting_dark.png");
  }

  // Quitting ends the wait at once, as Cancel would.
  QElapsedTimer timer;
  timer.start();
  QVERIFY(window_->close());
  QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
  QCOMPARE(log.Count<FinishedEvent>(), std::size_t{1});
  QCOMPARE(int(log.LastFinished().outcome.kind), int(Outcome::Kind::kCancelled));
}

void AppTest::QuittingDuringATransferReturnsPromptly() {
  sim::UnitOptions slow;
  slow.pacing_baud = 9600;  // about twenty seconds for a whole read
  StartUnit(slow);
  OpenWindow();
  DocumentWindow* document = window_->NewDocument();
  QVERIFY(WaitConnected(true));
  window_->Route(Command::kReadDevice);
  // Well into the transfer.
  QTRY_VERIFY_WITH_TIMEOUT(unit_->Transcript().size() > 30, 10000);
  QVERIFY(document->Session().WorkerRunning());

  QElapsedTimer timer;
  timer.start();
  window_->close();
  QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
  QVERIFY(!document->Session().WorkerRunning());
  window_.reset();
  QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
}

void AppTest::SettingsAndRecentFiles() {
  QtSettingsStore& store = *settings_;
  // (The progress window keeps its position in X and Y of the same section.)
  QCOMPARE(store.ReadInteger("Settings", "Width", -1), -1);
  store.WriteInteger("Settings", "Width", 120);
  store.WriteString("Settings", "TemplateDir", "/data/protocols/");
  QCOMPARE(store.ReadInteger("Settings", "Width", -1), 120);
  QCOMPARE(store.ReadString("Settings", "TemplateDir", ""), std::string("/data/protocols/"));
  // Stored where every Stravon program of this user finds it.
  QCOMPARE(QSettings("Stravon", "Stravon").value("Settings/TemplateDir").toString(),
           QString("/data/protocols/"));
  QCOMPARE(store.ReadInteger("Settings", "TemplateDir", 7), 7);  // not an integer

  // A file named on the command line or in the recent list: a new window
  // showing the file's protocol (no unit needed), not counted as an unsaved
  // edit, and the file first in the list of four.
  OpenWindow();
  QTemporaryDir folder;
  QStringList paths;
  for (int i = 0; i < 5; ++i) {
    paths << folder.filePath(QString("p%1.tmt").arg(i));
    QFile file(paths.back());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "XFunction\tXUnits\tXMagnitude\tStretchDurationSec\tRecoveryDurationSec\t"
        "HoldTimeSec\tRestTimeSec\tNumReps\tTimeUnits\t\n");
    for (int set = 0; set <= i; ++set) file.write("Ramp\tmm\t0.5\t2\t2\t1\t5\t10\tSeconds\t\n");
    file.close();
    QVERIFY(window_->OpenDocumentFile(paths.back()));
  }
  QCOMPARE(window_->Documents().size(), 5);
  QCOMPARE(Document()->windowTitle(), QString("p4.tmt[*]"));
  QCOMPARE(Document()->View().List().RowCount(), 5);
  QCOMPARE(Document()->Doc().Protocol().sets.size(), 5u);
  QVERIFY(!Document()->Modified());
  QVERIFY(Document()->View().Output().toPlainText().contains("Protocol File Successfully Opened"));
  QCOMPARE(store.RecentFiles(), (QStringList{paths[4], paths[3], paths[2], paths[1]}));

  // Missing, or not a protocol: the reason, and no window. Only a file that
  // is gone leaves the recent list.
  const QString picture = folder.filePath("picture.png");
  QFile binary(picture);
  QVERIFY(binary.open(QIODevice::WriteOnly));
  binary.write("\x89PNG\r\n\x1a\n");
  binary.close();
  QString error;
  QVERIFY(!window_->OpenDocumentFile(picture, &error));
  QVERIFY2(error.contains("is not a protocol file"), qPrintable(error));
  QVERIFY(!window_->OpenDocumentFile(paths[3] + ".gone", &error));
  QVERIFY2(error.startsWith("Cannot open"), qPrintable(error));
  QFile::remove(paths[2]);
  QVERIFY(!window_->OpenDocumentFile(paths[2], &error));
  QCOMPARE(store.RecentFiles(), (QStringList{paths[4], paths[3], paths[1]}));
  QCOMPARE(window_->Documents().size(), 5);
}

void AppTest::TheDesktopKnowsTheWindows() {
  NameTheApplication();
  QFile entry(STRAVON_DESKTOP_ENTRY);
  QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
  QCOMPARE(QFileInfo(entry).completeBaseName(), QGuiApplication::desktopFileName());
  // Qt names the windows' class after the application.
  const QStringList lines = QString::fromUtf8(entry.readAll()).split('\n');
  QVERIFY(lines.contains("StartupWMClass=" + QApplication::applicationName()));
  QVERIFY(lines.contains("Icon=" + QGuiApplication::desktopFileName()));
  QVERIFY(!QApplication::windowIcon().pixmap(32).isNull());
}

void AppTest::TitlesFollowTheDocuments() {
  StartUnit();
  OpenWindow();
  QCOMPARE(window_->windowTitle(), QString("Stravon"));

  // The first window gets the unit, which its title names; the main window's
  // title names the document alone.
  DocumentWindow* first = window_->NewDocument();
  QCOMPARE(window_->windowTitle(), QString("Untitled 1[*] — Stravon"));
  QVERIFY(WaitConnected(true));
  const QString unit = QString::fromStdString(first->Doc().Settings().ModelName() + " on " + tty_);
  QTRY_COMPARE(first->windowTitle(), "Untitled 1[*] — " + unit);
  QVERIFY(!first->isWindowModified() && !window_->isWindowModified());
  QTest::mouseClick(&first->View().InsertBelowButton(), Qt::LeftButton);
  QVERIFY(first->isWindowModified() && window_->isWindowModified());

  // A window opened from a file is named after it and takes no number; the
  // next new one does. The unit is the first window's, so they have none.
  QTemporaryDir folder;
  const QString path = folder.filePath("cyclic.tmt");
  WriteProtocol(path);
  QVERIFY(window_->OpenDocumentFile(path));
  DocumentWindow* opened = Document();
  QCOMPARE(opened->windowTitle(), QString("cyclic.tmt[*]"));
  QCOMPARE(window_->windowTitle(), QString("cyclic.tmt[*] — Stravon"));
  QVERIFY(!window_->isWindowModified());
  DocumentWindow* third = window_->NewDocument();
  QCOMPARE(third->windowTitle(), QString("Untitled 2[*]"));

  // The main window's title and marker follow the active window.
  window_->Area().setActiveSubWindow(first);
  QCOMPARE(window_->windowTitle(), QString("Untitled 1[*] — Stravon"));
  QVERIFY(window_->isWindowModified());
  QVERIFY(WithDialog<QMessageBox>(
      "close_modified", [&] { window_->Route(Command::kFileClose); },
      [](QMessageBox& box) { box.button(QMessageBox::Discard)->click(); }));
  QTRY_COMPARE(window_->Documents().size(), 2);
  QVERIFY(window_->windowTitle() != QString("Untitled 1[*] — Stravon"));
  for (int left = 1; left >= 0; --left) {
    window_->Route(Command::kFileClose);
    QTRY_COMPARE(window_->Documents().size(), left);
  }
  QCOMPARE(window_->windowTitle(), QString("Stravon"));
  QVERIFY(!window_->isWindowModified());
}

void AppTest::OpenAndSaveFromBothMenuSetsAreRecent() {
  QTemporaryDir folder;
  const QString first = folder.filePath("first.tmt");
  const QString second = folder.filePath("second.tmt");
  const QString saved = folder.filePath("saved.tmt");
  WriteProtocol(first);
  WriteProtocol(second);
  for (const QString& file : settings_->RecentFiles()) settings_->RemoveRecentFile(file);
  StartUnit();
  OpenWindow();

  // No document: the application's Open.
  AnsweringFileDialog(first, [&] { window_->Route(Command::kFileOpen); });
  QCOMPARE(window_->Documents().size(), 1);
  QCOMPARE(settings_->RecentFiles(), QStringList{first});
  QVERIFY(WaitConnected(true));

  // The document's own Open and Save, which also rename the window.
  AnsweringFileDialog(second, [&] { window_->Route(Command::kFileOpen); });
  QCOMPARE(settings_->RecentFiles(), (QStringList{second, first}));
  QCOMPARE(window_->windowTitle(), QString("second.tmt[*] — Stravon"));
  QTest::mouseClick(&Document()->View().InsertBelowButton(), Qt::LeftButton);
  QVERIFY(window_->isWindowModified());
  AnsweringFileDialog(saved, [&] { window_->Route(Command::kFileSave); });
  QCOMPARE(settings_->RecentFiles(), (QStringList{saved, second, first}));
  QCOMPARE(window_->windowTitle(), QString("saved.tmt[*] — Stravon"));
  QVERIFY(!window_->isWindowModified());
}

void AppTest::EveryMenuItemHasItsOwnMnemonic() {
  settings_->AddRecentFile("/tmp/one.tmt");
  settings_->AddRecentFile("/tmp/two.tmt");
  OpenWindow();
  // The recent files join the menu as it opens.
  emit window_->CurrentMenus()[0]->aboutToShow();
  CheckMnemonics(window_->menuBar()->actions());
  if (QTest::currentTestFailed()) return;
  window_->NewDocument();
  QCOMPARE(window_->CurrentMenus().size(), 4);
  CheckMnemonics(window_->menuBar()->actions());
}

void AppTest::CommandLine_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<bool>("help");
  QTest::addColumn<bool>("version");
  QTest::addColumn<QString>("file");
  QTest::addColumn<bool>("error");
  QTest::newRow("none") << QStringList{} << false << false << "" << false;
  QTest::newRow("file") << QStringList{"a.tmt"} << false << false << "a.tmt" << false;
  QTest::newRow("help") << QStringList{"--help"} << true << false << "" << false;
  QTest::newRow("version") << QStringList{"--version"} << false << true << "" << false;
  QTest::newRow("dash file") << QStringList{"--", "-x.tmt"} << false << false << "-x.tmt" << false;
  QTest::newRow("unknown") << QStringList{"--frobnicate"} << false << false << "" << true;
  QTest::newRow("two files") << QStringList{"a", "b"} << false << false << "a" << true;
}

void AppTest::CommandLine() {
  QFETCH(QStringList, arguments);
  QFETCH(bool, help);
  QFETCH(bool, version);
  QFETCH(QString, file);
  QFETCH(bool, error);
  std::vector<std::string> words;
  for (const QString& argument : arguments) words.push_back(argument.toStdString());
  const app::CommandLine line = ParseCommandLine(words);
  QCOMPARE(line.help, help);
  QCOMPARE(line.version, version);
  QCOMPARE(QString::fromStdString(line.file.value_or("")), file);
  QCOMPARE(!line.error.empty(), error);
}

}  // namespace stravon::app

QTEST_MAIN(stravon::app::AppTest)
#include "app_test.moc"
