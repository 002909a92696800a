// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "app/qt_front_end.h"

namespace stravon::app {
namespace {

// Records what reaches the window, in the order it arrives.
class Recorder : public QtFrontEnd::Target {
 public:
  void AppendOutput(const std::string& text) override { events.push_back("out:" + text); }
  void ClearOutput() override { events.push_back("clear"); }

  std::vector<std::string> events;
};

// A progress window that shows nothing.
class FakeProgress : public ProgressWindow {
 public:
  void SetBounds(int, int) override {}
  void SetStepSize(int) override {}
  void Advance() override {}
  bool IsCancelled() const override { return false; }
};

}  // namespace

class FrontEndTest : public QObject {
  Q_OBJECT

 private slots:
  void OutputFromAnyThreadArrivesInOrder();
  void AfterShutdownNothingIsShown();
};

void FrontEndTest::OutputFromAnyThreadArrivesInOrder() {
  QWidget window;
  QtFrontEnd front_end(&window);
  Recorder recorder;
  front_end.SetTarget(&recorder);

  front_end.ClearOutput();
  front_end.AppendOutput("here\n");
  QCOMPARE(recorder.events, (std::vector<std::string>{"clear", "out:here\n"}));

  // A message log written on another thread.
  constexpr int kLines = 500;
  std::thread writer([&] {
    for (int i = 0; i < kLines; ++i) front_end.AppendOutput(std::to_string(i) + "\n");
  });
  writer.join();
  QTRY_COMPARE(recorder.events.size(), std::size_t{2 + kLines});
  for (int i = 0; i < kLines; ++i) {
    QCOMPARE(recorder.events[std::size_t(2 + i)], "out:" + std::to_string(i) + "\n");
  }
}

void FrontEndTest::AfterShutdownNothingIsShown() {
  QWidget window;
  window.show();
  auto front_end = std::make_unique<QtFrontEnd>(&window);
  Recorder recorder;
  front_end->SetTarget(&recorder);
  int made = 0;
  front_end->SetProgressFactory([&made](const std::string&, std::function<void()>) {
    ++made;
    return std::make_unique<FakeProgress>();
  });
  QVERIFY(front_end->CreateProgressWindow("Reading Device...", {}) != nullptr);

  // A box showing when the window closes ends as Cancel.
  FrontEnd::MessageButton answer = FrontEnd::MessageButton::kOk;
  QTimer::singleShot(50, &window, [&] { front_end->Shutdown(); });
  answer = front_end->ShowMessageBox(FrontEnd::MessageKind::kError, "Stravon", "text");
  QCOMPARE(int(answer), int(FrontEnd::MessageButton::kCancel));
  QVERIFY(window.findChildren<QMessageBox*>().isEmpty() ||
          !window.findChild<QMessageBox*>()->isVisible());

  // Afterwards nothing more is asked or shown.
  QCOMPARE(int(front_end->ShowMessageBox(FrontEnd::MessageKind::kError, "Stravon", "again")),
           int(FrontEnd::MessageButton::kCancel));
  QVERIFY(!front_end->ChooseProtocolFile(FrontEnd::FileDialogKind::kOpen, "/tmp").has_value());
  QVERIFY(front_end->CreateProgressWindow("Reading Device...", {}) == nullptr);
  QCOMPARE(made, 1);
  front_end->AppendOutput("dropped\n");
  front_end->ClearOutput();
  QVERIFY(recorder.events.empty());
}

}  // namespace stravon::app

QTEST_MAIN(stravon::app::FrontEndTest)
#include "front_end_test.moc"
