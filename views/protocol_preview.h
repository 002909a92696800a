// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>

#include <QColor>
#include <QPalette>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QWidget>

#include "device/hardware_settings.h"
#include "device/motion_profile.h"
#include "protocol/test_sequence.h"

class QLabel;
class QPainter;
class QPushButton;

namespace stravon::views {

// What the preview shows: a protocol and the settings it is compiled with.
struct PreviewSource {
  TestSequence sequence;
  HardwareSettings settings;
  bool settings_read = false;  // false: the settings stand in for a unit's

  bool operator==(const PreviewSource&) const = default;
};

// The part of a profile to draw and what to mark on it.
struct PlotFrame {
  double from = 0.0;  // seconds
  double to = 1.0;
  double soft_limit_mm = 0.0;
};

// The colours a plot is drawn in.
struct PlotColours {
  QColor background;
  QColor text;
  QColor grid;
  QColor zero;
  QColor boundary;
  QColor trace;
  QColor late;
  QColor soft_limit;

  // An exported file is a document: dark on white, whatever the desktop's
  // palette.
  static PlotColours Paper();
  // On screen: the palette's background and text, lines between the two,
  // and the trace and warning colours that stand out most against it.
  static PlotColours From(const QPalette& palette);
};

// Draws the profile over [frame.from, frame.to] into `area`: axes in
// sensible units, the zero and soft-limit lines, set boundaries with their
// numbers, and the position trace with late phases in a warning colour. The
// window and every export paint through this one routine; its cost depends
// on the area's width, not on the protocol.
// Set labels that do not fit are shortened to their numbers, or left to the
// window's tooltip.
void PaintProfile(QPainter& painter, const QRectF& area, const MotionProfile& profile,
                  const PlotFrame& frame, const PlotColours& colours = PlotColours::Paper());

// Where PaintProfile puts the plot inside `area`: the margins hold the axes'
// labels and the set numbers.
QRectF PlotRect(const QRectF& area);

// The time axis's unit for a span of seconds: "s", "min" or "h", and its
// length in seconds.
struct TimeUnitChoice {
  const char* name;
  double seconds;
};
TimeUnitChoice TimeAxisUnit(double span_seconds);

class ProfileCanvas;

// A window of its own beside the main window: what the unit will
// do with the working sequence of the active document window, position over
// time. Its owner calls Refresh when the sequence or the settings may have
// changed; it asks its source then and redraws only when they did. Wheel zooms the time axis,
// dragging pans, the label below reads out time and position under the pointer, and a late phase's
// tooltip gives both its durations.
class ProtocolPreview : public QWidget {
  Q_OBJECT

 public:
  // Nothing while there is no document window.
  using Source = std::function<std::optional<PreviewSource>()>;

  explicit ProtocolPreview(Source source, QWidget* parent = nullptr);
  ~ProtocolPreview() override;
  ProtocolPreview(const ProtocolPreview&) = delete;
  ProtocolPreview& operator=(const ProtocolPreview&) = delete;

  // Asks the source now; true when the profile was rebuilt.
  bool Refresh();

  const MotionProfile& Profile() const { return profile_; }
  const PlotFrame& Frame() const { return frame_; }
  // Shows [from, to] (kept within the protocol, at least a tenth of a
  // millisecond wide).
  void SetView(double from, double to);
  // The whole protocol.
  void ShowAll();
  // Zooms by `factor` (below 1 in) keeping `at` where it is.
  void ZoomAt(double at, double factor);
  void PanBy(double seconds);

  ProfileCanvas& Canvas() { return *canvas_; }
  QLabel& Readout() { return *readout_; }
  // The tooltip text at a time: the late phase there, or empty.
  QString PhaseTip(double seconds) const;
  // The canvas's tooltip at a time: the set there (its label may not have
  // had room) and the late phase, if any; empty outside the protocol.
  QString CanvasTip(double seconds) const;

  // Exports what the window shows. The format follows the suffix: .png,
  // .svg or .pdf. False when the file cannot be written.
  bool Export(const QString& path, QSize size = QSize(1600, 700)) const;

 private:
  friend class ProfileCanvas;
  void Rebuild(const PreviewSource& source);
  void ExportDialog();
  void UpdateTitle();
  void ShowReadout(double seconds);

  Source source_;
  std::optional<PreviewSource> shown_;
  MotionProfile profile_;
  PlotFrame frame_;
  bool whole_ = true;  // following the whole protocol, not a zoomed part

  ProfileCanvas* canvas_ = nullptr;
  QLabel* readout_ = nullptr;
  QPushButton* whole_button_ = nullptr;
  QPushButton* export_button_ = nullptr;
};

// The plot area of the preview.
class ProfileCanvas : public QWidget {
  Q_OBJECT

 public:
  explicit ProfileCanvas(ProtocolPreview& preview);
  // Seconds at a horizontal position; the plot's left and right edges.
  double TimeAt(double x) const;
  QRectF PlotArea() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  ProtocolPreview& preview_;
  std::optional<QPointF> drag_from_;
};

}  // namespace stravon::views
