// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "sim/command_grammar.h"
#include "sim/fault.h"
#include "sim/unit_model.h"
#include "sim/unit_options.h"

namespace stravon::sim {

// One command as received (without its terminator) and the bytes sent back
// (empty when the unit stayed silent or disconnected).
struct Exchange {
  CommandKind kind = CommandKind::kUnknown;
  std::string command;
  std::string reply;
};

// A simulated control unit on the master side of a pseudo-terminal. The
// program under test opens SlavePath() like any serial port. All public
// operations are safe to call from any thread while the unit serves;
// Start, Stop, Disconnect and Reconnect belong to one controlling thread.
class SimulatedUnit {
 public:
  explicit SimulatedUnit(UnitOptions options = {});
  ~SimulatedUnit();  // stops and joins the serving thread
  SimulatedUnit(const SimulatedUnit&) = delete;
  SimulatedUnit& operator=(const SimulatedUnit&) = delete;

  // Opens a new pseudo-terminal (its slave side in raw mode, so the
  // program's own line settings are what count) and starts serving.
  // Returns 0 or an errno value (EINVAL for a memory file of the wrong size).
  int Start();
  // Stops serving and closes the pseudo-terminal: the program's reads fail
  // at once. Memory and position stay; a motion in progress ends.
  void Stop();
  // Unplug and re-plug. Reconnect opens a new pseudo-terminal, whose slave
  // path may differ from the previous one.
  void Disconnect() { Stop(); }
  int Reconnect() { return Start(); }
  bool IsConnected() const;
  // e.g. "/dev/pts/7"; empty before the first Start.
  std::string SlavePath() const;

  std::vector<std::uint8_t> ReadMemory(std::uint16_t address, std::size_t count) const;
  // False (and nothing written) when the range leaves the unit's memory.
  bool WriteMemory(std::uint16_t address, std::span<const std::uint8_t> bytes);
  // Writes the memory to `path` atomically (temporary file and rename).
  bool SaveMemory(const std::string& path) const;

  // Position in steps relative to the offset position, at this moment.
  std::int32_t Position() const;
  void SetPosition(std::int32_t position);
  bool IsMoving() const;

  void InjectFault(Fault fault);
  void ClearFaults();

  // Every exchange since the start or the last ClearTranscript, which also
  // sets the command counts back to zero.
  std::vector<Exchange> Transcript() const;
  void ClearTranscript();
  int CommandCount(CommandKind kind) const;
  int TotalCommands() const;

 private:
  using Clock = UnitModel::Clock;
  struct Chunk {
    std::string bytes;
    Clock::time_point due;
    bool disconnect = false;  // close the terminal here instead of sending
  };

  // Serving thread.
  void Serve();
  void HandleCommand(const std::string& command, bool overflow);
  bool FlushOutput(Clock::time_point now);
  void CloseTerminal();

  const UnitOptions options_;

  mutable std::mutex mutex_;
  UnitModel model_;
  bool memory_loaded_ = false;
  FaultSchedule faults_;
  std::vector<Exchange> transcript_;
  std::array<int, kCommandKindCount> counts_{};
  std::string slave_path_;

  // Owned by the serving thread while it runs.
  int master_fd_ = -1;
  int slave_hold_fd_ = -1;  // keeps the terminal alive while the program has it closed
  int wake_fd_ = -1;
  LineFramer framer_;
  std::deque<Chunk> output_;

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> connected_{false};
};

}  // namespace stravon::sim
