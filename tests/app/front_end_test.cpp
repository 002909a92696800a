// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>
#include <thread>
#include <vector>

#include <QTest>
#include <QWidget>

#include "app/qt_front_end.h"

namespace stravon::app {
namespace {

// Records what reaches the window, in the order it arrives.
class Recorder : public QtFrontEnd::Target {
 public:
  void AppendOutput(const std::string& text) override {
    if (events.empty() || events.back().rfind("out:", 0) != 0) events.push_back("out:");
    events.back() += text;
  }
  void ClearOutput() override { events.push_back("clear"); }
  int CommitSequence() override {
    events.push_back("commit");
    return 1;
  }
  void RefreshFromDocument() override { events.push_back("refresh"); }
  void RefreshSettings() override { events.push_back("settings"); }
  void WriteOffsetField(const std::string& text) override { events.push_back("offset:" + text); }

  std::vector<std::string> events;
};

}  // namespace

// The window's front end carries a worker's calls out in order, however many.
class FrontEndTest : public QObject {
  Q_OBJECT

 private slots:
  void AFloodOfOutputKeepsItsOrderAndItsText();
};

void FrontEndTest::AFloodOfOutputKeepsItsOrderAndItsText() {
  QWidget window;
  QtFrontEnd front_end(&window);
  Recorder recorder;
  front_end.SetTarget(&recorder);

  constexpr int kLines = 3000;
  std::vector<std::string> expected;
  std::string run;
  const auto line = [](int i) { return "line " + std::to_string(i) + "\n"; };
  for (int i = 0; i < kLines; ++i) {
    run += line(i);
    if (i % 1000 == 999) {
      expected.push_back("out:" + run);
      expected.push_back(i == 1999 ? "commit" : "clear");
      run.clear();
    }
  }
  expected.push_back("settings");

  int answer = 0;
  std::thread worker([&] {
    for (int i = 0; i < kLines; ++i) {
      front_end.AppendOutput(line(i));
      if (i % 1000 == 999) {
        // The question waits for its answer: what came before it is shown first.
        if (i == 1999) {
          answer = front_end.CommitSequence();
        } else {
          front_end.ClearOutput();
        }
      }
    }
    front_end.RefreshSettings();
  });
  QTRY_VERIFY_WITH_TIMEOUT(recorder.events.size() == expected.size(), 10000);
  worker.join();
  QCOMPARE(answer, 1);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    QVERIFY2(recorder.events[i] == expected[i], qPrintable(QString("event %1 differs").arg(i)));
  }
}

}  // namespace stravon::app

QTEST_MAIN(stravon::app::FrontEndTest)
#include "front_end_test.moc"
