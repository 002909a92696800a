// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdlib>
#include <memory>
#include <string>

#include <QApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QtTest>

#include "device/device_session.h"
#include "protocol/test_sequence.h"
#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"
#include "ui/document.h"
#include "ui/settings_store.h"
#include "ui/stage_model.h"
#include "views/progress_window.h"
#include "views/time_to_complete_bar.h"

namespace stravon::views {
namespace {

constexpr int kWaitMs = 15000;
// Slow enough that a read of the program area lasts a few seconds.
constexpr int kPacingBaud = 57600;

// A front end with the real progress window over `owner`; it keeps the
// output pane's text and answers every box with OK.
class ProgressFrontEnd : public FrontEnd {
 public:
  ProgressFrontEnd(QWidget* owner, SettingsStore& settings) : owner_(owner), settings_(settings) {}
  MessageButton ShowMessageBox(MessageKind, const std::string&, const std::string&) override {
    return MessageButton::kOk;
  }
  void AppendOutput(const std::string& text) override { output_ += text; }
  void ClearOutput() override { output_.clear(); }
  std::unique_ptr<ProgressWindow> CreateProgressWindow(const std::string& text,
                                                       std::function<void()> cancel) override {
    return std::make_unique<WidgetProgressWindow>(owner_, settings_, text, std::move(cancel));
  }
  const std::string& Output() const { return output_; }

 private:
  QWidget* owner_;
  SettingsStore& settings_;
  std::string output_;
};

// The percentage in the caption, -1 while there is none.
int Percent(const QWidget& window) {
  const QRegularExpressionMatch match =
      QRegularExpression(QStringLiteral("^Progress \\[(\\d+)%\\]$")).match(window.windowTitle());
  return match.hasMatch() ? match.captured(1).toInt() : -1;
}

TestSequence OneSet() {
  TestSequence sequence;
  TestSet set;
  set.XUnits = MeasureUnit::Millimetre;
  set.XMagnitude = 1.5;
  sequence.sets.push_back(set);
  return sequence;
}

}  // namespace

class ProgressWindowTest : public QObject {
  Q_OBJECT

 private:
  ProgressWindowWidget* Window() const { return main_->findChild<ProgressWindowWidget*>(); }

  // Waits until a transfer's window is up and has counted some progress.
  ProgressWindowWidget* WaitForWindow() {
    ProgressWindowWidget* window = nullptr;
    [&] {
      QTRY_VERIFY_WITH_TIMEOUT((window = Window()) != nullptr && window->isVisible() &&
                                   window->windowTitle() != QStringLiteral("Progress"),
                               kWaitMs);
    }();
    return window;
  }

  std::unique_ptr<sim::FixtureTree> tree_;
  std::unique_ptr<sim::SimulatedUnit> unit_;
  std::unique_ptr<QWidget> main_;
  std::unique_ptr<MemorySettingsStore> settings_;
  std::unique_ptr<ProgressFrontEnd> front_end_;
  std::unique_ptr<StageModel> stage_;
  std::unique_ptr<Document> document_;

  // Carries the session's events out while the test waits, as the window's
  // event loop does.
  void Follow() {
    auto* notifier = new QSocketNotifier(document_->Session().Events().WakeFd(),
                                         QSocketNotifier::Read, main_.get());
    connect(notifier, &QSocketNotifier::activated, notifier, [this] { document_->DrainEvents(); });
  }

 private slots:
  void init() {
    sim::UnitOptions options;
    options.pacing_baud = kPacingBaud;
    unit_ = std::make_unique<sim::SimulatedUnit>(options);
    QCOMPARE(unit_->Start(), 0);
    tree_ = std::make_unique<sim::FixtureTree>(sim::FixtureTree::Temporary());
    QVERIFY(!tree_->AddUsbPort(sim::UnitIdentity(), unit_->SlavePath()).empty());

    main_ = std::make_unique<QWidget>();
    main_->setWindowTitle(QStringLiteral("Stravon"));
    main_->setGeometry(60, 40, 640, 420);
    main_->show();
    settings_ = std::make_unique<MemorySettingsStore>();
    front_end_ = std::make_unique<ProgressFrontEnd>(main_.get(), *settings_);
    DeviceSessionOptions document_options;
    document_options.roots = {tree_->SysfsRoot(), tree_->DevRoot()};
    document_options.read_timeout_ms = 300;
    stage_ = std::make_unique<StageModel>(*front_end_);
    document_ = std::make_unique<Document>(*front_end_, *stage_, document_options);
    Follow();
    document_->Session().StartWorker();
    QTRY_VERIFY_WITH_TIMEOUT(document_->SettingsRead(), kWaitMs);
  }

  void cleanup() {
    // The notifier watches the session's descriptor.
    qDeleteAll(main_->findChildren<QSocketNotifier*>());
    document_.reset();
    stage_.reset();
    front_end_.reset();
    main_.reset();
    unit_.reset();
    tree_.reset();
  }

  void ReadDeviceShowsProgressOverTheMainWindow() {
    QVERIFY(document_->ReadDevice().Accepted());
    ProgressWindowWidget* window = WaitForWindow();
    QVERIFY(window != nullptr);
    QVERIFY(Percent(*window) >= 0);
    QCOMPARE(window->MessageText(), QStringLiteral("Reading Device..."));
    // Its owner is closed to input while it shows; it is not.
    QVERIFY(!main_->isEnabled());
    QVERIFY(window->CancelButton()->isEnabled());
    QCOMPARE(window->CancelButton()->text(), QStringLiteral(" Cancel "));
    // Never placed before: centred over the main window.
    const QPoint offset = window->frameGeometry().center() - main_->frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("off by %1,%2").arg(offset.x()).arg(offset.y())));

    // Past 2 % the bar estimates the time left.
    QTRY_VERIFY_WITH_TIMEOUT(!window->Bar()->Text().isEmpty(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(Percent(*window) >= 30, kWaitMs);
    window->grab().save(qEnvironmentVariable("STRAVON_SCREENSHOT_DIR") +
                        QStringLiteral("/progress_window.png"));

    QTRY_VERIFY_WITH_TIMEOUT(
        front_end_->Output().find("\nReading Device... Success\n") != std::string::npos, kWaitMs);
    QTRY_VERIFY(Window() == nullptr);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QVERIFY(main_->isEnabled());
  }

  void CancelStopsTheTransferAndTheNextWindowOpensWhereItWasLeft() {
    const TestSequence before = OneSet();
    document_->Load(before);
    unit_->ClearTranscript();
    QVERIFY(document_->ReadDevice().Accepted());
    ProgressWindowWidget* window = WaitForWindow();
    QVERIFY(window != nullptr);
    window->move(120, 70);
    QTest::mouseClick(window->CancelButton(), Qt::LeftButton);
    QVERIFY(!window->isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(
        front_end_->Output().find("\nReading Device... Cancelled\n") != std::string::npos, kWaitMs);
    QVERIFY(unit_->CommandCount(sim::CommandKind::kReadByte) < 1408);
    QCOMPARE(document_->Protocol(), before);
    QTRY_VERIFY(Window() == nullptr);
    QCOMPARE(settings_->ReadInteger(kSettingsSection, kProgressXValue, -1), 120);
    QCOMPARE(settings_->ReadInteger(kSettingsSection, kProgressYValue, -1), 70);

    QVERIFY(document_->ReadDevice().Accepted());
    window = WaitForWindow();
    QVERIFY(window != nullptr);
    QCOMPARE(window->pos(), QPoint(120, 70));
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(
        front_end_->Output().find("\nReading Device... Cancelled\n") != std::string::npos, kWaitMs);
  }

  void CaptionCountsWholePercentsOnly() {
    ProgressWindowWidget window(main_.get(), *settings_);
    window.SetBounds(0, 200);
    QCOMPARE(window.windowTitle(), QStringLiteral("Progress"));
    window.SetPosition(1);  // 0.5 % rounds up
    QCOMPARE(window.windowTitle(), QStringLiteral("Progress [1%]"));
    window.SetPosition(3);
    QCOMPARE(window.windowTitle(), QStringLiteral("Progress [2%]"));
    window.SetBounds(5, 5);
    window.SetPosition(5);
    QCOMPARE(window.windowTitle(), QStringLiteral("Progress [0%]"));
    QVERIFY(window.isVisible());
  }
};

}  // namespace stravon::views

QTEST_MAIN(stravon::views::ProgressWindowTest)
#include "progress_window_test.moc"
