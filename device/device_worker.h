// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "device/device_session.h"
#include "device/hardware_settings.h"
#include "device/operation_outcome.h"
#include "device/ports/port_list.h"
#include "device/program_image.h"
#include "protocol/front_end.h"
#include "protocol/test_sequence.h"

namespace stravon {

// The connection check runs when more than this has passed since the last one.
inline constexpr std::chrono::milliseconds kConnectionCheckInterval{1000};
// Jog plus, jog minus and jog stop are carried out again this often while
// their code stays.
inline constexpr std::chrono::milliseconds kRepeatInterval{100};
// Pause between two position readings while a move runs.
inline constexpr std::chrono::milliseconds kMovePollInterval{20};

// Caption and text of the message boxes the device operations show.
inline constexpr const char* kMessageCaption = "Stravon";
inline constexpr const char* kDeviceNotDetectedMessage =
    "Stravon Device Not Detected.\nPlease ensure that the device is powered on and all cables "
    "are properly connected\n";

// The worker's side of a device session: the state only the worker thread
// uses (the link and its port, the set table, the program image, the progress
// window) and the session's worker-only setters. Only the session creates
// one, on its worker thread, so nothing else can reach this state.
//
// Run carries out the pending operations and checks the connection to the
// unit about once a second, until the code is 9. Between passes it sleeps
// until the next check, the next repetition of a jog code, or a new code.
class DeviceWorker {
 public:
  using Clock = DeviceSession::Clock;

  ~DeviceWorker() = default;
  DeviceWorker(const DeviceWorker&) = delete;
  DeviceWorker& operator=(const DeviceWorker&) = delete;

  // For the transfers.
  DeviceSession& Session() { return session_; }
  const DeviceSession& Session() const { return session_; }
  FrontEnd* GetFrontEnd() const { return session_.GetFrontEnd(); }
  DeviceLink& Link() { return link_; }
  DeviceSetTable& Sets() { return sets_; }
  ProgramImage& Image() { return image_; }
  std::int32_t SetCount() const { return set_count_; }
  void SetSetCount(std::int32_t count) { set_count_ = count; }
  ProgressWindow* Progress() { return progress_.get(); }
  void SetProgress(std::unique_ptr<ProgressWindow> window) { progress_ = std::move(window); }
  bool Ending() const { return session_.Ending(); }
  bool CancelRequested() const { return session_.CancelRequested(); }
  // Shares the image with the interface thread (DeviceSession::LastImage).
  void PublishImage() { session_.SetLastImage(image_); }

  void SetHardwareSettingsRead(bool read) { session_.SetHardwareSettingsRead(read); }
  void SetCurrentSettings(const HardwareSettings& settings, int series_index) {
    session_.SetCurrentSettings(settings, series_index);
  }
  void SetCurrentSettings(const HardwareSettings& settings) {
    session_.SetCurrentSettings(settings);
  }

 private:
  friend class DeviceSession;
  explicit DeviceWorker(DeviceSession& session);

  void Run();
  void CarryOut(Operation code);
  void CheckConnection();
  bool DetectPort(std::string* path);
  // Says once why the port could not be taken; nothing while the cause stays.
  void ReportConnectionFailure(const std::string& path, const Outcome& outcome);
  void Jog(std::int32_t speed_code);
  void JogStop();
  Outcome Move(std::int32_t target);
  // The link's status callback: shows the offset for the position the unit
  // reported (kind 0; other kinds are ignored).
  void ShowStatus(const std::string& text, int kind);

  DeviceSession& session_;
  DeviceLink link_;
  DeviceSetTable sets_{};
  ProgramImage image_{};
  std::int32_t set_count_ = 0;
  std::unique_ptr<ProgressWindow> progress_;
  std::vector<PortRecord> ports_;  // the last detection's list
  // The cause of the last connection failure shown, so that the retry each
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
