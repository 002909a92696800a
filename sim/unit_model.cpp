// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/unit_model.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace stravon::sim {
namespace {

// The actuator's hard travel, far beyond any real stroke: an unlimited jog
// ends here instead of running off the number range.
constexpr double kHardTravel = 1.0e9;
constexpr double kStepTimerHz = 24'000'000.0;

void PutLe32(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutBe32(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
}

}  // namespace

std::array<std::uint8_t, kSettingsSize> DefaultSettingsBlock() {
  std::array<std::uint8_t, kSettingsSize> block{};
  PutLe32(&block[0], std::bit_cast<std::uint32_t>(0.003175f));
  PutLe32(&block[4], std::bit_cast<std::uint32_t>(0.0f));
  PutLe32(&block[8], std::bit_cast<std::uint32_t>(7.2f));
  block[12] = 'P';
  block[13] = '1';
  PutLe32(&block[16], 1);
  PutBe32(&block[56], static_cast<std::uint32_t>(-5000));
  PutBe32(&block[60], 630);
  return block;
}

UnitModel::UnitModel(UnitOptions options) : options_(std::move(options)) {
  if (!options_.unprogrammed) {
    const auto block = DefaultSettingsBlock();
    std::copy(block.begin(), block.end(), memory_.begin() + (kSettingsAddress - kMemoryAddress));
  }
}

std::int32_t UnitModel::Position(Clock::time_point now) const {
  return static_cast<std::int32_t>(std::floor(PositionAt(now)));
}

void UnitModel::SetPosition(std::int32_t position, Clock::time_point now) {
  base_position_ = position;
  motion_start_ = now;
  moving_ = false;
  jogging_ = false;
}

bool UnitModel::IsMoving(Clock::time_point now) const {
  return moving_ && PositionAt(now) != EndPosition();
}

void UnitModel::Halt(Clock::time_point now) {
  Settle(now);
  moving_ = false;
  jogging_ = false;
}

std::vector<std::uint8_t> UnitModel::ReadMemory(std::uint16_t address, std::size_t count) const {
  if (address < kMemoryAddress) return {};
  const std::size_t start = address - kMemoryAddress;
  if (start >= kMemorySize) return {};
  const std::size_t n = std::min(count, kMemorySize - start);
  return {memory_.begin() + static_cast<std::ptrdiff_t>(start),
          memory_.begin() + static_cast<std::ptrdiff_t>(start + n)};
}

bool UnitModel::WriteMemory(std::uint16_t address, std::span<const std::uint8_t> bytes) {
  if (address < kMemoryAddress) return false;
  const std::size_t start = address - kMemoryAddress;
  if (start > kMemorySize || bytes.size() > kMemorySize - start) return false;
  std::copy(bytes.begin(), bytes.end(), memory_.begin() + static_cast<std::ptrdiff_t>(start));
  return true;
}

std::string UnitModel::Execute(CommandKind kind, std::string_view command, Clock::time_point now,
                               bool* committed) {
  static const std::string kOk = "OK\r";
  const std::string_view rest = Classify(command).rest;
  std::int64_t args[3] = {};
  switch (kind) {
    case CommandKind::kStop:
    case CommandKind::kGo:
    case CommandKind::kStatus:
    case CommandKind::kQueryH:
      if (!ParseArgs(rest, {})) return ErrorReply(kErrorBadArgument);
      if (kind == CommandKind::kStatus) {
        return std::to_string(static_cast<std::int64_t>(std::floor(PositionAt(now)))) + "\r";
      }
      if (kind == CommandKind::kQueryH) {
        return (moving_ && PositionAt(now) != EndPosition()) ? "1\r" : "0\r";
      }
      Settle(now);
      moving_ = jogging_ = kind == CommandKind::kGo;
      if (jogging_) SetJogRate();
      return kOk;
    case CommandKind::kDirection:
    case CommandKind::kSpeed:
      if (!ParseArgs(rest, std::span(args, 1))) return ErrorReply(kErrorBadArgument);
      if (kind == CommandKind::kDirection && args[0] != 0 && args[0] != 1) {
        return ErrorReply(kErrorBadArgument);
      }
      if (kind == CommandKind::kSpeed && args[0] <= 0) return ErrorReply(kErrorBadArgument);
      Settle(now);
      if (kind == CommandKind::kDirection) {
        direction_ = static_cast<int>(args[0]);
      } else {
        speed_value_ = args[0];
      }
      if (jogging_) SetJogRate();
      return kOk;
    case CommandKind::kMove: {
      if (!ParseArgs(rest, std::span(args, 1))) return ErrorReply(kErrorBadArgument);
      Settle(now);
      jogging_ = false;
      target_ = args[0];
      const double distance = static_cast<double>(target_) - base_position_;
      moving_ = distance != 0.0;
      rate_ = std::copysign(options_.move_steps_per_second * options_.motion_speed, distance);
      return kOk;
    }
    case CommandKind::kLimits:
      if (!ParseArgs(rest, std::span(args, 3))) return ErrorReply(kErrorBadArgument);
      if (args[0] != 0 && args[0] != 1) return ErrorReply(kErrorBadArgument);
      if (args[0] == 1 && args[1] > args[2]) return ErrorReply(kErrorBadArgument);
      Settle(now);
      limits_on_ = args[0] == 1;
      lower_limit_ = args[1];
      upper_limit_ = args[2];
      return kOk;
    case CommandKind::kIdentify: {
      if (!ParseArgs(rest, std::span(args, 1))) return ErrorReply(kErrorBadArgument);
      switch (args[0]) {
        case 0:
          return "SIMULATED CONTROL UNIT\r";
        case 1:
          return "SN 000001\r";
        case 2:
          if (options_.identification2) return *options_.identification2 + "\r";
          return "SW#" + options_.software_number + " REV " + options_.firmware_revision + "\r";
        case 3:
          return "READY\r";
        default:
          return ErrorReply(kErrorBadArgument);
      }
    }
    case CommandKind::kPageLoad: {
      std::uint32_t offset = 0;
      std::uint32_t data = 0;
      if (rest.size() != 10 || !ParseHex(rest.substr(0, 2), &offset) ||
          !ParseHex(rest.substr(2), &data)) {
        return ErrorReply(kErrorBadArgument);
      }
      if (offset > kPageSize - 4) return ErrorReply(kErrorBadAddress);
      PutBe32(&page_[offset], data);  // the digits are in memory order
      return kOk;
    }
    case CommandKind::kPageCommit:
    case CommandKind::kReadByte: {
      std::uint32_t address = 0;
      if (rest.size() != 4 || !ParseHex(rest, &address)) return ErrorReply(kErrorBadArgument);
      const std::size_t span = kind == CommandKind::kPageCommit ? kPageSize : 1;
      if (address < kMemoryAddress || address - kMemoryAddress + span > kMemorySize) {
        return ErrorReply(kErrorBadAddress);
      }
      const std::size_t at = address - kMemoryAddress;
      if (kind == CommandKind::kPageCommit) {
        std::copy(page_.begin(), page_.end(), memory_.begin() + static_cast<std::ptrdiff_t>(at));
        last_commit_ = at;
        *committed = true;
        return kOk;
      }
      static constexpr char kDigits[] = "0123456789ABCDEF";
      return {kDigits[memory_[at] >> 4], kDigits[memory_[at] & 0xF], '\r'};
    }
    case CommandKind::kVariantQuery: {
      const int number = std::atoi(std::string(rest).c_str());
      const auto it = options_.variant_answers.find(number);
      return (it == options_.variant_answers.end() ? std::string("0") : it->second) + "\r";
    }
    case CommandKind::kUnknown:
      break;
  }
  return ErrorReply(kErrorUnknownCommand);
}

void UnitModel::SetJogRate() {
  // Direction 1 goes with the negative speed codes, which the program uses
  // for jog plus: it stretches, towards larger positions.
  const double rate = kStepTimerHz / static_cast<double>(speed_value_) * options_.motion_speed;
  rate_ = direction_ == 1 ? rate : -rate;
}

double UnitModel::EndPosition() const {
  if (!moving_) return base_position_;
  const bool up = rate_ > 0;
  double end = jogging_ ? (up ? kHardTravel : -kHardTravel) : static_cast<double>(target_);
  if (limits_on_) {
    // A limit stops motion that runs into it; motion already beyond it
    // and heading back is left alone.
    const double lower = static_cast<double>(lower_limit_);
    const double upper = static_cast<double>(upper_limit_);
    end = up ? std::min(end, std::max(base_position_, upper))
             : std::max(end, std::min(base_position_, lower));
  }
  return end;
}

double UnitModel::PositionAt(Clock::time_point now) const {
  if (!moving_) return base_position_;
  const double elapsed = std::chrono::duration<double>(now - motion_start_).count();
  const double position = base_position_ + rate_ * elapsed;
  const double end = EndPosition();
  return rate_ > 0 ? std::min(position, end) : std::max(position, end);
}

void UnitModel::Settle(Clock::time_point now) {
  const double position = PositionAt(now);
  if (moving_ && !jogging_ && position == EndPosition()) moving_ = false;
  base_position_ = position;
  motion_start_ = now;
}

}  // namespace stravon::sim
