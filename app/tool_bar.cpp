// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tool_bar.h"

#include <cmath>

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSvgRenderer>
#include <QToolButton>

namespace stravon::app {
namespace {

const QSize kImageSize(24, 24);

struct ButtonInfo {
  const char* text;
  const char* source;
  const char* disabled_source;
  const char* status_tip;
  const char* tool_tip;
};

constexpr char kConnected[] = "Connected";
constexpr char kNotConnected[] = "Not Connected";

// Button 0 shows "Connected" while enabled and "Not Connected" while not.
const std::array<ButtonInfo, MainToolBar::kButtonCount> kButtons{{
    {kNotConnected, ":/stravon/connected.svg", ":/stravon/not_connected.svg",
     "Ensure that the device is powered on and all cables are properly connected", ""},
    {"Open", ":/stravon/open.svg", nullptr, "Open Protocol File", "Open"},
    {"Save", ":/stravon/save.svg", nullptr, "Save As Protocol File", "Save"},
    {"Read", ":/stravon/read.svg", nullptr, "Read Stravon Device", ""},
    {"Program", ":/stravon/program.svg", nullptr, "Program Stravon Device", ""},
    {"Jog+", ":/stravon/jog_plus.svg", nullptr, "", ""},
    {"Jog-", ":/stravon/jog_minus.svg", nullptr, "", ""},
}};

QImage Render(const QString& source, qreal scale) {
  QImage image(QSize(static_cast<int>(std::ceil(kImageSize.width() * scale)),
                     static_cast<int>(std::ceil(kImageSize.height() * scale))),
               QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QSvgRenderer renderer(source);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  painter.end();
  image.setDevicePixelRatio(scale);
  return image;
}

// The image faded rather than turned grey: a light grey would look enabled
// on a dark background, a dark one on a light background.
QImage Faded(const QImage& image) {
  QImage faded(image.size(), QImage::Format_ARGB32_Premultiplied);
  faded.fill(Qt::transparent);
  faded.setDevicePixelRatio(image.devicePixelRatio());
  QPainter painter(&faded);
  painter.setOpacity(0.35);
  painter.drawImage(QPointF(0, 0), image);
  return faded;
}

}  // namespace

QIcon ToolbarIcon(const QString& source, const QString& disabled_source) {
  QIcon icon;
  // Both the screen's own scale and twice it, so a move to a denser screen
  // still finds a sharp image.
  const qreal screen_scale =
      qGuiApp->primaryScreen() ? qGuiApp->primaryScreen()->devicePixelRatio() : 1.0;
  for (const qreal scale : {screen_scale, screen_scale * 2}) {
    const QImage normal = Render(source, scale);
    const QImage disabled =
        disabled_source.isEmpty() ? Faded(normal) : Render(disabled_source, scale);
    icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(disabled), QIcon::Disabled);
  }
  return icon;
}

MainToolBar::MainToolBar(QWidget* parent) : QToolBar(parent) {
  setObjectName("MainToolBar");
  setMovable(false);
  setFloatable(false);
  setIconSize(kImageSize);
  // The labels are text under the images, in the palette's colours.
  setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  setContextMenuPolicy(Qt::PreventContextMenu);

  for (int i = 0; i < kButtonCount; ++i) {
    const ButtonInfo& info = kButtons[static_cast<std::size_t>(i)];
    auto* button = new QToolButton(this);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setText(info.text);
    button->setIconSize(kImageSize);
    button->setIcon(ToolbarIcon(info.source, info.disabled_source ? info.disabled_source : ""));
    button->setStatusTip(info.status_tip);
    button->setToolTip(info.tool_tip);
    button->setFocusPolicy(Qt::NoFocus);
    button->setEnabled(false);
    addWidget(button);
    buttons_[static_cast<std::size_t>(i)] = button;

    if (i == kIndicator) {
      // As wide as its longer text, so the buttons after it stay in place.
      button->setMinimumWidth(button->sizeHint().width());
      button->installEventFilter(this);
      continue;  // shows the connection; a click does nothing
    }
    if (i == kJogPlus || i == kJogMinus) {
      // Only a press starts a jog: the button's own pressed signal also comes
      // when the pointer, still held, comes back onto it after leaving it,
      // and leaving has stopped the jog for good.
      button->installEventFilter(this);
      connect(button, &QToolButton::released, this, [this] { emit JogReleased(); });
    } else {
      connect(button, &QToolButton::clicked, this, [this, i] { emit Clicked(i); });
    }
  }
}

bool MainToolBar::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::EnabledChange && watched == ButtonAt(kIndicator)) {
    QToolButton* indicator = ButtonAt(kIndicator);
    indicator->setText(indicator->isEnabled() ? kConnected : kNotConnected);
  }
  if (event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    for (const int jog : {kJogPlus, kJogMinus}) {
      QToolButton* button = ButtonAt(jog);
      if (watched == button && button->isEnabled()) emit JogPressed(jog == kJogPlus);
    }
  }
  return QToolBar::eventFilter(watched, event);
}

void MainToolBar::changeEvent(QEvent* event) {
  QToolBar::changeEvent(event);
  // A jog button disabled or hidden while held never sends its release.
  if (event->type() == QEvent::EnabledChange && !isEnabled()) emit JogReleased();
}

}  // namespace stravon::app
