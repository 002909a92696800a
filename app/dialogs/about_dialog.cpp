// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/about_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QString>
#include <QSvgRenderer>

#include "app/dialogs/dialog_support.h"
#include "stravon/version.h"

namespace stravon::app {
namespace {

// The picture's size in device-independent pixels where the screen has room
// for it; it is rendered for the screen's pixel ratio so that it stays sharp
// when scaled.
constexpr QSize kPictureSize(680, 529);
// Room on the screen left for the text and the button below the picture,
// and for the window's frame.
constexpr QSize kAroundPicture(60, 140);

QSize PictureSize(const QWidget& dialog) {
  const QScreen* screen = dialog.screen();
  if (screen == nullptr) return kPictureSize;
  return kPictureSize.scaled(
      kPictureSize.boundedTo(screen->availableGeometry().size() - kAroundPicture),
      Qt::KeepAspectRatio);
}

QPixmap Picture(QSize size, qreal pixel_ratio) {
  QPixmap pixmap(size * pixel_ratio);
  pixmap.setDevicePixelRatio(pixel_ratio);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(QStringLiteral(":/stravon/about_picture.svg"));
  QPainter painter(&pixmap);
  renderer.render(&painter, QRectF(QPointF(0, 0), size));
  return pixmap;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Stravon"));

  const QSize picture_size = PictureSize(*this);
  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("picture"));
  picture->setFixedSize(picture_size);
  picture->setPixmap(Picture(picture_size, devicePixelRatioF()));

  auto* version = new QLabel(
      QString::fromUtf8(kVersionText.data(), static_cast<qsizetype>(kVersionText.size())), this);
  version->setObjectName(QStringLiteral("version"));
  auto* notice =
      new QLabel(QStringLiteral("\u00A9 The Stravon developers. For laboratory research use; "
                                "not a medical device."),
                 this);
  notice->setObjectName(QStringLiteral("notice"));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QGridLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->setContentsMargins(DialogUnitsX(7), DialogUnitsY(6), DialogUnitsX(7), DialogUnitsY(5));
  layout->setVerticalSpacing(2);
  layout->addWidget(picture, 0, 0, 1, 2, Qt::AlignHCenter);
  layout->addWidget(version, 1, 0);
  layout->addWidget(notice, 2, 0);
  layout->addWidget(buttons, 1, 1, 2, 1, Qt::AlignRight | Qt::AlignVCenter);
  layout->setRowStretch(3, 1);
}

}  // namespace stravon::app
