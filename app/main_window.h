// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <memory>
#include <vector>

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include "app/dialog_hooks.h"
#include "device/device_session.h"
#include "ui/window_commands.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QPrinter;

namespace stravon::app {

class DocumentWindow;
class JogGuard;
class MainToolBar;
class QtSettingsStore;

// The program's main window: the document windows as tabs of an
// MDI area, the menus (one set while no document is open, another while one is
// active), the toolbar with the connection indicator and the jog buttons,
// and the status bar. Commands go to the active document window, which
// decides whether they are enabled.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // The size on first start. The smallest is what the forms need (the
  // area asks for its windows' minimum sizes).
  static constexpr int kWidth = 850;
  static constexpr int kHeight = 540;

  MainWindow(DeviceSessionOptions options, QtSettingsStore& settings, DialogHooks hooks,
             QWidget* parent = nullptr);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // A new, empty document window, shown and active.
  DocumentWindow* NewDocument();
  // Opens the protocol file at `path` in a new document window named after
  // the file (the command line, the recent files, the open command without
  // a document). False, with the reason and no window, when the file cannot
  // be read as a protocol.
  bool OpenDocumentFile(const QString& path, QString* error = nullptr);

  DocumentWindow* ActiveDocument() const;
  QList<DocumentWindow*> Documents() const;
  QMdiArea& Area() { return *area_; }
  MainToolBar& ToolBar() { return *tool_bar_; }
  // The action of a command in the menus (the same object where a command
  // appears in both menu sets); nullptr for the toolbar-only commands.
  QAction* ActionFor(Command command) const;
  // The top-level menus now in the menu bar.
  QList<QMenu*> CurrentMenus() const;

  // Carries out a command as its menu item, key or button does.
  void Route(Command command);
  // Brings menus, toolbar and enabled states up to date with the active
  // document. Runs whenever they may have changed: a document window's
  // session event, another window becoming active, a window opening or
  // closing.
  void UpdateCommandStates();
  // Stops the motion and ends every document window's worker (a transfer is
  // cut short), asking nothing; the windows stay but show nothing more.
  void ShutdownDocuments();

 signals:
  // A new document window, before it is shown.
  void DocumentAdded(stravon::app::DocumentWindow* document);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QAction* MakeAction(Command command, const QString& text, const QString& prompt,
                      const QList<QKeySequence>& shortcuts = {});
  // A document window added to the area, shown and active; `untitled_number`
  // names it until it has a file (0: it is given one at once).
  DocumentWindow* AddDocument(int untitled_number);
  // The main window's title follows the active document's.
  void UpdateTitle();
  void BuildMenus();
  void BuildStatusBar();
  void BuildToolBar();
  // The size and place the person left the window in, or the usual size.
  void RestoreWindowGeometry();
  void ShowMenuSet(bool document);
  void FillRecentFiles();
  void OpenWithoutDocument();
  void PressJog(bool plus);
  void ReleaseJog();
  // The preview window, if open, follows the active document.
  void RefreshPreview();
  // A document window is closing: it has given up the message log, which
  // goes to the next open window's output pane.
  void DocumentShutDown(DocumentWindow* document);
  // Asks each window with unsaved edits; false when one of them was cancelled.
  bool ConfirmCloseAll();

  DeviceSessionOptions options_;
  QtSettingsStore& settings_;
  DialogHooks hooks_;

  QMdiArea* area_ = nullptr;
  MainToolBar* tool_bar_ = nullptr;
  // The active window's connection, or why it has none.
  QLabel* connection_ = nullptr;
  std::unique_ptr<QPrinter> printer_;

  std::map<Command, QAction*> actions_;
  QMenu* file_menu_no_document_ = nullptr;
  QList<QMenu*> menus_no_document_;
  QList<QMenu*> menus_document_;
  QList<QAction*> recent_actions_;
  int shown_menu_set_ = -1;  // 0 no document, 1 document
  // Windows started without a file so far: the N of the next "Untitled N".
  int untitled_count_ = 0;

  // The document whose jog button is held, so that the release reaches it
  // even if another window became active meanwhile.
  QPointer<DocumentWindow> jog_document_;
  JogGuard* jog_guard_ = nullptr;
};

}  // namespace stravon::app
