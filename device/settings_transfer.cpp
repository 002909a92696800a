// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/settings_transfer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "device/device_commands.h"
#include "device/device_worker.h"

namespace stravon {
namespace {

void Append(DeviceWorker& worker, const std::string& text) {
  if (FrontEnd* front_end = worker.GetFrontEnd()) front_end->AppendOutput(text);
}

void ShowError(DeviceWorker& worker, const std::string& text) {
  if (FrontEnd* front_end = worker.GetFrontEnd()) {
    front_end->ShowMessageBox(FrontEnd::MessageKind::kError, kMessageCaption, text);
  }
}

}  // namespace

Outcome ReadHardwareSettings(DeviceWorker& worker) {
  DeviceSession& session = worker.Session();
  if (session.HardwareSettingsRead()) return {};
  DeviceLink& link = worker.Link();
  if (!link.Port().IsOpen()) {
    return Outcome::Of(Operation::kNone, Outcome::Kind::kNotConnected, Outcome::Step::kPortClosed);
  }

  SettingsBlock block{};
  for (std::size_t i = 0; i < block.size(); ++i) {
    const auto address = static_cast<std::uint16_t>(kSettingsBlockAddress + i);
    if (const CommandResult result = link.ReadByte(address, &block[i]); !result.ok()) {
      // The unread bytes would stand as zeros for the stroke and the offset
      // position and shift every jog limit and move target; a partial block
      // is never taken.
      const Outcome outcome = Outcome::Of(Operation::kNone, Outcome::Kind::kFailed,
                                          Outcome::Step::kReadSettings, result);
      Append(worker, "\n" + OutcomeLine(outcome) + "\n");
      return outcome;
    }
  }

  const HardwareSettings settings = DecodeSettingsBlock(block);
  if (!SettingsAreValid(settings)) {
    ShowError(worker,
              "It Appears that the\nStravon hardware settings\nHave Not Been Programmed\n\n"
              "Please see user manual for Instructions\nOn Hardware Programming\n");
    return Outcome::Of(Operation::kNone, Outcome::Kind::kFailed, Outcome::Step::kCheckSettings);
  }
  worker.SetCurrentSettings(settings, SeriesIndex(settings, session.SeriesIndex()));
  Append(worker, settings.ModelLine() + "\n");
  worker.SetHardwareSettingsRead(true);
  if (FrontEnd* front_end = worker.GetFrontEnd()) front_end->RefreshSettings();
  return {};
}

Outcome ProgramHardwareSettings(DeviceWorker& worker, const HardwareSettings& settings) {
  constexpr Operation kOperation = Operation::kProgramHardwareSettings;
  DeviceLink& link = worker.Link();
  if (!link.Port().IsOpen()) {
    return Outcome::Of(kOperation, Outcome::Kind::kNotConnected, Outcome::Step::kPortClosed);
  }
  FrontEnd* front_end = worker.GetFrontEnd();
  if (front_end != nullptr) front_end->ClearOutput();
  if (!worker.Session().Connected()) {
    ShowError(worker, kDeviceNotDetectedMessage);
    return Outcome::Of(kOperation, Outcome::Kind::kNotConnected, Outcome::Step::kNotDetected);
  }

  const SettingsBlock block = EncodeSettingsBlock(settings);
  const std::span<const std::uint8_t> bytes(block);
  Outcome outcome = Outcome::Of(kOperation);
  CommandResult result;
  for (std::size_t offset = 0; offset < block.size() && result.ok(); offset += kPageLoadSize) {
    const auto piece = bytes.subspan(offset).first<kPageLoadSize>();
    result = link.SendCommand(PageLoadCommand(static_cast<int>(offset), piece));
  }
  if (result.ok()) {
    result = link.SendCommand(PageCommitCommand(static_cast<std::uint16_t>(kSettingsBlockAddress)));
  }
  if (!result.ok()) {
    outcome.kind = Outcome::Kind::kFailed;
    outcome.step = Outcome::Step::kWriteSettings;
    outcome.failure = result;
    Append(worker, "\n" + OutcomeLine(outcome) + "\n");
    return outcome;
  }

  Append(worker, "\n" + OutcomeLine(outcome) + "\n");
  worker.SetCurrentSettings(settings);
  if (front_end != nullptr) front_end->RefreshSettings();
  // So that the offset display follows the new offset position.
  link.QueryStatus();
  return outcome;
}

}  // namespace stravon
