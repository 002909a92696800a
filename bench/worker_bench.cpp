// SPDX-License-Identifier: GPL-3.0-or-later
// The device worker connected to an in-process simulated unit: how soon a
// request starts, and what the worker costs while nothing happens.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <variant>

#include "device/device_session.h"
#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"

namespace stravon {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Takes the session's events until one satisfies `done`, or `timeout` passes.
template <typename Done>
bool WaitForEvent(DeviceSession& session, Done done, Clock::duration timeout) {
  const auto deadline = Clock::now() + timeout;
  while (std::optional<SessionEvent> event = session.Events().WaitPop(deadline)) {
    if (done(*event)) return true;
  }
  return false;
}

bool IsFinished(const SessionEvent& event) { return std::holds_alternative<FinishedEvent>(event); }

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A unit in a fixture tree and a connected device session without a window.
class Session {
 public:
  Session() {
    sim::UnitOptions options;
    options.keep_transcript = false;
    unit_ = std::make_unique<sim::SimulatedUnit>(options);
    if (unit_->Start() != 0 || !tree_.ok() ||
        tree_.AddUsbPort(sim::UnitIdentity(), unit_->SlavePath()).empty()) {
      return;
    }
    DeviceSessionOptions session_options;
    session_options.roots = {tree_.SysfsRoot(), tree_.DevRoot()};
    session_options.read_timeout_ms = 2000;
    session_ = std::make_unique<DeviceSession>(session_options);
    session_->StartWorker();
    ok_ = WaitForEvent(
        *session_,
        [](const SessionEvent& event) { return std::holds_alternative<ConnectedEvent>(event); },
        10s);
  }
  ~Session() { session_.reset(); }

  bool ok() const { return ok_; }
  DeviceSession& device() { return *session_; }
  sim::SimulatedUnit& unit() { return *unit_; }

 private:
  sim::FixtureTree tree_ = sim::FixtureTree::Temporary();
  std::unique_ptr<sim::SimulatedUnit> unit_;
  std::unique_ptr<DeviceSession> session_;
  bool ok_ = false;
};

// From submitting a move request to the unit receiving the Move command, with
// the worker asleep between connection checks. The time includes the trip
// through the pseudo-terminal and this thread's polling (every 20 us), so it
// is an upper bound on the worker's own delay.
void BM_PendingCodeStart(benchmark::State& state) {
  Session session;
  if (!session.ok()) {
    state.SkipWithError("no simulated unit");
    return;
  }
  DeviceSession& device = session.device();
  sim::SimulatedUnit& unit = session.unit();
  double worst_ms = 0.0;
  for (auto _ : state) {
    // Between checks, as an operator's request usually comes.
    std::this_thread::sleep_for(5ms);
    const int moves = unit.CommandCount(sim::CommandKind::kMove);
    const auto start = Clock::now();
    if (!device.Submit(MoveRequest{unit.Position()}).Accepted()) {
      state.SkipWithError("move refused");
      return;
    }
    while (unit.CommandCount(sim::CommandKind::kMove) == moves) {
      std::this_thread::sleep_for(20us);
    }
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    state.SetIterationTime(elapsed.count());
    worst_ms = std::max(worst_ms, elapsed.count() * 1e3);
    if (!WaitForEvent(device, IsFinished, 10s)) {
      state.SkipWithError("move did not end");
      return;
    }
  }
  state.counters["worst_ms"] = worst_ms;
}
BENCHMARK(BM_PendingCodeStart)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

// Process CPU time over 10 s with the session connected and the worker idle
// (argument 0), or polling the position after a jog (argument 5), in percent
// of one core. The process holds the worker, the unit's serving thread and
// this thread, which sleeps.
void BM_WorkerCpu(benchmark::State& state) {
  Session session;
  if (!session.ok()) {
    state.SkipWithError("no simulated unit");
    return;
  }
  DeviceSession& device = session.device();
  if (state.range(0) == static_cast<int>(Operation::kJogStop)) {
    device.Submit(JogRequest{JogDirection::kPlus});
    std::this_thread::sleep_for(kJogConfirmInterval);
    device.Submit(JogConfirmation{});
    std::this_thread::sleep_for(kJogConfirmInterval);
    device.Submit(JogStopRequest{});
  }
  std::this_thread::sleep_for(500ms);
  const int commands = session.unit().TotalCommands();
  double percent = 0.0;
  for (auto _ : state) {
    const double cpu_start = ProcessCpuSeconds();
    const auto start = Clock::now();
    std::this_thread::sleep_for(10s);
    const std::chrono::duration<double> wall = Clock::now() - start;
    percent = (ProcessCpuSeconds() - cpu_start) / wall.count() * 100.0;
  }
  state.counters["cpu_percent_of_one_core"] = percent;
  state.counters["commands_sent"] = session.unit().TotalCommands() - commands;
}
BENCHMARK(BM_WorkerCpu)
    ->Arg(static_cast<int>(Operation::kNone))
    ->Arg(static_cast<int>(Operation::kJogStop))
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace stravon

BENCHMARK_MAIN();
