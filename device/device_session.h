// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "device/event_queue.h"
#include "device/ports/port_list.h"
#include "device/session_event.h"
#include "device/session_request.h"

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
  // (JogConfirmation) for this long. Tests shorten it.
  std::chrono::milliseconds jog_confirm_limit{500};
};

// One document window's way to its unit: typed requests go in (Submit), typed
// events come out in order (Events), and what is known of the unit is an
// immutable snapshot (Unit). The device worker thread, which alone talks to
// the unit, keeps everything else in an object only it reaches (see
// device/device_worker.h).
//
// Any thread may submit and read the snapshot; one reader takes the events.
class DeviceSession {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::int32_t kLimitMargin = 100;  // steps beyond each jog limit

  explicit DeviceSession(DeviceSessionOptions options = {});
  // Stops and joins the worker and gives up the message log before anything
  // of the session goes away.
  ~DeviceSession();
  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  const DeviceSessionOptions& Options() const { return options_; }

  // The message log's lines arrive as output events of the session that is
  // its sink: the first session takes it when created. A closing window
  // gives it up, and another window's session may then claim it (true when
  // it is the sink now).
  void ReleaseLogSink();
  bool ClaimLogSink();

  // Starts the worker (a running one is left alone). StopWorker ends it; an
  // operation in progress is cut short at its next step, and the port closes
  // with it. StopWorkerAndMotion then tells the unit to stop moving as the
  // worker's last exchange (a move goes on by itself otherwise).
  void StartWorker();
  void StopWorker();
  void StopWorkerAndMotion();
  bool WorkerRunning() const { return worker_.joinable(); }

  // Takes a request, or refuses it at once. Read Device, Program Device,
  // Move and Program Settings run one at a time and not during a jog; a jog
  // may change direction while it runs; cancel, confirmation and jog stop
  // never wait.
  Submission Submit(Request request);

  EventQueue& Events() { return events_; }
  // The connected unit as last published; null while none is connected.
  UnitSnapshotPtr Unit() const;
  bool Connected() const { return Unit() != nullptr; }

 private:
  friend class DeviceWorker;

  enum class JogState { kNone, kRunning, kStopping };

  // What the worker is to do on one pass.
  struct Work {
    enum class Kind { kNone, kOneShot, kJog, kJogStop, kEnd };
    Kind kind = Kind::kNone;
    RequestId id = 0;
    Request request;
    JogDirection direction = JogDirection::kPlus;
    bool first_stop_pass = false;
    std::uint64_t seen = 0;  // the session's changes when this was taken
  };

  // --- For the worker ---
  Work TakeWork();
  // The one-shot `id` has ended; its finished event follows.
  void FinishOneShot(RequestId id);
  // A jog stop's first pass went out.
  void JogStopPassDone();
  // An exchange of the running jog failed: it is stopped as a release would.
  void StopJogAfterFailure();
  // Forgets a jog (the unit went away).
  void ForgetJog();
  void Publish(SessionEvent event) { events_.Push(std::move(event)); }
  void SetUnit(UnitSnapshotPtr unit);
  bool Ending() const { return ending_.load(std::memory_order_acquire); }
  bool StopMotionAtEnd() const { return stop_motion_at_end_.load(std::memory_order_acquire); }
  // Sleeps until `deadline`, or until something changed after `seen`.
  void WaitForWork(Clock::time_point deadline, std::uint64_t seen);
  // Sleeps for `duration` unless the session is ending; false if it is.
  bool SleepUnlessEnding(Clock::duration duration);
  int CancelWakeFd() const { return cancel_fd_; }
  bool CancelRequested() const { return cancel_requested_.load(std::memory_order_acquire); }
  void ClearCancel() { cancel_requested_.store(false, std::memory_order_release); }
  void WakeWaits() const;

  std::optional<Refusal> CheckCanStart(const Request& request) const;  // under mutex_

  const DeviceSessionOptions options_;
  EventQueue events_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  RequestId next_id_ = 1;
  std::optional<Work> pending_;  // a one-shot not yet taken
  RequestId running_ = 0;        // a one-shot taken and not yet finished
  JogState jog_ = JogState::kNone;
  JogDirection jog_direction_ = JogDirection::kPlus;
  RequestId jog_id_ = 0;
  bool stop_pass_done_ = false;
  Clock::time_point last_jog_confirm_;
  std::uint64_t changes_ = 0;  // counts what the worker must look at
  UnitSnapshotPtr unit_;

  std::atomic<bool> ending_{false};
  std::atomic<bool> stop_motion_at_end_{false};
  std::atomic<bool> cancel_requested_{false};
  // An eventfd; written on a cancel and when the session ends, so that a
  // wait for a silent unit ends at once.
  int cancel_fd_ = -1;

  std::uint64_t log_token_ = 0;
  std::thread worker_;
};

}  // namespace stravon
