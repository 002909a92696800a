#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/device_link.h"
#include "device/hardware_settings.h"
#include "device/motion_timing.h"
#include "device/ports/port_list.h"
#include "device/program_image.h"
#include "protocol/front_end.h"
#include "protocol/test_sequence.h"

namespace stravon {

// Codes of the pending operation: what the interface thread asks the device
// worker to do next. Any other value is ignored by the worker.
inline constexpr std::int32_t kOperationNone = 0;
inline constexpr std::int32_t kOperationReadDevice = 1;
inline constexpr std::int32_t kOperationProgramDevice = 2;
inline constexpr std::int32_t kOperationJogPlus = 3;   // repeats until replaced
inline constexpr std::int32_t kOperationJogMinus = 4;  // repeats until replaced
inline constexpr std::int32_t kOperationJogStop = 5;   // repeats until replaced
inline constexpr std::int32_t kOperationMove = 6;
inline constexpr std::int32_t kOperationProgramHardwareSettings = 8;
inline constexpr std::int32_t kOperationEnd = 9;

// Command ids of the document window.
inline constexpr int kCommandFileOpen = 57601;
inline constexpr int kCommandFileSave = 57603;
inline constexpr int kCommandReadDevice = 32771;
inline constexpr int kCommandProgramDevice = 32772;
inline constexpr int kCommandHardwareSettings = 32774;
inline constexpr int kCommandConnectionIndicator = 32775;
inline constexpr int kCommandJogPlus = 32776;
inline constexpr int kCommandJogMinus = 32777;
inline constexpr int kCommandMoveToPosition = 32778;

struct DeviceSessionOptions {
  PortRoots roots = PortRootsFromEnvironment();
  // Per-byte reply time-out of the serial port. The unit's protocol allows
  // 20 s; tests and the simulator use short ones.
  int read_timeout_ms = 20000;
  // A port chosen by the operator (a tty name under the dev root, or a path)
  // instead of detection. The unit then counts as present while that node
  // exists, so unplugging it is still noticed.
  std::string port_override;
};

// Everything of one document window that is not a widget: the protocol, the
// link to the control unit and what is known about the unit, the pending
// operation, and the device worker thread that carries operations out.
//
// Two threads use a document. The interface thread owns it, reads the flags
// and settings and writes requests; the worker (started by StartWorker) alone
// talks to the unit. A request's arguments are written before its code, and
// the code is an atomic written with release and read with acquire, so the
// worker sees the arguments that belong to the code it reads. The protocol,
// the settings and the arguments are also guarded by a mutex, since the two
// threads may touch them at the same moment. The members marked "worker" are
// used by the worker thread only, and by others only while no worker runs.
class DeviceSession {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::int32_t kLimitMargin = 100;  // steps beyond each jog limit
  using SetTable = DeviceSetTable;
  using Image = ProgramImage;

  explicit DeviceSession(FrontEnd* front_end = nullptr, DeviceSessionOptions options = {});
  // Stops and joins the worker and removes the document as the log's sink
  // before anything of it goes away.
  ~DeviceSession();
  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  // --- Interface thread ---

  // The document window's front end. Change it only while no worker runs:
  // the worker calls it without a lock.
  void AttachFrontEnd(FrontEnd* front_end);
  FrontEnd* GetFrontEnd() const { return front_end_.load(std::memory_order_acquire); }

  // Starts the worker once (later calls do nothing). StopWorker sets the end
  // code and waits for the worker; an operation in progress is cut short at
  // its next step.
  void StartWorker();
  void StopWorker();
  bool WorkerRunning() const { return worker_.joinable(); }

  TestSequence Protocol() const;
  void SetProtocol(TestSequence protocol);

  bool Connected() const { return connected_.load(std::memory_order_acquire); }
  bool Detected() const { return detected_.load(std::memory_order_acquire); }
  bool HardwareSettingsRead() const { return settings_read_.load(std::memory_order_acquire); }
  HardwareSettings CurrentSettings() const;
  int SeriesIndex() const;
  std::int32_t HomePosition() const { return kHomePosition; }
  // The offset for the unit's last reported position, in mm.
  double CurrentOffset() const { return current_offset_.load(std::memory_order_acquire); }

  // Whether a command of the window is enabled: the File and Hardware commands
  // exactly while the unit is connected; other ids are not the document's
  // (true).
  bool CommandEnabled(int command_id) const;

  std::int32_t PendingOperation() const { return pending_.load(std::memory_order_acquire); }
  // Writes a code and wakes the worker. Arguments are written first by the
  // request functions below.
  void SetPendingOperation(std::int32_t code);
  void RequestReadDevice() { SetPendingOperation(kOperationReadDevice); }
  void RequestProgramDevice() { SetPendingOperation(kOperationProgramDevice); }
  void RequestMove(std::int32_t target);
  void RequestProgramHardwareSettings(const HardwareSettings& settings);
  // The jog buttons: pressing starts a jog while the unit is connected;
  // releasing turns a running jog (code 3 or 4) into jog stop. Each returns
  // whether it changed the code.
  bool PressJog(bool plus);
  bool ReleaseJog();

  // Wait until the worker has no one-shot operation left to carry out (the
  // code is not 1, 2, 6 or 8), or until the connected flag equals `connected`.
  // False on time-out.
  bool WaitUntilIdle(std::chrono::milliseconds timeout) const;
  bool WaitUntilConnected(bool connected, std::chrono::milliseconds timeout) const;

  // --- Worker thread ---

  DeviceLink& Link() { return link_; }                        // worker
  std::vector<PortRecord>& PortList() { return port_list_; }  // worker
  const PortRoots& Roots() const { return options_.roots; }
  const DeviceSessionOptions& Options() const { return options_; }
  SetTable& Sets() { return set_table_; }                       // worker
  Image& ProgramBytes() { return program_image_; }              // worker
  std::int32_t SetCount() const { return set_count_; }          // worker
  void SetSetCount(std::int32_t count) { set_count_ = count; }  // worker
  ProgressWindow* Progress() { return progress_.get(); }        // worker
  void SetProgress(std::unique_ptr<ProgressWindow> window);     // worker

  void SetConnected(bool connected);
  void SetDetected(bool detected) { detected_.store(detected, std::memory_order_release); }
  void SetHardwareSettingsRead(bool read);
  // After a read: the settings and the series index derived from them.
  void SetCurrentSettings(const HardwareSettings& settings, int series_index);
  // After programming: the settings; the series index stays.
  void SetCurrentSettings(const HardwareSettings& settings);
  void SetCurrentOffset(double offset) { current_offset_.store(offset, std::memory_order_release); }

  // The arguments of codes 6 and 8.
  std::int32_t MoveTarget() const;
  HardwareSettings PendingHardwareSettings() const;

  // The pending code and the number of codes written so far, read together.
  struct Request {
    std::int32_t code = kOperationNone;
    std::uint64_t count = 0;
  };
  Request CurrentRequest() const;
  // Resets a one-shot code to 0 after the worker carried it out, unless the
  // interface thread has written a code since `request` was read.
  void FinishOperation(const Request& request);
  // Ends a jog or jog stop (code 3, 4 or 5 becomes 0); false for other codes.
  bool EndRepeatingOperation();
  bool Ending() const { return PendingOperation() == kOperationEnd; }

  // Sleeps until `deadline`, or until a code is written after the worker saw
  // `seen` codes written.
  void WaitForRequest(Clock::time_point deadline, std::uint64_t seen) const;
  // Sleeps for `duration` unless the document is ending; false if it is.
  bool SleepUnlessEnding(Clock::duration duration) const;

 private:
  void LogSink(const std::string& text);

  const DeviceSessionOptions options_;
  std::atomic<FrontEnd*> front_end_;

  // Guards protocol_, settings_, series_index_ and the arguments.
  mutable std::mutex state_mutex_;
  TestSequence protocol_;
  HardwareSettings settings_;
  int series_index_ = 0;
  std::int32_t move_target_ = 0;
  HardwareSettings pending_settings_;

  DeviceLink link_;
  std::vector<PortRecord> port_list_;
  SetTable set_table_{};
  Image program_image_{};
  std::int32_t set_count_ = 0;
  std::unique_ptr<ProgressWindow> progress_;

  std::atomic<bool> settings_read_{false};
  std::atomic<bool> detected_{false};
  std::atomic<bool> connected_{false};
  std::atomic<std::int32_t> pending_{kOperationNone};
  std::atomic<double> current_offset_{0.0};

  // Wakes the worker (wake_) and waiters for its progress (state_).
  mutable std::mutex wake_mutex_;
  mutable std::condition_variable wake_;
  mutable std::condition_variable state_;
  std::uint64_t requests_ = 0;  // under wake_mutex_

  // Held while the log sink uses the front end, so that AttachFrontEnd never
  // pulls it away in the middle of a message from another thread.
  std::mutex sink_mutex_;
  std::uint64_t log_token_ = 0;

  std::thread worker_;
};

}  // namespace stravon
