// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include <string>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>

#include "app/document_window.h"
#include "app/jog_guard.h"
#include "app/qt_settings_store.h"
#include "app/tool_bar.h"
#include "protocol/message_log.h"
#include "protocol/protocol_file.h"
#include "protocol/test_sequence.h"
#include "ui/window_title.h"
#include "views/protocol_preview.h"

namespace stravon::app {
namespace {

// The toolbar's buttons 1 to 6 and the commands they stand for.
Command ButtonCommand(int button) {
  switch (button) {
    case MainToolBar::kOpen:
      return Command::kFileOpen;
    case MainToolBar::kSave:
      return Command::kFileSave;
    case MainToolBar::kRead:
      return Command::kReadDevice;
    case MainToolBar::kProgram:
      return Command::kProgramDevice;
    case MainToolBar::kJogPlus:
      return Command::kJogPlus;
    case MainToolBar::kJogMinus:
      return Command::kJogMinus;
    default:
      return Command::kConnectionIndicator;
  }
}

// Commands that exist only while a document window is active.
bool IsDocumentCommand(Command command) {
  switch (command) {
    case Command::kFileSave:
    case Command::kReadDevice:
    case Command::kProgramDevice:
    case Command::kHardwareSettings:
    case Command::kMoveToPosition:
    case Command::kConnectionIndicator:
    case Command::kJogPlus:
    case Command::kJogMinus:
      return true;
    default:
      return false;
  }
}

// The desktop's keys for a standard command, and the ones a person on Linux
// expects whatever desktop the platform's key scheme follows. Each key once:
// a key an action holds twice is ambiguous, and does nothing.
QList<QKeySequence> Keys(QKeySequence::StandardKey key, QList<QKeySequence> also = {}) {
  QList<QKeySequence> keys = QKeySequence::keyBindings(key);
  for (const QKeySequence& sequence : also) {
    if (!keys.contains(sequence)) keys << sequence;
  }
  return keys;
}

}  // namespace

MainWindow::MainWindow(DeviceSessionOptions options, QtSettingsStore& settings, DialogHooks hooks,
                       QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      settings_(settings),
      hooks_(std::move(hooks)) {
  setWindowTitle("Stravon");

  area_ = new QMdiArea(this);
  // Tabs rather than a Window menu: each document window fills the area with
  // its form, the tab names its file and unit and carries the unsaved marker
  // and a close button, and nothing can hide behind another window.
  area_->setViewMode(QMdiArea::TabbedView);
  area_->setDocumentMode(true);
  area_->setTabsClosable(true);
  area_->setTabsMovable(true);
  area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  area_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setCentralWidget(area_);

  BuildMenus();
  BuildStatusBar();
  BuildToolBar();

  connect(area_, &QMdiArea::subWindowActivated, this, [this] {
    UpdateCommandStates();
    RefreshPreview();
  });
  connect(qApp, &QGuiApplication::applicationStateChanged, this,
          [this](Qt::ApplicationState state) {
            if (state != Qt::ApplicationActive) ReleaseJog();
          });
  jog_guard_ = new JogGuard(
      this, [this] { ReleaseJog(); },
      [this] {
        if (jog_document_) jog_document_->ConfirmJog();
      },
      this);
  UpdateCommandStates();
  RestoreWindowGeometry();
}

MainWindow::~MainWindow() {
  // The children still signal while QWidget takes them down; this object is
  // no longer there to hear it.
  jog_guard_->Disengage();
  QObject::disconnect(area_, nullptr, this, nullptr);
  QObject::disconnect(tool_bar_, nullptr, this, nullptr);
  QObject::disconnect(qApp, nullptr, this, nullptr);
  for (DocumentWindow* document : Documents()) {
    QObject::disconnect(document, nullptr, this, nullptr);
    QObject::disconnect(&document->Events(), nullptr, this, nullptr);
  }
  // Each window's worker ends before any window goes.
  for (DocumentWindow* document : Documents()) document->Shutdown();
}

QAction* MainWindow::MakeAction(Command command, const QString& text, const QString& prompt,
                                const QList<QKeySequence>& shortcuts) {
  auto* action = new QAction(text, this);
  // The prompt's first line is the status-bar text, the second the tooltip.
  const QStringList parts = prompt.split('\n');
  action->setStatusTip(parts.value(0));
  action->setToolTip(parts.value(1));
  if (!shortcuts.isEmpty()) {
    action->setShortcuts(shortcuts);
    // Active whichever menu set is showing.
    addAction(action);
  }
  connect(action, &QAction::triggered, this, [this, command] { Route(command); });
  actions_[command] = action;
  return action;
}

void MainWindow::BuildMenus() {
  QAction* new_action = MakeAction(Command::kFileNew, "&New", "Create a new document\nNew",
                                   Keys(QKeySequence::New, {Qt::CTRL | Qt::Key_N}));
  QAction* open = MakeAction(Command::kFileOpen, "&Open...", "Open Protocol File\nOpen",
                             Keys(QKeySequence::Open, {Qt::CTRL | Qt::Key_O}));
  QAction* close =
      MakeAction(Command::kFileClose, "&Close", "Close the active document\nClose",
                 Keys(QKeySequence::Close, {Qt::CTRL | Qt::Key_W, Qt::CTRL | Qt::Key_F4}));
  // Save always asks for the file, so it is Save As as well.
  QAction* save = MakeAction(
      Command::kFileSave, "&Save", "Save As Protocol File\nSave",
      Keys(QKeySequence::Save,
           QKeySequence::keyBindings(QKeySequence::SaveAs) +
               QList<QKeySequence>{Qt::CTRL | Qt::Key_S, Qt::CTRL | Qt::SHIFT | Qt::Key_S}));
  QAction* print_setup = MakeAction(Command::kPrintSetup, "P&rint Setup...",
                                    "Change the printer and printing options\nPrint Setup");
  QAction* recent = MakeAction(Command::kRecentFile, "Recent &File", "Open this document");
  recent->setEnabled(false);
  QAction* exit = MakeAction(Command::kExit, "&Quit", "Quit the application\nQuit",
                             Keys(QKeySequence::Quit, {Qt::CTRL | Qt::Key_Q}));
  QAction* status_bar = MakeAction(Command::kToggleStatusBar, "&Status Bar",
                                   "Show or hide the status bar\nToggle Status Bar");
  status_bar->setCheckable(true);
  status_bar->setChecked(true);
  QAction* about = MakeAction(Command::kAbout, "&About Stravon...",
                              "Display program information, version number and copyright\nAbout");
  QAction* read = MakeAction(Command::kReadDevice, "&Read Device", "Read Stravon Device");
  QAction* program =
      MakeAction(Command::kProgramDevice, "&Program Device", "Program Stravon Device");
  QAction* settings = MakeAction(Command::kHardwareSettings, "&Settings", "");
  QAction* move = MakeAction(Command::kMoveToPosition, "&Move To Position", "");
  // Beyond the original menus: the preview is a window of its own, since the
  // main window's layout is fixed. It follows whichever document is active.
  auto* preview = new QAction("Protocol &Preview", this);
  preview->setStatusTip("Show what the unit will do with the protocol, plotted over time");
  connect(preview, &QAction::triggered, this, [this] {
    auto* window = findChild<views::ProtocolPreview*>();
    if (window == nullptr) {
      window = new views::ProtocolPreview(
          [this]() -> std::optional<views::PreviewSource> {
            DocumentWindow* document = ActiveDocument();
            if (document == nullptr) return std::nullopt;
            return views::PreviewSource{document->Stage().WorkingSequence(),
                                        document->Doc().Settings(), document->Doc().SettingsRead()};
          },
          this);
    }
    window->show();
    window->raise();
    window->activateWindow();
  });
  QAction* verify = MakeAction(Command::kVerifyAfterProgramming, "&Verify After Programming",
                               "Read the program back after programming and compare it");
  verify->setCheckable(true);
  verify->setChecked(VerifyAfterProgramming(settings_));
  // The menus show the keys at the right, as the items' texts name them.
  new_action->setShortcutVisibleInContextMenu(true);
  open->setShortcutVisibleInContextMenu(true);
  save->setShortcutVisibleInContextMenu(true);
  close->setShortcutVisibleInContextMenu(true);
  exit->setShortcutVisibleInContextMenu(true);

  // No document: File, View, Help.
  file_menu_no_document_ = new QMenu("&File", this);
  file_menu_no_document_->addAction(new_action);
  file_menu_no_document_->addAction(open);
  file_menu_no_document_->addAction(close);
  file_menu_no_document_->addSeparator();
  file_menu_no_document_->addAction(print_setup);
  file_menu_no_document_->addSeparator();
  file_menu_no_document_->addAction(recent);
  file_menu_no_document_->addSeparator();
  file_menu_no_document_->addAction(exit);
  connect(file_menu_no_document_, &QMenu::aboutToShow, this, &MainWindow::FillRecentFiles);
  auto* view_menu = new QMenu("&View", this);
  view_menu->addAction(status_bar);
  view_menu->addAction(preview);
  auto* help_menu = new QMenu("&Help", this);
  help_menu->addAction(about);
  menus_no_document_ = {file_menu_no_document_, view_menu, help_menu};

  // A document active: File, Hardware, Help.
  auto* file_menu = new QMenu("&File", this);
  file_menu->addAction(open);
  file_menu->addAction(save);
  file_menu->addSeparator();
  file_menu->addAction(close);
  file_menu->addSeparator();
  file_menu->addAction(exit);
  auto* hardware_menu = new QMenu("H&ardware", this);
  hardware_menu->addAction(read);
  hardware_menu->addAction(program);
  hardware_menu->addAction(verify);
  QMenu* advanced = hardware_menu->addMenu("&Advanced");
  advanced->addAction(settings);
  hardware_menu->addAction(move);
  auto* document_view_menu = new QMenu("&View", this);
  document_view_menu->addAction(preview);
  auto* document_help_menu = new QMenu("&Help", this);
  document_help_menu->addAction(about);
  menus_document_ = {file_menu, hardware_menu, document_view_menu, document_help_menu};

  // Switching between document windows from the keyboard.
  auto* next = new QAction(this);
  next->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_F6), QKeySequence(Qt::CTRL | Qt::Key_Tab)});
  connect(next, &QAction::triggered, area_, &QMdiArea::activateNextSubWindow);
  addAction(next);
  auto* previous = new QAction(this);
  previous->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6),
                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)});
  connect(previous, &QAction::triggered, area_, &QMdiArea::activatePreviousSubWindow);
  addAction(previous);
}

void MainWindow::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  // The idle text comes back whenever a prompt is taken away.
  connect(bar, &QStatusBar::messageChanged, bar, [bar](const QString& text) {
    if (text.isEmpty()) bar->showMessage("Ready");
  });
  connection_ = new QLabel(bar);
  connection_->setAccessibleName("Connection");
  bar->addPermanentWidget(connection_);
  for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
    auto* label = new QLabel(indicator, bar);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance("SCRL") + 12);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The lock states cannot be read portably; the panes stay greyed.
    label->setEnabled(false);
    bar->addPermanentWidget(label);
  }
  bar->showMessage("Ready");
}

void MainWindow::BuildToolBar() {
  tool_bar_ = new MainToolBar(this);
  addToolBar(Qt::TopToolBarArea, tool_bar_);
  connect(tool_bar_, &MainToolBar::Clicked, this,
          [this](int button) { Route(ButtonCommand(button)); });
  connect(tool_bar_, &MainToolBar::JogPressed, this, &MainWindow::PressJog);
  connect(tool_bar_, &MainToolBar::JogReleased, this, &MainWindow::ReleaseJog);
}

DocumentWindow* MainWindow::NewDocument() { return AddDocument(++untitled_count_); }

DocumentWindow* MainWindow::AddDocument(int untitled_number) {
  auto* document = new DocumentWindow(options_, settings_, hooks_);
  if (untitled_number > 0) document->SetUntitledNumber(untitled_number);
  connect(document, &DocumentWindow::ShutDown, this,
          [this, document] { DocumentShutDown(document); });
  connect(&document->Events(), &SessionEvents::Handled, this, [this, document] {
    UpdateCommandStates();
    if (document == ActiveDocument()) RefreshPreview();
  });
  connect(document, &DocumentWindow::StageChanged, this, [this, document] {
    if (document == ActiveDocument()) RefreshPreview();
  });
  connect(document, &DocumentWindow::TitleChanged, this, [this, document] {
    if (document == ActiveDocument()) UpdateTitle();
  });
  connect(document, &QObject::destroyed, this, [this] { UpdateCommandStates(); });
  emit DocumentAdded(document);
  area_->addSubWindow(document, Qt::FramelessWindowHint);
  // The form fills the area and grows with the window.
  document->showMaximized();
  area_->updateGeometry();
  area_->setActiveSubWindow(document);
  UpdateCommandStates();
  return document;
}

bool MainWindow::OpenDocumentFile(const QString& path, QString* error) {
  // Read before a window is made: a file that cannot be read leaves none.
  TestSequence protocol;
  std::string reason;
  if (!ReadProtocolFile(path.toStdString(), protocol, &reason)) {
    if (error) *error = QString::fromStdString(reason);
    if (!QFileInfo::exists(path)) settings_.RemoveRecentFile(path);
    return false;
  }
  DocumentWindow* document = AddDocument(0);
  document->Load(protocol, path);
  settings_.AddRecentFile(QFileInfo(path).absoluteFilePath());
  return true;
}

DocumentWindow* MainWindow::ActiveDocument() const {
  // The current window, also while the application is not the active one.
  auto* document = qobject_cast<DocumentWindow*>(area_->currentSubWindow());
  if (document == nullptr || !document->isVisible() || document->Front().ShuttingDown()) {
    return nullptr;
  }
  return document;
}

QList<DocumentWindow*> MainWindow::Documents() const {
  QList<DocumentWindow*> documents;
  for (QMdiSubWindow* window : area_->subWindowList()) {
    if (auto* document = qobject_cast<DocumentWindow*>(window)) documents << document;
  }
  return documents;
}

QAction* MainWindow::ActionFor(Command command) const {
  const auto found = actions_.find(command);
  return found == actions_.end() ? nullptr : found->second;
}

QList<QMenu*> MainWindow::CurrentMenus() const {
  return shown_menu_set_ == 1 ? menus_document_ : menus_no_document_;
}

void MainWindow::ShowMenuSet(bool document) {
  const int set = document ? 1 : 0;
  if (set == shown_menu_set_) return;
  shown_menu_set_ = set;
  menuBar()->clear();
  for (QMenu* menu : document ? menus_document_ : menus_no_document_) menuBar()->addMenu(menu);
}

void MainWindow::UpdateCommandStates() {
  DocumentWindow* document = ActiveDocument();
  ShowMenuSet(document != nullptr);
  const auto enabled = [document](Command command) {
    if (document != nullptr) return document->CommandEnabled(command);
    // Without a document only the application's own commands run.
    return !IsDocumentCommand(command);
  };
  for (const auto& [command, action] : actions_) {
    if (command == Command::kFileClose) {
      action->setEnabled(document != nullptr);
    } else if (command == Command::kRecentFile) {
      continue;  // a greyed placeholder, replaced by the files when the menu opens
    } else {
      action->setEnabled(enabled(command));
    }
  }
  for (int i = 0; i < MainToolBar::kButtonCount; ++i) {
    tool_bar_->ButtonAt(i)->setEnabled(enabled(ButtonCommand(i)));
  }
  if (connection_ != nullptr) {
    connection_->setText(document != nullptr ? document->ConnectionStatus() : QString());
  }
  UpdateTitle();
  // A held jog button that was just disabled has released itself; one of a
  // window no longer current is released here.
  if (jog_document_ && jog_document_ != document) ReleaseJog();
}

void MainWindow::UpdateTitle() {
  DocumentWindow* document = ActiveDocument();
  if (document == nullptr) {
    setWindowTitle(QString::fromStdString(MainWindowTitle(nullptr)));
    setWindowModified(false);
    return;
  }
  const DocumentTitleParts parts = document->TitleParts();
  setWindowTitle(QString::fromStdString(MainWindowTitle(&parts)));
  setWindowModified(document->isWindowModified());
}

void MainWindow::RefreshPreview() {
  if (auto* preview = findChild<views::ProtocolPreview*>()) preview->Refresh();
}

void MainWindow::FillRecentFiles() {
  QAction* placeholder = ActionFor(Command::kRecentFile);
  for (QAction* action : recent_actions_) {
    file_menu_no_document_->removeAction(action);
    action->deleteLater();
  }
  recent_actions_.clear();
  const QStringList files = settings_.RecentFiles();
  placeholder->setVisible(files.isEmpty());
  placeholder->setEnabled(false);
  for (int i = 0; i < files.size(); ++i) {
    auto* action = new QAction(QString("&%1 %2").arg(i + 1).arg(files[i]), this);
    action->setStatusTip("Open this document");
    const QString path = files[i];
    connect(action, &QAction::triggered, this, [this, path] {
      QString error;
      if (!OpenDocumentFile(path, &error)) {
        QMessageBox::warning(this, "Stravon", error);
      }
    });
    file_menu_no_document_->insertAction(placeholder, action);
    recent_actions_ << action;
  }
}

void MainWindow::OpenWithoutDocument() {
  const QString path = QFileDialog::getOpenFileName(this, "Open", QString(), "All Files (*)");
  if (path.isEmpty()) return;
  QString error;
  if (!OpenDocumentFile(path, &error)) {
    QMessageBox::warning(this, "Stravon", error);
  }
}

void MainWindow::Route(Command command) {
  DocumentWindow* document = ActiveDocument();
  switch (command) {
    case Command::kFileNew:
      NewDocument();
      return;
    case Command::kFileOpen:
      if (document)
        document->Execute(command);
      else
        OpenWithoutDocument();
      return;
    case Command::kFileClose:
      if (document) document->close();
      return;
    case Command::kPrintSetup: {
      if (!printer_) printer_ = std::make_unique<QPrinter>();
      QPageSetupDialog dialog(printer_.get(), this);
      dialog.exec();
      return;
    }
    case Command::kExit:
      close();
      return;
    case Command::kToggleStatusBar:
      statusBar()->setVisible(ActionFor(command)->isChecked());
      return;
    case Command::kAbout:
      if (hooks_.about) hooks_.about(this);
      return;
    case Command::kVerifyAfterProgramming:
      SetVerifyAfterProgramming(settings_, ActionFor(command)->isChecked());
      return;
    default:
      if (document) document->Execute(command);
      return;
  }
}

void MainWindow::PressJog(bool plus) {
  DocumentWindow* document = ActiveDocument();
  if (document == nullptr) return;
  if (!document->CommandEnabled(plus ? Command::kJogPlus : Command::kJogMinus)) return;
  if (!document->StartJog(plus ? JogDirection::kPlus : JogDirection::kMinus)) return;
  jog_document_ = document;
  jog_guard_->Engage(tool_bar_->ButtonAt(plus ? MainToolBar::kJogPlus : MainToolBar::kJogMinus));
}

void MainWindow::ReleaseJog() {
  jog_guard_->Disengage();
  if (jog_document_) jog_document_->StopJog();
  jog_document_ = nullptr;
  if (DocumentWindow* document = ActiveDocument()) document->StopJog();
}

void MainWindow::DocumentShutDown(DocumentWindow* document) {
  if (jog_document_ == document) ReleaseJog();
  UpdateCommandStates();
  if (MessageLog::Obtain().HasSink()) return;
  for (DocumentWindow* other : Documents()) {
    if (other != document && !other->Front().ShuttingDown() && other->Session().ClaimLogSink()) {
      return;
    }
  }
}

bool MainWindow::ConfirmCloseAll() {
  for (DocumentWindow* document : Documents()) {
    if (document->Front().ShuttingDown()) continue;
    area_->setActiveSubWindow(document);
    if (!document->ConfirmClose()) return false;
  }
  return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The motion stops first, before any question can keep the program open.
  ReleaseJog();
  if (!ConfirmCloseAll()) {
    event->ignore();
    return;
  }
  // Ends every worker first; none of them can be waiting on this thread
  // afterwards.
  ShutdownDocuments();
  settings_.SetWindowGeometry(saveGeometry());
  event->accept();
}

void MainWindow::RestoreWindowGeometry() {
  if (restoreGeometry(settings_.WindowGeometry())) return;
  // First start: the usual size, within the screen (a high scale factor
  // makes a small screen of a large one).
  QSize size(kWidth, kHeight);
  if (const QScreen* screen = this->screen()) {
    size = size.boundedTo(screen->availableGeometry().size() - QSize(40, 60));
  }
  resize(size.expandedTo(minimumSize()));
}

void MainWindow::ShutdownDocuments() {
  ReleaseJog();
  for (DocumentWindow* document : Documents()) document->Shutdown();
}

}  // namespace stravon::app
