// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What the simulated unit reads off the line: how bytes become commands, what
// kind each command is, and how its arguments read. Pure functions, no state
// beyond the line being assembled.
namespace stravon::sim {

// What a received command was. Faults can be aimed at one kind.
enum class CommandKind : int {
  kStop,          // 0S
  kGo,            // 0G
  kDirection,     // 0d <0|1>
  kSpeed,         // 0v <value>
  kStatus,        // 0?S
  kMove,          // 0M <position>
  kLimits,        // 0P <on> <lower> <upper>
  kQueryH,        // 0?h
  kIdentify,      // 0?R <index>
  kPageLoad,      // 0F1 OO DDDDDDDD
  kPageCommit,    // 0F2 AAAA
  kReadByte,      // 0F3 AAAA
  kVariantQuery,  // 1C 'c' '(' digits ')', no terminator
  kUnknown,
};
inline constexpr int kCommandKindCount = static_cast<int>(CommandKind::kUnknown) + 1;
// The kind's name in fault descriptions ("page-load"), and back.
const char* CommandKindName(CommandKind kind);
std::optional<CommandKind> CommandKindByName(std::string_view name);

// Error numbers the simulated unit answers with on its own ("Error <n>\r").
inline constexpr int kErrorUnknownCommand = 20;  // also empty and over-long lines
inline constexpr int kErrorBadArgument = 21;
inline constexpr int kErrorBadAddress = 22;  // outside the memory, or page offset > 60

std::string ErrorReply(int number);

struct ClassifiedCommand {
  CommandKind kind = CommandKind::kUnknown;
  std::string_view rest;  // the text after the command letters (a view into the line)
};
// The unit's address comes first; the simulated unit answers to any.
ClassifiedCommand Classify(std::string_view line);

// Exactly out.size() signed 32-bit decimal integers, each preceded by at least
// one blank; trailing blanks are allowed.
bool ParseArgs(std::string_view text, std::span<std::int64_t> out);
// Exactly the given text as one to eight hexadecimal digits.
bool ParseHex(std::string_view text, std::uint32_t* value);

// Assembles received bytes into commands. A carriage return ends a line (a
// line feed after it is ignored); the variant query has no terminator and is
// complete at its ')'. A line longer than kMaxLine keeps its first kMaxLine
// bytes and is marked over-long, to be answered as unknown.
class LineFramer {
 public:
  static constexpr std::size_t kMaxLine = 256;

  struct Line {
    std::string text;
    bool overlong = false;

    bool operator==(const Line&) const = default;
  };

  // The commands completed by `bytes`, in order.
  std::vector<Line> Feed(std::string_view bytes);
  // Forgets a partly received line (a new connection).
  void Reset();

 private:
  std::string line_;
  bool overflow_ = false;
  bool in_variant_ = false;
};

}  // namespace stravon::sim
