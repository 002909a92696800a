// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/protocol_preview.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QScreen>
#include <QSvgGenerator>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "ui/set_label_placement.h"
#include "views/colour_contrast.h"

namespace stravon::views {
namespace {

constexpr double kMinimumSpan = 1e-4;  // seconds

// 1, 2 or 5 times a power of ten, near span / count.
double NiceStep(double span, double count) {
  const double raw = span / std::max(count, 1.0);
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double norm = raw / magnitude;
  const double nice = norm < 1.5 ? 1.0 : norm < 3.5 ? 2.0 : norm < 7.5 ? 5.0 : 10.0;
  return nice * magnitude;
}

// Enough decimals to tell ticks `step` apart.
int DecimalsFor(double step) {
  return step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
}

QString Number(double value, int decimals) {
  if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0.0;  // no "-0"
  return QString::number(value, 'f', decimals);
}

QString Seconds(double seconds) { return QString::number(seconds, 'g', 6) + " s"; }

// The trace and warning colours, each in a shade for light and one for dark
// backgrounds.
const QColor kTraceColour(31, 78, 153);
const QColor kTraceOnDark(120, 170, 240);
const QColor kLateColour(230, 110, 20);
const QColor kLateOnDark(255, 150, 60);
const QColor kSoftLimitColour(200, 30, 30);
const QColor kSoftLimitOnDark(250, 100, 100);

}  // namespace

PlotColours PlotColours::Paper() {
  const QColor paper(255, 255, 255);
  const QColor ink(0, 0, 0);
  return {paper,
          ink,
          QColor(225, 225, 225),
          QColor(128, 128, 128),
          QColor(128, 128, 128),
          kTraceColour,
          kLateColour,
          kSoftLimitColour};
}

PlotColours PlotColours::From(const QPalette& palette) {
  const QColor base = palette.color(QPalette::Base);
  const QColor text = palette.color(QPalette::Text);
  return {base,
          text,
          Blend(base, text, 0.12),
          Blend(base, text, 0.5),
          Blend(base, text, 0.6),
          MostVisible(base, {kTraceColour, kTraceOnDark}),
          MostVisible(base, {kLateColour, kLateOnDark}),
          MostVisible(base, {kSoftLimitColour, kSoftLimitOnDark})};
}

TimeUnitChoice TimeAxisUnit(double span_seconds) {
  if (span_seconds <= 180.0) return {"s", 1.0};
  if (span_seconds <= 3.0 * 3600.0) return {"min", 60.0};
  return {"h", 3600.0};
}

QRectF PlotRect(const QRectF& area) { return area.adjusted(70.0, 44.0, -20.0, -46.0); }

void PaintProfile(QPainter& painter, const QRectF& area, const MotionProfile& profile,
                  const PlotFrame& frame, const PlotColours& colours) {
  painter.save();
  painter.fillRect(area, colours.background);
  const QRectF plot = PlotRect(area);
  if (!(plot.width() > 2.0 && plot.height() > 2.0)) {
    painter.restore();
    return;
  }
  const QFontMetricsF metrics(painter.font());

  // Vertical scale: the whole protocol and the soft limit, whatever the zoom,
  // so that panning does not make the trace jump.
  double low = std::min({0.0, profile.LowestMm()});
  double high = std::max({profile.HighestMm(), frame.soft_limit_mm, 0.0});
  if (!(high > low)) high = low + 1.0;
  const double pad = (high - low) * 0.08;
  low -= pad;
  high += pad;
  const auto y_of = [&](double mm) {
    return plot.bottom() - (mm - low) / (high - low) * plot.height();
  };
  const double from = frame.from;
  const double to = frame.to > frame.from ? frame.to : frame.from + 1.0;
  const auto x_of = [&](double t) { return plot.left() + (t - from) / (to - from) * plot.width(); };

  // Grid and tick labels.
  painter.setPen(colours.grid);
  const double mm_step = NiceStep(high - low, plot.height() / 40.0);
  const int mm_decimals = DecimalsFor(mm_step);
  for (double v = std::ceil(low / mm_step) * mm_step; v <= high; v += mm_step) {
    const double y = y_of(v);
    painter.setPen(colours.grid);
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    painter.setPen(colours.text);
    const QString text = Number(v, mm_decimals);
    painter.drawText(QRectF(area.left(), y - 10.0, plot.left() - area.left() - 6.0, 20.0),
                     Qt::AlignRight | Qt::AlignVCenter, text);
  }
  const TimeUnitChoice unit = TimeAxisUnit(to - from);
  const double span_units = (to - from) / unit.seconds;
  const double t_step = NiceStep(span_units, plot.width() / 90.0);
  const int t_decimals = DecimalsFor(t_step);
  for (double v = std::ceil(from / unit.seconds / t_step) * t_step; v * unit.seconds <= to;
       v += t_step) {
    const double x = x_of(v * unit.seconds);
    painter.setPen(colours.grid);
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    painter.setPen(colours.text);
    painter.drawText(QRectF(x - 50.0, plot.bottom() + 4.0, 100.0, 18.0), Qt::AlignCenter,
                     Number(v, t_decimals));
  }
  painter.drawText(QRectF(plot.left(), area.bottom() - 22.0, plot.width(), 20.0), Qt::AlignCenter,
                   QString("Time (%1)").arg(unit.name));
  painter.save();
  painter.translate(area.left() + 14.0, plot.center().y());
  painter.rotate(-90.0);
  painter.drawText(QRectF(-plot.height() / 2, -10.0, plot.height(), 20.0), Qt::AlignCenter,
                   "Position (mm)");
  painter.restore();

  // Zero and the travel soft limit.
  painter.setPen(QPen(colours.zero, 1.0));
  painter.drawLine(QPointF(plot.left(), y_of(0.0)), QPointF(plot.right(), y_of(0.0)));
  if (frame.soft_limit_mm > 0.0) {
    const double y = y_of(frame.soft_limit_mm);
    painter.setPen(QPen(colours.soft_limit, 1.5, Qt::DashLine));
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    painter.setPen(colours.soft_limit);
    painter.drawText(QRectF(plot.left(), y - 18.0, plot.width() - 4.0, 16.0),
                     Qt::AlignRight | Qt::AlignBottom,
                     QString("travel soft limit %1 mm").arg(frame.soft_limit_mm, 0, 'g', 6));
  }

  // Set boundaries, numbered above the plot: in two rows, so that a short
  // set's number still fits beside its neighbour's, shortened to the number
  // where the full label has no room.
  const std::vector<ProfileSet>& sets = profile.Sets();
  std::vector<const ProfileSet*> labelled;
  std::vector<SetLabelRequest> requests;
  const auto request = [&](double x, const ProfileSet& set) {
    labelled.push_back(&set);
    requests.push_back({x, metrics.horizontalAdvance(QString("Set %1").arg(set.number)) + 6.0,
                        metrics.horizontalAdvance(QString::number(set.number)) + 6.0});
  };
  if (const std::optional<ProfileLocation> first = profile.Locate(std::max(from, 0.0))) {
    if (sets[first->set].start < from) request(plot.left(), sets[first->set]);
  }
  for (const ProfileSet& set : sets) {
    if (set.start < from || set.start > to) continue;
    const double x = x_of(set.start);
    painter.setPen(QPen(colours.boundary, 1.0, Qt::DotLine));
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    request(x, set);
  }
  const std::vector<SetLabelPlacement> placed =
      PlaceSetLabels(requests, area.left(), area.right(), 2);
  const double row_height = metrics.height();
  painter.setPen(colours.text);
  for (std::size_t i = 0; i < placed.size(); ++i) {
    const SetLabelPlacement& label = placed[i];
    if (label.form == SetLabelForm::kHover) continue;
    const int number = labelled[i]->number;
    const QString text =
        label.form == SetLabelForm::kFull ? QString("Set %1").arg(number) : QString::number(number);
    painter.drawText(QRectF(label.x + 3.0, area.top() + 4.0 + row_height * label.row,
                            label.form == SetLabelForm::kFull ? requests[i].full_width
                                                              : requests[i].number_width,
                            row_height),
                     Qt::AlignLeft, text);
  }

  // The trace: one column per pixel, from its lowest to its highest point.
  // Neighbouring columns share their boundary instant, so the columns join.
  painter.setRenderHint(QPainter::Antialiasing, false);
  const int columns = static_cast<int>(std::floor(plot.width()));
  const std::vector<ProfileColumn> values = profile.Evaluate(from, to, columns);
  const double column_width = plot.width() / columns;
  for (int c = 0; c < columns; ++c) {
    const ProfileColumn& column = values[static_cast<std::size_t>(c)];
    if (!column.covered) continue;
    const double top = y_of(column.high_mm) - 1.0;
    const double bottom = y_of(column.low_mm) + 1.0;
    painter.fillRect(
        QRectF(plot.left() + c * column_width, top, std::max(column_width, 1.5), bottom - top),
        column.late ? colours.late : colours.trace);
  }

  if (sets.empty()) {
    painter.setPen(colours.boundary);
    painter.drawText(plot, Qt::AlignCenter, "No sets");
  }
  painter.setPen(colours.text);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(plot);
  painter.restore();
}

ProfileCanvas::ProfileCanvas(ProtocolPreview& preview) : QWidget(&preview), preview_(preview) {
  setMouseTracking(true);
  setMinimumSize(480, 260);
  setCursor(Qt::CrossCursor);
}

QRectF ProfileCanvas::PlotArea() const { return PlotRect(QRectF(rect())); }

double ProfileCanvas::TimeAt(double x) const {
  const QRectF plot = PlotArea();
  const PlotFrame& frame = preview_.Frame();
  return frame.from + (x - plot.left()) / plot.width() * (frame.to - frame.from);
}

void ProfileCanvas::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  PaintProfile(painter, QRectF(rect()), preview_.Profile(), preview_.Frame(),
               PlotColours::From(palette()));
}

void ProfileCanvas::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches == 0.0) return;
  preview_.ZoomAt(TimeAt(event->position().x()), std::pow(0.8, notches));
  event->accept();
}

void ProfileCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) drag_from_ = event->position();
}

void ProfileCanvas::mouseMoveEvent(QMouseEvent* event) {
  if (drag_from_ && (event->buttons() & Qt::LeftButton)) {
    const double dx = event->position().x() - drag_from_->x();
    const PlotFrame& frame = preview_.Frame();
    preview_.PanBy(-dx / PlotArea().width() * (frame.to - frame.from));
    drag_from_ = event->position();
  }
  preview_.ShowReadout(TimeAt(event->position().x()));
}

void ProfileCanvas::mouseReleaseEvent(QMouseEvent* /*event*/) { drag_from_.reset(); }

bool ProfileCanvas::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = preview_.CanvasTip(TimeAt(help->pos().x()));
    if (tip.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), tip, this);
    }
    return true;
  }
  return QWidget::event(event);
}

ProtocolPreview::ProtocolPreview(Source source, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(std::move(source)) {
  // Closing the main window ends the program even while this one is open.
  setAttribute(Qt::WA_QuitOnClose, false);
  canvas_ = new ProfileCanvas(*this);
  readout_ = new QLabel(this);
  readout_->setMinimumWidth(320);
  whole_button_ = new QPushButton("Whole Protocol", this);
  export_button_ = new QPushButton("Export...", this);
  connect(whole_button_, &QPushButton::clicked, this, &ProtocolPreview::ShowAll);
  connect(export_button_, &QPushButton::clicked, this, &ProtocolPreview::ExportDialog);

  auto* row = new QHBoxLayout;
  row->addWidget(readout_, 1);
  row->addWidget(whole_button_);
  row->addWidget(export_button_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(canvas_, 1);
  layout->addLayout(row);
  // Within a small screen (or a large scale factor) as well.
  QSize size(900, 420);
  if (const QScreen* screen = this->screen()) {
    size = size.boundedTo(screen->availableGeometry().size() - QSize(40, 60));
  }
  resize(size);

  if (!Refresh()) ShowAll();
  UpdateTitle();
}

ProtocolPreview::~ProtocolPreview() = default;

bool ProtocolPreview::Refresh() {
  std::optional<PreviewSource> source = source_ ? source_() : std::nullopt;
  if (source == shown_) return false;
  shown_ = std::move(source);
  Rebuild(shown_.value_or(PreviewSource{}));
  return true;
}

void ProtocolPreview::Rebuild(const PreviewSource& source) {
  const HardwareSettings settings =
      source.settings_read ? source.settings : DefaultSeriesSettings();
  profile_ = BuildMotionProfile(source.sequence, settings);
  frame_.soft_limit_mm = settings.TravelSoftLimit;
  if (whole_) {
    ShowAll();
  } else {
    SetView(frame_.from, frame_.to);
  }
  UpdateTitle();
  canvas_->update();
}

void ProtocolPreview::UpdateTitle() {
  QString title = "Protocol Preview";
  if (!shown_) {
    title += " - no document window";
  } else if (!shown_->settings_read) {
    title += QString(" - settings of a default %1 unit; none read from the unit")
                 .arg(QString::fromStdString(DefaultSeriesSettings().ModelName()));
  }
  setWindowTitle(title);
}

void ProtocolPreview::SetView(double from, double to) {
  const double total = std::max(profile_.Duration(), kMinimumSpan);
  double span = std::clamp(to - from, kMinimumSpan, total);
  if (!std::isfinite(span)) span = total;
  from = std::clamp(std::isfinite(from) ? from : 0.0, 0.0, total - span);
  frame_.from = from;
  frame_.to = from + span;
  whole_ = from <= 0.0 && span >= total;
  canvas_->update();
}

void ProtocolPreview::ShowAll() {
  frame_.from = 0.0;
  frame_.to = std::max(profile_.Duration(), kMinimumSpan);
  whole_ = true;
  canvas_->update();
}

void ProtocolPreview::ZoomAt(double at, double factor) {
  const double from = at - (at - frame_.from) * factor;
  const double to = at + (frame_.to - at) * factor;
  SetView(from, to);
}

void ProtocolPreview::PanBy(double seconds) { SetView(frame_.from + seconds, frame_.to + seconds); }

void ProtocolPreview::ShowReadout(double seconds) {
  if (seconds < 0.0 || seconds > profile_.Duration() || profile_.Sets().empty()) {
    readout_->clear();
    return;
  }
  const TimeUnitChoice unit = TimeAxisUnit(frame_.to - frame_.from);
  QString time = QString::number(seconds / unit.seconds, 'f', 4) + " " + unit.name;
  if (unit.seconds != 1.0) time += " (" + QString::number(seconds, 'f', 3) + " s)";
  QString text = "Time " + time + "   Position " +
                 QString::number(profile_.PositionMm(seconds), 'f', 4) + " mm";
  if (const std::optional<ProfileLocation> where = profile_.Locate(seconds)) {
    const ProfilePhase& phase = profile_.Phases()[where->phase];
    text += QString("   Set %1, %2")
                .arg(profile_.Sets()[where->set].number)
                .arg(ProfilePhaseName(phase.kind));
  }
  readout_->setText(text);
}

QString ProtocolPreview::PhaseTip(double seconds) const {
  const std::optional<ProfileLocation> where = profile_.Locate(seconds);
  if (!where) return {};
  const ProfilePhase& phase = profile_.Phases()[where->phase];
  if (!phase.late) return {};
  return QString("Set %1 %2 takes %3, composed %4: the motor cannot move faster.")
      .arg(profile_.Sets()[where->set].number)
      .arg(ProfilePhaseName(phase.kind))
      .arg(Seconds(phase.seconds), Seconds(phase.intended));
}

QString ProtocolPreview::CanvasTip(double seconds) const {
  const std::optional<ProfileLocation> where = profile_.Locate(seconds);
  if (!where) return {};
  const QString late = PhaseTip(seconds);
  return late.isEmpty() ? QString("Set %1").arg(profile_.Sets()[where->set].number) : late;
}

bool ProtocolPreview::Export(const QString& path, QSize size) const {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == "png") {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(PlotColours::Paper().background);
    QPainter painter(&image);
    PaintProfile(painter, QRectF(QPointF(0, 0), QSizeF(size)), profile_, frame_);
    painter.end();
    return image.save(path, "PNG");
  }
  QFile file(path);
  if ((suffix != "svg" && suffix != "pdf") || !file.open(QIODevice::WriteOnly)) return false;
  if (suffix == "svg") {
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(windowTitle());
    QPainter painter(&svg);
    PaintProfile(painter, QRectF(QPointF(0, 0), QSizeF(size)), profile_, frame_);
    return painter.end();
  }
  QPdfWriter pdf(&file);
  pdf.setTitle(windowTitle());
  pdf.setPageSize(QPageSize(QPageSize::A4));
  pdf.setPageOrientation(QPageLayout::Landscape);
  pdf.setResolution(96);
  QPainter painter(&pdf);
  PaintProfile(painter, QRectF(0, 0, pdf.width(), pdf.height()), profile_, frame_);
  return painter.end();
}

void ProtocolPreview::ExportDialog() {
  QString filter;
  const QString path = QFileDialog::getSaveFileName(
      this, "Export Protocol Preview", QString(),
      "PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)", &filter);
  if (path.isEmpty()) return;
  QString target = path;
  if (QFileInfo(target).suffix().isEmpty()) {
    target += filter.startsWith("SVG") ? ".svg" : filter.startsWith("PDF") ? ".pdf" : ".png";
  }
  if (!Export(target, canvas_->size() * 2)) {
    readout_->setText("Could not write " + target);
  }
}

}  // namespace stravon::views
