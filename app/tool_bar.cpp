// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tool_bar.h"

#include <cmath>

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>
#include <QSvgRenderer>
#include <QToolButton>

namespace stravon::app {
namespace {

const QSize kImageSize(83, 32);
const QSize kButtonSize(90, 38);

struct ButtonInfo {
  const char* source;
  const char* disabled_source;
  const char* status_tip;
  const char* tool_tip;
};

// Button 0 shows "Connected" while enabled and "Not Connected" while not.
const std::array<ButtonInfo, MainToolBar::kButtonCount> kButtons{{
    {":/stravon/connected.svg", ":/stravon/not_connected.svg",
     "Ensure that the device is powered on and all cables are properly connected", ""},
    {":/stravon/open.svg", nullptr, "Open Protocol File", "Open"},
    {":/stravon/save.svg", nullptr, "Save As Protocol File", "Save"},
    {":/stravon/read.svg", nullptr, "Read Stravon Device", ""},
    {":/stravon/program.svg", nullptr, "Program Stravon Device", ""},
    {":/stravon/jog_plus.svg", nullptr, "", ""},
    {":/stravon/jog_minus.svg", nullptr, "", ""},
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

QImage Greyed(QImage image) {
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = line[x];
      const int alpha = qAlpha(pixel);
      if (alpha == 0) continue;
      // Lighter grey of the same brightness, premultiplied.
      const int grey = 150 + qGray(pixel) * 255 / std::max(alpha, 1) * 90 / 255;
      const int value = std::min(grey, 240) * alpha / 255;
      line[x] = qRgba(value, value, value, alpha);
    }
  }
  return image;
}

QImage Hot(const QImage& image) {
  QImage hot(image.size(), QImage::Format_ARGB32_Premultiplied);
  hot.fill(Qt::transparent);
  hot.setDevicePixelRatio(image.devicePixelRatio());
  QPainter painter(&hot);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath frame;
  frame.addRoundedRect(QRectF(0.5, 0.5, kImageSize.width() - 1.0, kImageSize.height() - 1.0), 3, 3);
  painter.fillPath(frame, QColor(0xE5, 0xF1, 0xFB));
  painter.setPen(QColor(0xA6, 0xCF, 0xF2));
  painter.drawPath(frame);
  painter.drawImage(QPointF(0, 0), image);
  return hot;
}

}  // namespace

QIcon ToolbarIcon(const QString& source, const QString& disabled_source) {
  QIcon icon;
  // Both the screen's own scale and twice it, so a move to a denser screen
  // still finds a sharp image.
  const qreal screen_scale = qGuiApp->primaryScreen() ? qGuiApp->primaryScreen()->devicePixelRatio() : 1.0;
  for (const qreal scale : {screen_scale, screen_scale * 2}) {
    const QImage normal = Render(source, scale);
    const QImage disabled =
        disabled_source.isEmpty() ? Greyed(normal) : Render(disabled_source, scale);
    icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(disabled), QIcon::Disabled);
    icon.addPixmap(QPixmap::fromImage(Hot(normal)), QIcon::Active);
  }
  return icon;
}

MainToolBar::MainToolBar(QWidget* parent) : QToolBar(parent) {
  setObjectName("MainToolBar");
  setMovable(false);
  setFloatable(false);
  setIconSize(kImageSize);
  setToolButtonStyle(Qt::ToolButtonIconOnly);
  setContextMenuPolicy(Qt::PreventContextMenu);
  setStyleSheet("QToolBar#MainToolBar { border-bottom: 1px solid #D0D0D0; spacing: 0px; }");

  for (int i = 0; i < kButtonCount; ++i) {
    const ButtonInfo& info = kButtons[static_cast<std::size_t>(i)];
    auto* button = new QToolButton(this);
    button->setAutoRaise(true);
    button->setFixedSize(kButtonSize);
    button->setIconSize(kImageSize);
    button->setIcon(ToolbarIcon(info.source, info.disabled_source ? info.disabled_source : ""));
    button->setStatusTip(info.status_tip);
    button->setToolTip(info.tool_tip);
    button->setFocusPolicy(Qt::NoFocus);
    button->setEnabled(false);
    addWidget(button);
    buttons_[static_cast<std::size_t>(i)] = button;

    if (i == kIndicator) continue;  // shows the connection; a click does nothing
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
