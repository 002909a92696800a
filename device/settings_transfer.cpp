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

// Reads the whole settings block; the first failed exchange when one fails.
CommandResult ReadSettingsBlock(DeviceLink& link, SettingsBlock& block) {
  for (std::size_t i = 0; i < block.size(); ++i) {
    const auto address = static_cast<std::uint16_t>(kSettingsBlockAddress + i);
    if (const CommandResult result = link.ReadByte(address, &block[i]); !result.ok()) {
      return result;
    }
  }
  return {};
}

}  // namespace

Outcome ReadHardwareSettings(DeviceWorker& worker) {
  DeviceLink& link = worker.Link();
  if (!link.Port().IsOpen()) {
    return Outcome::Of(Operation::kNone, Outcome::Kind::kNotConnected, Outcome::Step::kPortClosed);
  }

  SettingsBlock block{};
  if (const CommandResult result = ReadSettingsBlock(link, block); !result.ok()) {
    // The unread bytes would stand as zeros for the stroke and the offset
    // position and shift every jog limit and move target; a partial block
    // is never taken.
    return Outcome::Of(Operation::kNone, Outcome::Kind::kFailed, Outcome::Step::kReadSettings,
                       result);
  }

  const HardwareSettings settings = DecodeSettingsBlock(block);
  if (!SettingsAreValid(settings)) {
    return Outcome::Of(Operation::kNone, Outcome::Kind::kFailed, Outcome::Step::kCheckSettings);
  }
  worker.SetSettings(settings, true);
  return {};
}

Outcome ProgramHardwareSettings(DeviceWorker& worker, const HardwareSettings& settings) {
  constexpr Operation kOperation = Operation::kProgramHardwareSettings;
  DeviceLink& link = worker.Link();
  if (!link.Port().IsOpen()) {
    return Outcome::Of(kOperation, Outcome::Kind::kNotConnected, Outcome::Step::kPortClosed);
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
    return outcome;
  }

  // A commit the unit acknowledged can still have stored other bytes; what
  // it holds is what moves and protocols are computed from.
  SettingsBlock read_back{};
  if (result = ReadSettingsBlock(link, read_back); !result.ok()) {
    outcome.kind = Outcome::Kind::kFailed;
    outcome.step = Outcome::Step::kVerifySettings;
    outcome.failure = result;
    return outcome;
  }
  const HardwareSettings held = DecodeSettingsBlock(read_back);
  if (!DifferingFields(settings, held).empty()) {
    outcome.kind = Outcome::Kind::kFailed;
    outcome.step = Outcome::Step::kVerifySettings;
    outcome.settings_mismatch = Outcome::SettingsMismatch{settings, held};
    // The session goes on with what the unit holds, so that a move is judged
    // against it. A block the unit itself would refuse leaves the session's
    // settings as they were: the next connection will find it unprogrammed.
    if (SettingsAreValid(held)) {
      worker.SetSettings(held, false);
      link.QueryStatus();
    }
    return outcome;
  }

  worker.SetSettings(settings, false);
  // So that the offset display follows the new offset position.
  link.QueryStatus();
  return outcome;
}

}  // namespace stravon
