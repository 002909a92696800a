// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

#include <QIcon>
#include <QString>
#include <QToolBar>

class QToolButton;

namespace stravon::app {

// Draws a toolbar image from its SVG source at the screen's scale, in the
// two looks of a button: normal and disabled (faded, or `disabled_source`
// when given).
QIcon ToolbarIcon(const QString& source, const QString& disabled_source = {});

// The main window's toolbar: the connection indicator, Open, Save, Read,
// Program and the two press-and-hold jog buttons.
class MainToolBar : public QToolBar {
  Q_OBJECT

 public:
  static constexpr int kButtonCount = 7;
  enum Button : int {
    kIndicator = 0,
    kOpen = 1,
    kSave = 2,
    kRead = 3,
    kProgram = 4,
    kJogPlus = 5,
    kJogMinus = 6,
  };

  explicit MainToolBar(QWidget* parent = nullptr);

  QToolButton* ButtonAt(int index) const { return buttons_[static_cast<std::size_t>(index)]; }

 signals:
  // Buttons 1 to 4.
  void Clicked(int button);
  // A jog button was pressed, and the one that went down came up again (or
  // was disabled, or the pointer left it, which releases it as well).
  void JogPressed(bool plus);
  void JogReleased();

 protected:
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::array<QToolButton*, kButtonCount> buttons_{};
};

}  // namespace stravon::app
