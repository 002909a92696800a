// SPDX-License-Identifier: GPL-3.0-or-later
// Command exchanges over a pseudo-terminal against the in-process simulated
// unit: what the software costs per exchange, with no wire time at all.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "device/device_commands.h"
#include "device/device_link.h"
#include "device/program_image.h"
#include "device/serial/serial.h"
#include "sim/simulated_unit.h"

namespace stravon {
namespace {

// CPU time of the whole process (this thread, the unit's serving thread and
// the kernel work done for both): the software cost of an exchange, which
// unlike the elapsed time does not grow when other work competes for the CPU.
double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Reports the process CPU time per counted item in microseconds.
class CpuPerItem {
 public:
  CpuPerItem() : start_(ProcessCpuSeconds()) {}
  void Report(benchmark::State& state, std::int64_t items) const {
    if (items <= 0) return;
    state.counters["process_cpu_us_per_exchange"] =
        (ProcessCpuSeconds() - start_) * 1e6 / static_cast<double>(items);
  }

 private:
  double start_;
};

sim::UnitOptions QuietUnit() {
  sim::UnitOptions options;
  options.keep_transcript = false;  // keeps memory flat over millions of exchanges
  return options;
}

// The port alone: one status command written, its reply read.
void BM_SerialExchange(benchmark::State& state) {
  sim::SimulatedUnit unit(QuietUnit());
  if (unit.Start() != 0) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  Serial port;
  SerialOptions options;
  options.HighSpeed = true;
  options.LongTimeout = true;
  options.ReadTimeoutMs = 2000;
  if (port.OpenSerialPort(unit.SlavePath().c_str(), options) != kSerialOk) {
    state.SkipWithError("open failed");
    return;
  }
  const std::string command = StatusCommand();
  char reply[4096];
  std::size_t received = 0;
  const CpuPerItem cpu;
  for (auto _ : state) {
    if (port.WriteSerialPort(command.data(), command.size()) != kSerialOk ||
        port.ReadSerialPort(reply, sizeof reply, &received) != kSerialOk) {
      state.SkipWithError("exchange failed");
      break;
    }
    benchmark::DoNotOptimize(reply);
  }
  cpu.Report(state, state.iterations());
  state.SetItemsProcessed(state.iterations());
  port.CloseSerialPort();
}
BENCHMARK(BM_SerialExchange)->UseRealTime();

// Opens the link's port on the unit's terminal (no identification round).
bool OpenLink(sim::SimulatedUnit& unit, DeviceLink& link, benchmark::State& state) {
  if (unit.Start() != 0) {
    state.SkipWithError("no pseudo-terminal");
    return false;
  }
  link.SetPortName(unit.SlavePath());
  SerialOptions options;
  options.HighSpeed = true;
  options.LongTimeout = true;
  options.ReadTimeoutMs = 2000;
  if (link.Port().OpenSerialPort(link.PortName().c_str(), options) != kSerialOk) {
    state.SkipWithError("open failed");
    return false;
  }
  return true;
}

// A whole exchange as the device link does it (stale input dropped first,
// reply checked for an error).
void BM_LinkExchange(benchmark::State& state) {
  sim::SimulatedUnit unit(QuietUnit());
  DeviceLink link;
  if (!OpenLink(unit, link, state)) return;
  const std::string command = StatusCommand();
  char reply[4096];
  std::size_t received = 0;
  const CpuPerItem cpu;
  for (auto _ : state) {
    if (!link.QueryCommand(command, reply, sizeof reply, &received).ok()) {
      state.SkipWithError("exchange failed");
      break;
    }
  }
  cpu.Report(state, state.iterations());
  state.SetItemsProcessed(state.iterations());
  link.Port().CloseSerialPort();
}
BENCHMARK(BM_LinkExchange)->UseRealTime();

// Reading the whole 1408-byte program area one byte per command, as Read
// Device does.
void BM_ReadProgramArea(benchmark::State& state) {
  sim::SimulatedUnit unit(QuietUnit());
  DeviceLink link;
  if (!OpenLink(unit, link, state)) return;
  std::uint8_t image[sim::kProgramSize];
  const CpuPerItem cpu;
  for (auto _ : state) {
    for (std::size_t i = 0; i < sim::kProgramSize; ++i) {
      const auto address = static_cast<std::uint16_t>(kProgramImageAddress + i);
      if (!link.ReadByte(address, &image[i]).ok()) {
        state.SkipWithError("byte read failed");
        break;
      }
    }
    benchmark::DoNotOptimize(image);
  }
  const std::int64_t bytes = state.iterations() * static_cast<std::int64_t>(sim::kProgramSize);
  cpu.Report(state, bytes);
  state.SetItemsProcessed(bytes);
  link.Port().CloseSerialPort();
}
BENCHMARK(BM_ReadProgramArea)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace stravon

BENCHMARK_MAIN();
