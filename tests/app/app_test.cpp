#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/application.h"
#include "app/document_window.h"
#include "app/main_window.h"
#include "app/qt_settings_store.h"
#include "app/tool_bar.h"
#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"
#include "views/output_pane.h"
#include "views/report_list.h"
#include "views/stage_view.h"

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
  void JogButtonsSetTheSessionCodes();
  void ClosingWhileAWorkerQuestionIsUpReturnsPromptly();
  void QuittingDuringATransferReturnsPromptly();
  void SettingsAndRecentFiles();
  void CommandLine_data();
  void CommandLine();

 private:
  void StartUnit(sim::UnitOptions options = {});
  void Unplug();
  void OpenWindow();
  DocumentWindow* Document() { return window_->ActiveDocument(); }
  bool WaitConnected(bool connected);
  void Screenshot(const QString& name);

  QTemporaryDir settings_dir_;
  std::unique_ptr<sim::FixtureTree> tree_;
  std::unique_ptr<sim::SimulatedUnit> unit_;
  std::string tty_;
  std::unique_ptr<QtSettingsStore> settings_;
  std::unique_ptr<MainWindow> window_;
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
  SessionOptions options;
  options.roots = {tree_->SysfsRoot(), tree_->DevRoot()};
  options.read_timeout_ms = kReadTimeoutMs;
  DialogHooks hooks;
  hooks.set_editor = [](QWidget*, TestSet& set, double, double, double) {
    set.NumReps = 5;
    return true;
  };
  window_ = std::make_unique<MainWindow>(options, *settings_, hooks);
  window_->show();
  QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

bool AppTest::WaitConnected(bool connected) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < kConnectMs) {
    DocumentWindow* document = Document();
    if (document && document->Session().Connected() == connected &&
        document->Session().HardwareSettingsRead() == connected &&
        window_->ToolBar().ButtonAt(MainToolBar::kIndicator)->isEnabled() == connected) {
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
  QCOMPARE(window_->size(), QSize(MainWindow::kWidth, MainWindow::kHeight));
  QCOMPARE(window_->statusBar()->currentMessage(), QString("Ready"));

  // No document: menu 128.
  QCOMPARE(MenuTitles(window_->CurrentMenus()), (QStringList{"&File", "&View", "&Help"}));
  QCOMPARE(Titles(window_->CurrentMenus()[0]->actions()),
           (QStringList{"&New", "&Open...", "&Close", "P&rint Setup...", "Recent File", "E&xit"}));
  QVERIFY(window_->ActionFor(Command::kFileOpen)->isEnabled());
  QVERIFY(!window_->ActionFor(Command::kFileSave)->isEnabled());
  QVERIFY(!window_->ToolBar().ButtonAt(MainToolBar::kIndicator)->isEnabled());
  QVERIFY(window_->ToolBar().ButtonAt(MainToolBar::kOpen)->isEnabled());
  Screenshot("main_window_no_document");

  // A document without a unit: menu 130, its commands disabled.
  DocumentWindow* document = window_->NewDocument();
  QCOMPARE(document->geometry().topLeft(), QPoint(0, 0));
  QCOMPARE(document->width(), views::StageView::FormSize().width() + 42);
  QCOMPARE(MenuTitles(window_->CurrentMenus()), (QStringList{"&File", "&Hardware", "&View", "Help"}));
  QCOMPARE(Titles(window_->CurrentMenus()[1]->actions()),
           (QStringList{"Read Device", "Program Device", "Advanced", "Move To Position"}));
  const Command document_commands[] = {Command::kFileOpen,        Command::kFileSave,
                                       Command::kReadDevice,      Command::kProgramDevice,
                                       Command::kHardwareSettings, Command::kMoveToPosition};
  for (Command command : document_commands) {
    QVERIFY2(!window_->ActionFor(command)->isEnabled(), qPrintable(window_->ActionFor(command)->text()));
  }
  for (int button = 0; button < MainToolBar::kButtonCount; ++button) {
    QVERIFY(!window_->ToolBar().ButtonAt(button)->isEnabled());
  }
  // Carried out directly, a disabled command still does nothing.
  window_->Route(Command::kReadDevice);
  QCOMPARE(document->Session().PendingOperation(), DocumentSession::kIdle);
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
    QKeySequence key;
  };
  const Expected table[] = {
      {Command::kFileNew, "Create a new document", "New", QKeySequence(Qt::CTRL | Qt::Key_N)},
      {Command::kFileOpen, "Open Protocol File", "Open", QKeySequence(Qt::CTRL | Qt::Key_O)},
      {Command::kFileSave, "Save As Protocol File", "Save", QKeySequence(Qt::CTRL | Qt::Key_S)},
      {Command::kFileClose, "Close the active document", "Close", {}},
      {Command::kExit, "Quit the application", "Exit", {}},
      {Command::kToggleStatusBar, "Show or hide the status bar", "Toggle Status Bar", {}},
      {Command::kReadDevice, "Read Stravon Device", "", {}},
      {Command::kProgramDevice, "Program Stravon Device", "", {}},
  };
  for (const Expected& expected : table) {
    QAction* action = window_->ActionFor(expected.command);
    QVERIFY(action != nullptr);
    QCOMPARE(action->statusTip(), QString(expected.status_tip));
    QCOMPARE(action->shortcut(), expected.key);
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
  QCOMPARE(window_->windowTitle(), QString("Stravon"));

  // Closing the active one leaves the other; closing both brings menu 128 back.
  window_->Route(Command::kFileClose);
  QTRY_COMPARE(window_->Documents().size(), 1);
  window_->Route(Command::kFileClose);
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
  QTRY_VERIFY_WITH_TIMEOUT(pane.toPlainText().contains("Programming Device..."), 15000);
  QCOMPARE(pane.toPlainText(), QString("\nProgramming Device... Success\n"));

  document->View().List().selectAll();
  QTest::keyClick(&document->View().List(), Qt::Key_Delete);
  QCOMPARE(document->View().List().RowCount(), 0);
  window_->Route(Command::kReadDevice);
  QTRY_VERIFY_WITH_TIMEOUT(pane.toPlainText().contains("Reading Device..."), 15000);
  // Cleared first, the rows refreshed, then the outcome: nothing else between.
  QCOMPARE(pane.toPlainText(), QString("\nReading Device... Success\n"));
  QCOMPARE(document->View().List().RowCount(), 2);
  QCOMPARE(document->View().List().Model().index(1, 5).data().toString(), QString("5"));
}

void AppTest::JogButtonsSetTheSessionCodes() {
  OpenWindow();
  DocumentWindow* document = window_->NewDocument();
  QToolButton* plus = window_->ToolBar().ButtonAt(MainToolBar::kJogPlus);
  QToolButton* minus = window_->ToolBar().ButtonAt(MainToolBar::kJogMinus);
  // Not connected: the buttons are disabled and pressing changes nothing.
  QTest::mousePress(plus, Qt::LeftButton);
  QTest::mouseRelease(plus, Qt::LeftButton);
  QCOMPARE(document->Session().PendingOperation(), DocumentSession::kIdle);

  StartUnit();
  QVERIFY(WaitConnected(true));
  struct Case {
    QToolButton* button;
    std::int32_t while_held;
  };
  for (const Case& jog : {Case{plus, DocumentSession::kJogPlusCode},
                          Case{minus, DocumentSession::kJogMinusCode}}) {
    QTest::mousePress(jog.button, Qt::LeftButton);
    QCOMPARE(document->Session().PendingOperation(), jog.while_held);
    QTest::mouseRelease(jog.button, Qt::LeftButton);
    QCOMPARE(document->Session().PendingOperation(), DocumentSession::kJogStopCode);
  }

  // Held while the unit goes away: the disabled button lets go of the jog.
  QTest::mousePress(plus, Qt::LeftButton);
  QCOMPARE(document->Session().PendingOperation(), DocumentSession::kJogPlusCode);
  Unplug();
  QVERIFY(WaitConnected(false));
  QVERIFY(document->Session().PendingOperation() != DocumentSession::kJogPlusCode);
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
  QCOMPARE(store.ReadInteger("Settings", "X", -1), -1);
  store.WriteInteger("Settings", "X", 120);
  store.WriteString("Settings", "TemplateDir", "/data/protocols/");
  QCOMPARE(store.ReadInteger("Settings", "X", -1), 120);
  QCOMPARE(store.ReadString("Settings", "TemplateDir", ""), std::string("/data/protocols/"));
  // Stored where every Stravon program of this user finds it.
  QCOMPARE(QSettings("Stravon", "Stravon").value("Settings/TemplateDir").toString(),
           QString("/data/protocols/"));
  QCOMPARE(store.ReadInteger("Settings", "TemplateDir", 7), 7);  // not an integer

  // A file named on the command line or in the recent list: a new window with
  // an empty protocol, and the file first in the list of four.
  OpenWindow();
  QTemporaryDir folder;
  QStringList paths;
  for (int i = 0; i < 5; ++i) {
    paths << folder.filePath(QString("p%1.tmt").arg(i));
    QFile file(paths.back());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("XFunction\t\nRamp\t\n");
    file.close();
    QVERIFY(window_->OpenDocumentFile(paths.back()));
  }
  QCOMPARE(window_->Documents().size(), 5);
  QCOMPARE(Document()->View().List().RowCount(), 0);
  QCOMPARE(store.RecentFiles(), (QStringList{paths[4], paths[3], paths[2], paths[1]}));
  QString error;
  QVERIFY(!window_->OpenDocumentFile(folder.filePath("missing.tmt"), &error));
  QVERIFY(!error.isEmpty());
  QCOMPARE(window_->Documents().size(), 5);
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
