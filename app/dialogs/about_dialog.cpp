// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/about_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QString>
#include <QSvgRenderer>

#include "app/dialogs/dialog_support.h"
#include "stravon/version.h"

namespace stravon::app {
namespace {

// The picture's size in device-independent pixels; it is rendered for the
// screen's pixel ratio so that it stays sharp when scaled.
constexpr int kPictureWidth = 680;
constexpr int kPictureHeight = 529;

QPixmap Picture(qreal pixel_ratio) {
  QPixmap pixmap(QSize(kPictureWidth, kPictureHeight) * pixel_ratio);
  pixmap.setDevicePixelRatio(pixel_ratio);
  pixmap.fill(Qt::white);
  QSvgRenderer renderer(QStringLiteral(":/stravon/about_picture.svg"));
  QPainter painter(&pixmap);
  renderer.render(&painter, QRectF(0, 0, kPictureWidth, kPictureHeight));
  return pixmap;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Stravon"));
  UseDialogFont(this);
  setFixedSize(DialogUnitsSize(467, 371));

  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("picture"));
  picture->setFixedSize(kPictureWidth, kPictureHeight);
  picture->setPixmap(Picture(devicePixelRatioF()));

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
  layout->setContentsMargins(DialogUnitsX(7), DialogUnitsY(6), DialogUnitsX(7), DialogUnitsY(5));
  layout->setVerticalSpacing(2);
  layout->addWidget(picture, 0, 0, 1, 2, Qt::AlignHCenter);
  layout->addWidget(version, 1, 0);
  layout->addWidget(notice, 2, 0);
  layout->addWidget(buttons, 1, 1, 2, 1, Qt::AlignRight | Qt::AlignVCenter);
  layout->setRowStretch(3, 1);
}

}  // namespace stravon::app
