// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/hardware_settings.h"
#include "device/operation.h"
#include "device/operation_outcome.h"
#include "device/ports/port_list.h"
#include "device/program_image.h"
#include "protocol/front_end.h"
#include "protocol/test_sequence.h"

namespace stravon {

class DeviceWorker;

struct DeviceSessionOptions {
  PortRoots roots = PortRootsFromEnvironment();
  // Per-byte reply time-out of the serial port. The unit's protocol allows
  // 20 s; tests and the simulator use short ones.
  int read_timeout_ms = 20000;
  // A port chosen by the operator (a tty name under the dev root, or a path)
  // instead of detection. The unit then counts as present while that node
  // exists, so unplugging it is still noticed.
  std::string port_override;
  // A jog stops by itself when the interface has not confirmed it
  // (ConfirmJog) for this long. Tests shorten it.
  std::chrono::milliseconds jog_confirm_limit{500};
};

// While a jog button is held the interface confirms it this often; the
// worker stops the jog when no confirmation has come within the session's
// jog_confirm_limit (500 ms: five missed confirmations). So a frozen
// interface thread, or a release event that never arrives, cannot leave the
// actuator running.
inline constexpr std::chrono::milliseconds kJogConfirmInterval{100};

// What the unit said about itself when the worker last connected.
struct UnitIdentification {
  std::vector<std::string> entries;
  std::int32_t firmware_revision = 0;  // revision x 1000
  std::int32_t software_number = 0;
};

// Everything of one document window that is not a widget: the protocol, what
// is known about the unit, the pending operation and the device worker thread
// that alone talks to the unit (its link, set table, image and progress
// window live in the worker, see device/device_worker.h).
//
// The interface thread owns the session, reads the flags and settings and
// writes requests. A request's arguments are written before its code, and the
// code is an atomic written with release and read with acquire, so the worker
// sees the arguments that belong to the code it reads. The protocol, the
// settings, the arguments and the worker's results are also guarded by a
// mutex, since the two threads may touch them at the same moment. What only
// the worker may change is private, open to the worker alone.
class DeviceSession {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::int32_t kLimitMargin = 100;  // steps beyond each jog limit

  explicit DeviceSession(FrontEnd* front_end = nullptr, DeviceSessionOptions options = {});
  // Stops and joins the worker and removes the session as the log's sink
  // before anything of it goes away.
  ~DeviceSession();
  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  // The document window's front end. Change it only while no worker runs:
  // the worker calls it without a lock.
  void AttachFrontEnd(FrontEnd* front_end);
  FrontEnd* GetFrontEnd() const { return front_end_.load(std::memory_order_acquire); }
  const DeviceSessionOptions& Options() const { return options_; }

  // The message log's sink: the first session takes it when created. A
  // closing window gives it up at once, and another window's session may then
  // claim it (true when it is the sink now). Interface thread only.
  void ReleaseLogSink();
  bool ClaimLogSink();

  // Starts the worker (a running one is left alone). StopWorker sets the end
  // code and waits for the worker; an operation in progress is cut short at
  // its next step. The worker's port closes with it.
  void StartWorker();
  void StopWorker();
  // As StopWorker; then, as the worker's last exchange, the unit is told to
  // stop moving (a move it was told of goes on by itself otherwise).
  void StopWorkerAndMotion();
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
  UnitIdentification Identification() const;
  // The program image of the last Read Device or Program Device (as far as
  // it got).
  ProgramImage LastImage() const;

  Operation PendingOperation() const {
    return static_cast<Operation>(pending_.load(std::memory_order_acquire));
  }
  // Writes a code and wakes the worker. Arguments are written first by the
  // request functions below.
  void SetPendingOperation(Operation operation);
  void RequestReadDevice() { SetPendingOperation(Operation::kReadDevice); }
  void RequestProgramDevice() { SetPendingOperation(Operation::kProgramDevice); }
  void RequestMove(std::int32_t target);
  void RequestProgramHardwareSettings(const HardwareSettings& settings);
  // Whether Program Device reads the program area back after a successful
  // write and compares it byte for byte. Set it before posting the code.
  void SetVerifyAfterProgramming(bool verify) {
    verify_after_programming_.store(verify, std::memory_order_release);
  }
  bool VerifyAfterProgramming() const {
    return verify_after_programming_.load(std::memory_order_acquire);
  }
  // The jog buttons: pressing starts a jog while the unit is connected;
  // releasing turns a running jog (code 3 or 4) into jog stop. Each returns
  // whether it changed the code.
  bool PressJog(bool plus);
  bool ReleaseJog();
  // The held jog button, confirmed about every kJogConfirmInterval while it
  // stays down (see jog_confirm_limit).
  void ConfirmJog();

  // Cancels the running transfer at once, as its Cancel button does, even
  // while the worker waits for a silent unit. Has no effect on operations
  // started later.
  void CancelOperation();
  // The arguments of the last move and hardware settings requests.
  std::int32_t MoveTarget() const;
  HardwareSettings PendingHardwareSettings() const;

  // How the last Read Device, Program Device, Move or hardware settings
  // transfer ended, and how many of them have ended so far. Read the count
  // before a request and wait for it to grow.
  Outcome LastOutcome() const;
  std::uint64_t OutcomeCount() const;
  // Waits until more than `seen` outcomes have been recorded; false on time-out.
  bool WaitForOutcome(std::uint64_t seen, std::chrono::milliseconds timeout) const;
  // How the last connection went: opening the port and reading the settings;
  // and how many connection attempts have ended so far (a failed one leaves
  // the session not connected).
  Outcome ConnectionOutcome() const;
  std::uint64_t ConnectionAttempts() const;
  // Waits until more than `seen` connection attempts have ended; false on time-out.
  bool WaitForConnectionAttempt(std::uint64_t seen, std::chrono::milliseconds timeout) const;

  // Wait until the worker has no one-shot operation left to carry out, or
  // until the connected flag equals `connected`. False on time-out.
  bool WaitUntilIdle(std::chrono::milliseconds timeout) const;
  bool WaitUntilConnected(bool connected, std::chrono::milliseconds timeout) const;

 private:
  friend class DeviceWorker;

  // The pending code and the number of codes written so far, read together.
  struct Request {
    Operation code = Operation::kNone;
    std::uint64_t count = 0;
  };

  // --- For the worker ---
  void SetConnected(bool connected);
  void SetDetected(bool detected) { detected_.store(detected, std::memory_order_release); }
  void SetHardwareSettingsRead(bool read);
  // After a read: the settings and the series index derived from them.
  void SetCurrentSettings(const HardwareSettings& settings, int series_index);
  // After programming: the settings; the series index stays.
  void SetCurrentSettings(const HardwareSettings& settings);
  void SetCurrentOffset(double offset) { current_offset_.store(offset, std::memory_order_release); }
  void SetIdentification(UnitIdentification identification);
  void SetLastImage(const ProgramImage& image);
  void RecordOutcome(const Outcome& outcome);
  void RecordConnectionOutcome(const Outcome& outcome);
  Request CurrentRequest() const;
  // Resets a one-shot code to 0 after the worker carried it out, unless the
  // interface thread has written a code since `request` was read.
  void FinishOperation(const Request& request);
  // Ends a jog or jog stop (code 3, 4 or 5 becomes 0); false for other codes.
  bool EndRepeatingOperation();
  bool Ending() const { return PendingOperation() == Operation::kEnd; }
  bool StopMotionAtEnd() const { return stop_motion_at_end_.load(std::memory_order_acquire); }
  // Sleeps until `deadline`, or until a code is written after the worker saw
  // `seen` codes written.
  void WaitForRequest(Clock::time_point deadline, std::uint64_t seen) const;
  // Sleeps for `duration` unless the session is ending; false if it is.
  bool SleepUnlessEnding(Clock::duration duration) const;

  void LogSink(const std::string& text);
  // What the worker's waits for the unit watch besides the port.
  int CancelWakeFd() const { return cancel_fd_; }
  bool CancelRequested() const { return cancel_requested_.load(std::memory_order_acquire); }
  void ClearCancel() { cancel_requested_.store(false, std::memory_order_release); }
  void WakeWaits() const;
  // Whether the held jog has gone unconfirmed for longer than the limit.
  bool JogConfirmationLate() const;

  const DeviceSessionOptions options_;
  std::atomic<FrontEnd*> front_end_;

  // Guards what follows up to the atomics.
  mutable std::mutex state_mutex_;
  TestSequence protocol_;
  HardwareSettings settings_;
  int series_index_ = 0;
  std::int32_t move_target_ = 0;
  HardwareSettings pending_settings_;
  UnitIdentification identification_;
  ProgramImage last_image_{};
  Outcome connection_outcome_;
  std::uint64_t connection_attempts_ = 0;  // under wake_mutex_

  std::atomic<bool> settings_read_{false};
  std::atomic<bool> detected_{false};
  std::atomic<bool> connected_{false};
  std::atomic<bool> stop_motion_at_end_{false};
  std::atomic<bool> verify_after_programming_{false};
  std::atomic<std::int32_t> pending_{static_cast<std::int32_t>(Operation::kNone)};
  std::atomic<double> current_offset_{0.0};
  std::atomic<bool> cancel_requested_{false};
  std::atomic<Clock::rep> last_jog_confirm_{0};
  // An eventfd; written on a cancel and when the session ends.
  int cancel_fd_ = -1;

  // Wakes the worker (wake_) and waiters for its progress (state_).
  mutable std::mutex wake_mutex_;
  mutable std::condition_variable wake_;
  mutable std::condition_variable state_;
  std::uint64_t requests_ = 0;       // under wake_mutex_
  Outcome last_outcome_;             // under wake_mutex_
  std::uint64_t outcome_count_ = 0;  // under wake_mutex_

  // Held while the log sink uses the front end, so that AttachFrontEnd never
  // pulls it away in the middle of a message from another thread.
  std::mutex sink_mutex_;
  std::uint64_t log_token_ = 0;

  std::thread worker_;
};

}  // namespace stravon
