// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_commands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "protocol/number_text.h"

namespace stravon {
namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[64];
  const int length = std::snprintf(text, sizeof text, format, args...);
  return std::string(text, static_cast<std::size_t>(length));
}

constexpr int kAddress = 0;

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

std::string StopCommand() { return Format("%dS\r", kAddress); }
std::string GoCommand() { return Format("%dG\r", kAddress); }
std::string DirectionCommand(int direction) { return Format("%dd %d\r", kAddress, direction); }
std::string SpeedCommand(std::int32_t value) { return Format("%dv %d\r", kAddress, value); }
std::string StatusCommand() { return Format("%d?S\r", kAddress); }
std::string MoveCommand(std::int32_t position) { return Format("%dM %d\r", kAddress, position); }
std::string LimitsOnCommand(std::int32_t lower, std::int32_t upper) {
  return Format("%dP 1 %d %d\r", kAddress, lower, upper);
}
std::string LimitsOffCommand() { return Format("%dP 0 0 0\r", kAddress); }
std::string QueryHCommand() { return Format("%d?h\r", kAddress); }
std::string IdentifyCommand(int index) { return Format("%d?R %d\r", kAddress, index); }

std::string PageLoadCommand(int offset, std::span<const std::uint8_t, kPageLoadSize> bytes) {
  return Format("0F1%02X%02X%02X%02X%02X\r", static_cast<unsigned>(offset),
                static_cast<unsigned>(bytes[0]), static_cast<unsigned>(bytes[1]),
                static_cast<unsigned>(bytes[2]), static_cast<unsigned>(bytes[3]));
}

std::string PageCommitCommand(std::uint16_t address) {
  return Format("0F2%04X\r", static_cast<unsigned>(address));
}

std::string ReadByteCommand(std::uint16_t address) {
  return Format("0F3%04X\r", static_cast<unsigned>(address));
}

std::int32_t JogSpeedValue(std::int32_t code) {
  static constexpr std::int32_t kValues[] = {1024000, 512000, 256000, 128000, 64000,
                                             32000,   16000,  8000,   4000,   2000};
  // Compared without negating, which would overflow for the lowest code.
  for (std::int32_t size = 1; size <= 10; ++size) {
    if (code == size || code == -size) return kValues[size - 1];
  }
  return 5000000;
}

bool IsErrorReply(std::string_view reply) { return reply.starts_with("Error"); }

int ErrorNumber(std::string_view reply) {
  constexpr std::size_t kNumberStart = 6;
  if (reply.size() <= kNumberStart) return 0;
  return ParseLeadingInteger(reply.substr(kNumberStart));
}

std::uint8_t ReplyByte(std::string_view reply) {
  // strtol's reading of the two characters: blanks, a sign, then hex digits.
  const std::string head(reply.substr(0, 2));
  const long value = std::strtol(head.c_str(), nullptr, 16);
  return static_cast<std::uint8_t>(static_cast<unsigned long>(value) & 0xFFu);
}

bool IsByteReply(std::string_view reply) {
  return reply.size() >= 2 && IsHexDigit(reply[0]) && IsHexDigit(reply[1]);
}

std::int32_t IdentificationNumber(std::string_view entry, std::string_view tag, std::size_t width,
                                  double scale, std::int32_t fallback) {
  std::string upper(entry);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  const std::size_t at = upper.find(tag);
  if (at == std::string::npos) return fallback;
  const double value = std::floor(
      ParseLeadingDouble(std::string_view(upper).substr(at + tag.size(), width)) * scale);
  // A garbled identification must not turn into undefined behaviour.
  if (std::isnan(value)) return 0;
  return static_cast<std::int32_t>(
      std::clamp(value, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                 static_cast<double>(std::numeric_limits<std::int32_t>::max())));
}

}  // namespace stravon
