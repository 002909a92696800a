// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program's figures, measured on the real program: this executable
// starts child processes of itself that run the program's own start-up
// (RunApplication with --simulate), with a probe installed when the
// application object is made. The parent prints one table against the goals.
//
//   desktop_bench [--runs N] [--idle-seconds S]
//
// Without a display the children draw offscreen (QT_QPA_PLATFORM), as the
// tests do; run it under xvfb-run to go through an X server. The children keep
// their settings in a temporary folder, never in the user's own.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include "app/application.h"
#include "app/document_window.h"
#include "app/main_window.h"
#include "protocol/protocol_file.h"
#include "protocol/test_sequence.h"
#include "views/output_pane.h"
#include "views/report_list.h"
#include "views/stage_view.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using stravon::Command;
using stravon::app::DocumentWindow;
using stravon::app::MainWindow;

constexpr int kMessageCount = 10000;
constexpr int kRowCount = 60;
constexpr int kTransferRepeats = 3;
constexpr int kRefreshRepeats = 20;

// Set in the child before the application starts.
std::string g_mode;
std::int64_t g_spawned_ns = 0;  // the parent's steady clock just before spawning
int g_idle_seconds = 10;
std::string g_example;

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

double SinceSpawnMs() { return static_cast<double>(NowNs() - g_spawned_ns) / 1e6; }

void Report(const std::string& key, double value) {
  // Marked: the program's message log writes to standard output as well.
  std::printf("figure %s %.3f\n", key.c_str(), value);
  std::fflush(stdout);
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// VmRSS or VmHWM of this process, in MiB.
double StatusMiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) {
      return std::strtod(line.c_str() + field.size() + 1, nullptr) / 1024.0;
    }
  }
  return 0;
}

MainWindow* FindMainWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* window = qobject_cast<MainWindow*>(widget)) return window;
  }
  return nullptr;
}

// A timer that measures its own lateness: the longest time the interface
// thread's event loop did not come round beyond the timer's interval.
class StallMeter : public QObject {
 public:
  static constexpr int kIntervalMs = 2;

  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
      const qint64 now = clock_.nsecsElapsed();
      worst_ns_ = std::max(worst_ns_, now - last_ns_ - kIntervalMs * 1'000'000LL);
      last_ns_ = now;
    });
  }
  void Start() {
    worst_ns_ = 0;
    clock_.start();
    last_ns_ = 0;
    timer_.start(kIntervalMs);
  }
  double StopMs() {
    timer_.stop();
    return static_cast<double>(std::max<qint64>(worst_ns_, 0)) / 1e6;
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ns_ = 0;
  qint64 worst_ns_ = 0;
};

// Runs the event loop, as the program runs it, until `done` holds (checked
// every millisecond); false on time-out.
bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  if (done()) return true;
  QEventLoop loop;
  QTimer check;
  check.setTimerType(Qt::PreciseTimer);
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  check.start(1);
  QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
  loop.exec();
  return done();
}

// Runs the event loop for `ms` with nothing of this program's own awake.
void RunFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

stravon::TestSequence Example() {
  stravon::TestSequence sequence;
  std::string error;
  if (!stravon::ReadProtocolFile(g_example, sequence, &error)) {
    std::fprintf(stderr, "desktop_bench: %s: %s\n", g_example.c_str(), error.c_str());
    std::exit(1);
  }
  return sequence;
}

// Read Device or Program Device through the window's command, with the
// stall meter running; returns the longest stall in ms.
double TransferStall(MainWindow& window, DocumentWindow& document, Command command) {
  std::optional<stravon::Outcome> outcome;
  QObject context;
  QObject::connect(&document.Events(), &stravon::app::SessionEvents::Handled, &context,
                   [&outcome](const stravon::SessionEvent& event) {
                     if (const auto* finished = std::get_if<stravon::FinishedEvent>(&event)) {
                       outcome = finished->outcome;
                     }
                   });
  StallMeter meter;
  meter.Start();
  window.Route(command);
  if (!WaitFor([&] { return outcome.has_value(); }, 60000)) {
    std::fprintf(stderr, "desktop_bench: the transfer did not end\n");
    std::exit(1);
  }
  RunFor(50);
  if (!outcome->Done()) {
    std::fprintf(stderr, "desktop_bench: the transfer failed\n");
    std::exit(1);
  }
  return meter.StopMs();
}

void MeasureSession(MainWindow& window) {
  DocumentWindow& document = *window.ActiveDocument();

  StallMeter meter;
  meter.Start();
  RunFor(2000);
  Report("stall_idle_ms", meter.StopMs());

  document.Stage().RefreshFromDocument(Example());
  std::vector<double> program;
  std::vector<double> read;
  for (int i = 0; i < kTransferRepeats; ++i) {
    program.push_back(TransferStall(window, document, Command::kProgramDevice));
    read.push_back(TransferStall(window, document, Command::kReadDevice));
  }
  Report("stall_program_ms", *std::max_element(program.begin(), program.end()));
  Report("stall_read_ms", *std::max_element(read.begin(), read.end()));

  // Idle, connected: the worker's connection checks, the window's timers and
  // the simulated unit, all in this process.
  const double cpu_before = CpuSeconds();
  QElapsedTimer idle;
  idle.start();
  RunFor(g_idle_seconds * 1000);
  Report("idle_cpu_percent",
         100.0 * (CpuSeconds() - cpu_before) / (static_cast<double>(idle.elapsed()) / 1000.0));
  Report("rss_mib", StatusMiB("VmRSS"));
  Report("rss_peak_mib", StatusMiB("VmHWM"));

  // 10,000 messages straight into the pane, then painted.
  stravon::views::OutputPane& pane = document.View().Output();
  pane.ClearOutput();
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < kMessageCount; ++i) {
    pane.AppendOutput("Serial port message " + std::to_string(i) + ": read timed out\n");
  }
  // The pane scrolls to the newest line when the event loop next runs.
  QCoreApplication::processEvents();
  pane.repaint();
  Report("append_direct_ms", static_cast<double>(clock.nsecsElapsed()) / 1e6);

  // The same from another thread through the window's front end, as a
  // worker flooding the pane would: until the last line is there.
  pane.ClearOutput();
  meter.Start();
  clock.restart();
  std::thread flood([&document] {
    for (int i = 0; i < kMessageCount; ++i) {
      document.Front().AppendOutput("Serial port message " + std::to_string(i) +
                                    ": read timed out\n");
    }
  });
  WaitFor([&] { return pane.LineCount() >= kMessageCount; }, 30000);
  Report("append_front_end_stall_ms", meter.StopMs());
  pane.repaint();
  Report("append_front_end_ms", static_cast<double>(clock.nsecsElapsed()) / 1e6);
  flood.join();

  // A 60-row list refreshed from the document, rows and totals repainted.
  stravon::TestSequence sixty;
  const stravon::TestSequence example = Example();
  for (int i = 0; i < kRowCount; ++i) sixty.sets.push_back(example.sets[i % example.sets.size()]);
  std::vector<double> refresh;
  for (int i = 0; i < kRefreshRepeats; ++i) {
    clock.restart();
    document.Stage().RefreshFromDocument(sixty);
    document.View().repaint();
    refresh.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    QCoreApplication::processEvents();
  }
  Report("refresh60_median_ms", Median(refresh));
  Report("refresh60_max_ms", *std::max_element(refresh.begin(), refresh.end()));
}

// Installed when the application object is made, before any window.
class Probe : public QObject {
 public:
  Probe() {
    connect(&poll_, &QTimer::timeout, this, [this] { Poll(); });
    poll_.start(1);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!painted_ && event->type() == QEvent::Paint) {
      auto* widget = qobject_cast<QWidget*>(watched);
      if (widget != nullptr && qobject_cast<MainWindow*>(widget->window()) != nullptr) {
        painted_ = true;
        // The first frame is on the screen once this round of painting is over.
        QTimer::singleShot(0, this, [] { Report("shown_ms", SinceSpawnMs()); });
      }
    }
    return false;
  }

 private:
  void Poll() {
    // Nothing asks questions in these runs; a box that comes up anyway is a
    // failure to see, not to wait on.
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      std::fprintf(stderr, "desktop_bench: message box: %s\n", box->text().toStdString().c_str());
      box->done(QMessageBox::Ok);
    }
    MainWindow* window = FindMainWindow();
    DocumentWindow* document = window ? window->ActiveDocument() : nullptr;
    if (document == nullptr || !document->Doc().Connected() || !document->Doc().SettingsRead()) {
      return;
    }
    poll_.stop();
    Report("connected_ms", SinceSpawnMs());
    if (g_mode == "session") MeasureSession(*window);
    QApplication::exit(0);
  }

  QTimer poll_;
  bool painted_ = false;
};

void InstallProbe() {
  if (g_mode.empty()) return;
  auto* probe = new Probe;
  probe->setParent(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(probe);
}
Q_COREAPP_STARTUP_FUNCTION(InstallProbe)

int RunChild() {
  char program[] = "stravon";
  char simulate[] = "--simulate";
  char* arguments[] = {program, simulate, nullptr};
  int count = 2;
  return stravon::app::RunApplication(count, arguments);
}

// Runs one child and collects its figures.
std::map<std::string, double> Spawn(const std::string& self, const std::string& mode,
                                    int idle_seconds) {
  const std::string spawned = std::to_string(NowNs());
  const std::string idle = std::to_string(idle_seconds);
  std::vector<std::string> words = {self, "--child", mode, spawned, idle, g_example};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid = 0;
  // The spawn time is taken right before, so the child's figures count from here.
  const int error = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (error != 0) {
    close(out[0]);
    return {};
  }
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  std::map<std::string, double> figures;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string marker;
    std::string key;
    double value = 0;
    if (fields >> marker >> key >> value && marker == "figure") figures[key] = value;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) figures["failed"] = 1;
  return figures;
}

void Row(const char* what, const std::string& figure, const char* goal) {
  std::printf("| %-52s | %-22s | %-12s |\n", what, figure.c_str(), goal);
}

std::string Ms(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f ms", value);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--child") == 0) {
    // Never falls through to the parent's part: a child must not spawn.
    if (argc != 6) return 2;
    g_mode = argv[2];
    g_spawned_ns = std::strtoll(argv[3], nullptr, 10);
    g_idle_seconds = std::atoi(argv[4]);
    g_example = argv[5];
    return RunChild();
  }

  int runs = 7;
  int idle_seconds = 10;
  g_example = std::string(STRAVON_SOURCE_DIR) + "/examples/cyclic_stretch.tmt";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--idle-seconds") == 0)
      idle_seconds = std::max(1, std::atoi(argv[i + 1]));
  }
  QTemporaryDir settings;
  if (!settings.isValid()) return 1;
  setenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit().constData(), 1);
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
  }
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return 1;
  self[length] = '\0';

  std::vector<double> shown;
  std::vector<double> connected;
  for (int i = 0; i < runs; ++i) {
    std::map<std::string, double> figures = Spawn(self, "startup", idle_seconds);
    if (figures.count("failed") || !figures.count("connected_ms")) {
      std::fprintf(stderr, "desktop_bench: a start-up run failed\n");
      return 1;
    }
    shown.push_back(figures["shown_ms"]);
    connected.push_back(figures["connected_ms"]);
  }
  std::map<std::string, double> session = Spawn(self, "session", idle_seconds);
  if (session.count("failed") || !session.count("refresh60_max_ms")) {
    std::fprintf(stderr, "desktop_bench: the session run failed\n");
    return 1;
  }

  const auto median_max = [](const std::vector<double>& values) {
    return Ms(Median(values)) + " (max " + Ms(*std::max_element(values.begin(), values.end())) +
           ")";
  };
  std::printf("desktop_bench: %d start-up runs, platform %s, %u hardware threads\n\n", runs,
              platform ? platform : "(default)", std::thread::hardware_concurrency());
  Row("Figure", "Measured", "Goal");
  std::printf("|%s|%s|%s|\n", std::string(54, '-').c_str(), std::string(24, '-').c_str(),
              std::string(14, '-').c_str());
  Row("start to main window shown (median)", median_max(shown), "0.5 s");
  Row("start to connected, simulated unit (median)", median_max(connected), "1.5 s");
  Row("longest stall, idle event loop (2 s)", Ms(session["stall_idle_ms"]), "-");
  Row("longest stall during Read Device", Ms(session["stall_read_ms"]), "30 ms");
  Row("longest stall during Program Device", Ms(session["stall_program_ms"]), "30 ms");
  Row("10,000 messages into the output pane", Ms(session["append_direct_ms"]), "0.3 s");
  Row("10,000 messages through the front end (other thread)", Ms(session["append_front_end_ms"]),
      "0.3 s");
  Row("  longest stall meanwhile", Ms(session["append_front_end_stall_ms"]), "30 ms");
  Row("60-row list refresh (median)", Ms(session["refresh60_median_ms"]), "5 ms");
  Row("60-row list refresh (max)", Ms(session["refresh60_max_ms"]), "5 ms");
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %% of a core", session["idle_cpu_percent"]);
  Row("idle CPU, connected, over the idle period", text, "1 %");
  std::snprintf(text, sizeof text, "%.1f MiB (peak %.1f)", session["rss_mib"],
                session["rss_peak_mib"]);
  Row("resident memory, connected", text, "-");
  return 0;
}
