// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "device/device_session.h"
#include "device/hardware_settings.h"
#include "device/operation_outcome.h"
#include "device/ports/port_list.h"
#include "device/program_image.h"
#include "device/session_event.h"

namespace stravon {

// The connection check runs when more than this has passed since the last one.
inline constexpr std::chrono::milliseconds kConnectionCheckInterval{1000};
// A jog, and the position polling after its stop, repeat this often.
inline constexpr std::chrono::milliseconds kRepeatInterval{100};
// Pause between two position readings while a move runs.
inline constexpr std::chrono::milliseconds kMovePollInterval{20};

// The worker's side of a device session: the state only the worker thread
// uses (the link and its port, the set table, the program image, what it
// knows of the unit) and the session's worker-only calls. Only the session
// creates one, on its worker thread, so nothing else can reach this state.
//
// Run takes the session's requests and checks the connection to the unit
// about once a second, until the session ends. Between passes it sleeps
// until the next check, the next repetition of a jog, or a new request. It
// never calls into a front end: everything it has to say is an event.
class DeviceWorker {
 public:
  using Clock = DeviceSession::Clock;

  ~DeviceWorker() = default;
  DeviceWorker(const DeviceWorker&) = delete;
  DeviceWorker& operator=(const DeviceWorker&) = delete;

  // For the transfers.
  DeviceLink& Link() { return link_; }
  const UnitSnapshot& Unit() const { return unit_; }
  bool Ending() const { return session_.Ending(); }
  bool CancelRequested() const { return session_.CancelRequested(); }
  void Publish(SessionEvent event) { session_.Publish(std::move(event)); }
  // Starts counting a transfer's steps, of the request being carried out.
  void BeginProgress(TransferPhase phase, int total);
  // One step further; false when the transfer is to stop (cancelled, or the
  // session is ending).
  bool Advance();
  // After reading the settings block, or programming one.
  void SetSettings(const HardwareSettings& settings, bool read_on_connecting);

 private:
  friend class DeviceSession;
  explicit DeviceWorker(DeviceSession& session);

  void Run();
  void CarryOut(const DeviceSession::Work& work);
  void CheckConnection();
  void Connect(const std::string& path);
  // The line went away under the worker: forgets the unit and says why.
  void Disconnect(Outcome::Cause cause);
  bool DetectPort(std::string* path);
  // Says once why the port could not be taken; nothing while the cause stays.
  void ReportConnectionFailure(const std::string& path, const Outcome& outcome);
  void Jog(JogDirection direction);
  // One pass of a jog's stop. While the stop is not settled (`settling`):
  // sends Stop until the unit takes it (a few tries), then limits off, and
  // reads the position until two readings agree; the event once settled.
  // After that, the position polling goes on as before.
  std::optional<JogStoppedEvent> JogStop(RequestId id, bool settling);
  void ForgetStop();
  Outcome Move(std::int32_t target);
  // Stops a move: true once the unit took Stop (a few tries) and came to
  // rest; else `failure` is the stop's failed exchange (ok when the unit
  // took it but did not come to rest).
  bool StopMove(CommandResult* failure);
  FinishedEvent RunOneShot(RequestId id, const Request& request);
  // The link's status callback: the position and its offset.
  void ShowStatus(std::int32_t position);
  void PublishUnit();

  DeviceSession& session_;
  DeviceLink link_;
  UnitSnapshot unit_;
  bool connected_ = false;
  RequestId current_ = 0;      // the request being carried out
  CommandResult jog_failure_;  // the failed exchange that stopped the jog
  Outcome::Step jog_failure_step_ = Outcome::Step::kNone;
  // The stop under way: refused or unanswered tries, passes since the unit
  // took it, and the last position read.
  int stop_tries_ = 0;
  int stop_passes_ = 0;
  std::optional<std::int32_t> stop_reading_;
  TransferPhase phase_ = TransferPhase::kReading;
  int progress_done_ = 0;
  int progress_total_ = 0;
  std::vector<PortRecord> ports_;  // the last detection's list
  // The cause of the last connection failure said, so that the retry each
  // second does not repeat it.
  Outcome::Cause shown_failure_ = Outcome::Cause::kNone;
};

// The positions a jog may reach: from `margin` steps below the minimum
// specimen size to `margin` steps beyond the travel soft limit.
struct JogLimits {
  std::int32_t lower = 0;
  std::int32_t upper = 0;
};
JogLimits ComputeJogLimits(const HardwareSettings& settings, std::int32_t home_position,
                           std::int32_t margin);

}  // namespace stravon
