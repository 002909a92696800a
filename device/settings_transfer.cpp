#include "device/settings_transfer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "device/device_commands.h"
#include "device/device_session.h"
#include "device/device_worker.h"

namespace stravon {
namespace {

void Append(DeviceSession& document, const std::string& text) {
  if (FrontEnd* front_end = document.GetFrontEnd()) front_end->AppendOutput(text);
}

void ShowError(DeviceSession& document, const std::string& text) {
  if (FrontEnd* front_end = document.GetFrontEnd()) {
    front_end->ShowMessageBox(FrontEnd::MessageKind::kError, kMessageCaption, text);
  }
}

}  // namespace

int ReadHardwareSettings(DeviceSession& document) {
  if (document.HardwareSettingsRead()) return 0;
  DeviceLink& link = document.Link();
  if (!link.Port().IsOpen()) return -1;

  SettingsBlock block{};
  for (std::size_t i = 0; i < block.size(); ++i) {
    const auto address = static_cast<std::uint16_t>(kSettingsBlockAddress + i);
    if (link.ReadByte(address, &block[i]) != 0) {
      // The unread bytes would stand as zeros for the stroke and the offset
      // position and shift every jog limit and move target; a partial block
      // is never taken.
      Append(document, "\nReading Hardware Settings... Failure\n");
      return -1;
    }
  }

  const HardwareSettings settings = DecodeSettingsBlock(block);
  if (!SettingsAreValid(settings)) {
    ShowError(document,
              "It Appears that the\nStravon hardware settings\nHave Not Been Programmed\n\n"
              "Please see user manual for Instructions\nOn Hardware Programming\n");
    return -1;
  }
  document.SetCurrentSettings(settings, SeriesIndex(settings, document.SeriesIndex()));
  Append(document, "Stravon Model " + settings.SeriesText() + "-" +
                       std::to_string(settings.ModelNumber) + "\n");
  document.SetHardwareSettingsRead(true);
  if (FrontEnd* front_end = document.GetFrontEnd()) front_end->RefreshSettings();
  return 1;
}

void ProgramHardwareSettings(DeviceSession& document, const HardwareSettings& settings) {
  DeviceLink& link = document.Link();
  if (!link.Port().IsOpen()) return;
  FrontEnd* front_end = document.GetFrontEnd();
  if (front_end != nullptr) front_end->ClearOutput();
  if (!document.Connected()) {
    ShowError(document, kDeviceNotDetectedMessage);
    return;
  }

  const SettingsBlock block = EncodeSettingsBlock(settings);
  const std::span<const std::uint8_t> bytes(block);
  bool failed = false;
  for (std::size_t offset = 0; offset < block.size() && !failed; offset += kPageLoadSize) {
    const auto piece = bytes.subspan(offset).first<kPageLoadSize>();
    failed = link.SendCommand(PageLoadCommand(static_cast<int>(offset), piece)) != 0;
  }
  if (!failed) {
    failed =
        link.SendCommand(PageCommitCommand(static_cast<std::uint16_t>(kSettingsBlockAddress))) != 0;
  }
  if (failed) {
    Append(document, "\nProgramming Hardware Settings... Failure\n");
    return;
  }

  Append(document, "\nProgramming Hardware Settings... Success\n");
  document.SetCurrentSettings(settings);
  if (front_end != nullptr) front_end->RefreshSettings();
  // So that the offset display follows the new offset position.
  link.QueryStatus();
}

}  // namespace stravon
