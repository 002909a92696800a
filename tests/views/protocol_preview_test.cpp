// SPDX-License-Identifier: GPL-3.0-or-later
// The preview window offscreen: it paints a ramp and a sinusoid protocol
// (saved as screenshots), follows its source, zooms and pans, reads out the
// point under the pointer and exports what it shows.
#include <optional>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

#include "device/motion_profile.h"
#include "protocol/test_sequence.h"
#include "tests/support/test_settings.h"
#include "views/protocol_preview.h"

namespace stravon::views {
namespace {

TestSet Set(ControlFunction function, double mm, double stretch, double recovery, int reps) {
  TestSet set;
  set.XFunction = function;
  set.XUnits = MeasureUnit::Millimetre;
  set.XMagnitude = mm;
  set.StretchDurationSec = stretch;
  set.RecoveryDurationSec = recovery;
  set.HoldTimeSec = 0.5;
  set.RestTimeSec = 1.0;
  set.NumReps = reps;
  return set;
}

// Fast ramps (one too fast for the motor, so it runs late) and a set that
// only stretches.
PreviewSource RampProtocol() {
  PreviewSource source;
  source.sequence.sets = {Set(ControlFunction::Ramp, 3.0, 0.5, 0.5, 3),
                          Set(ControlFunction::Ramp, 4.0, 1.0, 0.05, 2),
                          Set(ControlFunction::Ramp, 3.0, 0.6, 0.0, 3)};
  source.settings = test_support::FactorySettings();
  source.settings_read = true;
  return source;
}

PreviewSource SinusoidProtocol() {
  PreviewSource source;
  source.sequence.sets = {Set(ControlFunction::Sinusoid, 2.0, 1.0, 1.0, 4),
                          Set(ControlFunction::Sinusoid, 5.0, 0.1, 0.4, 3)};
  source.settings = test_support::FactorySettings();
  return source;  // settings not read: the default series' stand in
}

int CountPixels(const QImage& image, const QColor& colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += image.pixelColor(x, y) == colour ? 1 : 0;
  }
  return count;
}

void Screenshot(QWidget& window, const QString& name) {
  const QString dir = qEnvironmentVariable("STRAVON_SCREENSHOT_DIR");
  if (!dir.isEmpty()) window.grab().save(dir + "/" + name);
}

}  // namespace

class ProtocolPreviewTest : public QObject {
  Q_OBJECT

 private slots:
  void PaintsRampAndSinusoidProtocols();
  void TimeAxisTakesMinutesAndHoursForLongSpans();
  void FollowsTheSource();
  void WheelZoomsAndDragPans();
  void ReadoutAndTooltipTellWhatIsUnderThePointer();
  void ExportsPngSvgAndPdf();
  void CrowdedSetLabelsAreKept();
};

void ProtocolPreviewTest::PaintsRampAndSinusoidProtocols() {
  const QColor late(230, 110, 20);
  const QColor trace(31, 78, 153);
  {
    ProtocolPreview window([] { return RampProtocol(); });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QString("Protocol Preview"));
    QVERIFY(window.Profile().AnyLate());
    QVERIFY(window.Profile().HighestMm() > 7.2);  // beyond the soft limit
    const QImage image = window.Canvas().grab().toImage();
    QVERIFY(CountPixels(image, trace) > 500);
    QVERIFY(CountPixels(image, late) > 0);
    Screenshot(window, "protocol_preview_ramp.png");
  }
  {
    ProtocolPreview window([] { return SinusoidProtocol(); });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.windowTitle().contains("P1-1"));
    QVERIFY(window.windowTitle().contains("none read"));
    const QImage image = window.Canvas().grab().toImage();
    QVERIFY(CountPixels(image, trace) > 500);
    // The 5 mm half sine in 0.1 s is too fast for the ramp.
    QVERIFY(CountPixels(image, late) > 0);
    Screenshot(window, "protocol_preview_sinusoid.png");
  }
}

void ProtocolPreviewTest::TimeAxisTakesMinutesAndHoursForLongSpans() {
  QCOMPARE(QString(TimeAxisUnit(90.0).name), QString("s"));
  QCOMPARE(QString(TimeAxisUnit(4050.0).name), QString("min"));
  QCOMPARE(TimeAxisUnit(4050.0).seconds, 60.0);
  QCOMPARE(QString(TimeAxisUnit(20 * 3600.0).name), QString("h"));
  // The example protocol: 100 ramp repetitions, then 60 sinusoid ones of a
  // minute each.
  PreviewSource source = RampProtocol();
  source.sequence.sets = {Set(ControlFunction::Ramp, 2.5, 1.0, 1.0, 100),
                          Set(ControlFunction::Sinusoid, 1.0, 0.5, 0.5, 60)};
  source.sequence.sets[1].TimeUnits = TimeUnit::Minutes;
  ProtocolPreview window([&source] { return source; });
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  Screenshot(window, "protocol_preview_minutes.png");
}

void ProtocolPreviewTest::FollowsTheSource() {
  std::optional<PreviewSource> current = RampProtocol();
  ProtocolPreview window([&current] { return current; });
  const double high = window.Profile().HighestMm();
  QVERIFY(!window.Refresh());  // nothing changed
  current->sequence.sets.back().XMagnitude = 3.5;
  QVERIFY(window.Refresh());
  QVERIFY(window.Profile().HighestMm() > high);
  // Nothing changes until the owner says so: the window does not poll.
  current->sequence.sets.pop_back();
  const std::size_t sets = window.Profile().Sets().size();
  QTest::qWait(300);
  QCOMPARE(window.Profile().Sets().size(), sets);
  QVERIFY(window.Refresh());
  QCOMPARE(window.Profile().Sets().size(), sets - 1);
  current.reset();
  QVERIFY(window.Refresh());
  QVERIFY(window.Profile().Sets().empty());
  QVERIFY(window.windowTitle().contains("no document"));
}

void ProtocolPreviewTest::WheelZoomsAndDragPans() {
  ProtocolPreview window([] { return RampProtocol(); });
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  const double total = window.Profile().Duration();
  QCOMPARE(window.Frame().from, 0.0);
  QCOMPARE(window.Frame().to, total);

  ProfileCanvas& canvas = window.Canvas();
  const QRectF plot = canvas.PlotArea();
  const QPointF middle = plot.center();
  const double at = canvas.TimeAt(middle.x());
  QWheelEvent wheel(middle, canvas.mapToGlobal(middle), QPoint(), QPoint(0, 240), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&canvas, &wheel);
  const double span = window.Frame().to - window.Frame().from;
  QVERIFY(std::abs(span - total * 0.64) < 1e-9);
  QVERIFY(std::abs(canvas.TimeAt(middle.x()) - at) < 1e-9);  // the point stays put

  // Dragging right shows earlier times.
  const double from = window.Frame().from;
  QTest::mousePress(&canvas, Qt::LeftButton, Qt::NoModifier, middle.toPoint());
  QTest::mouseMove(&canvas, (middle + QPointF(50, 0)).toPoint());
  QTest::mouseRelease(&canvas, Qt::LeftButton, Qt::NoModifier, (middle + QPointF(50, 0)).toPoint());
  QVERIFY(window.Frame().from < from);
  QVERIFY(std::abs(window.Frame().to - window.Frame().from - span) < 1e-9);

  // Never past the protocol, never narrower than a tenth of a millisecond.
  window.PanBy(-10 * total);
  QCOMPARE(window.Frame().from, 0.0);
  for (int i = 0; i < 200; ++i) window.ZoomAt(1.0, 0.5);
  QVERIFY(window.Frame().to - window.Frame().from >= 1e-4 - 1e-12);
  window.ShowAll();
  QCOMPARE(window.Frame().to, total);
}

void ProtocolPreviewTest::ReadoutAndTooltipTellWhatIsUnderThePointer() {
  ProtocolPreview window([] { return RampProtocol(); });
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  ProfileCanvas& canvas = window.Canvas();
  const QRectF plot = canvas.PlotArea();
  QTest::mouseMove(&canvas, QPoint(static_cast<int>(plot.left()) + 5, 100));
  QVERIFY(window.Readout().text().contains("Position"));
  QVERIFY(window.Readout().text().contains("Set 1"));

  const MotionProfile& profile = window.Profile();
  const ProfileSet& second = profile.Sets()[1];
  const ProfilePhase& recovery = profile.PhaseOf(second, ProfilePhaseKind::Recovery);
  QVERIFY(recovery.late);
  const QString tip = window.PhaseTip(second.start + recovery.start + recovery.seconds / 2);
  QVERIFY(tip.contains("Set 2 recovery"));
  QVERIFY(tip.contains("composed 0.05 s"));
  QVERIFY(window.PhaseTip(second.start + 0.1).isEmpty());  // its stretch keeps time
}

void ProtocolPreviewTest::ExportsPngSvgAndPdf() {
  ProtocolPreview window([] { return SinusoidProtocol(); });
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString png = dir.filePath("preview.png");
  QVERIFY(window.Export(png, QSize(800, 400)));
  const QImage image(png);
  QCOMPARE(image.size(), QSize(800, 400));
  QVERIFY(CountPixels(image, QColor(31, 78, 153)) > 300);

  QVERIFY(window.Export(dir.filePath("preview.svg"), QSize(800, 400)));
  QFile svg(dir.filePath("preview.svg"));
  QVERIFY(svg.open(QIODevice::ReadOnly));
  const QByteArray svg_text = svg.readAll();
  QVERIFY(svg_text.contains("<svg"));
  QVERIFY(svg_text.contains("Set 2"));

  QVERIFY(window.Export(dir.filePath("preview.pdf")));
  QFile pdf(dir.filePath("preview.pdf"));
  QVERIFY(pdf.open(QIODevice::ReadOnly));
  QVERIFY(pdf.read(5) == "%PDF-");

  QVERIFY(!window.Export(dir.filePath("missing/preview.svg")));
  QVERIFY(!window.Export(dir.filePath("preview.bmpx")));
}

void ProtocolPreviewTest::CrowdedSetLabelsAreKept() {
  // Three long sets, then two short ones whose starts crowd at the right
  // edge, in a narrow export: every set is still named.
  PreviewSource source;
  source.sequence.sets = {
      Set(ControlFunction::Ramp, 2.0, 1.0, 1.0, 40), Set(ControlFunction::Ramp, 2.0, 1.0, 1.0, 40),
      Set(ControlFunction::Ramp, 2.0, 1.0, 1.0, 40), Set(ControlFunction::Ramp, 2.0, 1.0, 1.0, 1),
      Set(ControlFunction::Ramp, 2.0, 1.0, 1.0, 1)};
  source.settings = test_support::FactorySettings();
  source.settings_read = true;
  ProtocolPreview window([source] { return source; });
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString path = dir.filePath("crowded.svg");
  QVERIFY(window.Export(path, QSize(480, 300)));
  QFile svg(path);
  QVERIFY(svg.open(QIODevice::ReadOnly));
  const QByteArray text = svg.readAll();
  for (const char* label : {"Set 1", "Set 4", "Set 5"}) QVERIFY2(text.contains(label), label);

  // Under the pointer the set is named, also where no phase runs late.
  const ProfileSet& fifth = window.Profile().Sets()[4];
  QCOMPARE(window.CanvasTip(fifth.start + 0.1), QString("Set 5"));
  QVERIFY(window.CanvasTip(window.Profile().Duration() + 1.0).isEmpty());
  window.resize(480, 300);
  window.show();
  Screenshot(window, "preview_crowded.png");
}

}  // namespace stravon::views

QTEST_MAIN(stravon::views::ProtocolPreviewTest)
#include "protocol_preview_test.moc"
