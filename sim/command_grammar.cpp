// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/command_grammar.h"

#include <limits>

namespace stravon::sim {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// 0: still a possible variant query, 1: complete, -1: not one.
int VariantState(std::string_view text) {
  static constexpr std::string_view kHead =
      "\x1c"
      "c(";
  if (text.size() <= kHead.size()) return kHead.starts_with(text) ? 0 : -1;
  if (!text.starts_with(kHead)) return -1;
  const std::string_view digits = text.substr(kHead.size());
  const char last = digits.back();
  if (last == ')') return digits.size() > 1 ? 1 : -1;
  if (!IsDigit(last) || digits.size() > 9) return -1;
  return 0;
}

}  // namespace

const char* CommandKindName(CommandKind kind) {
  switch (kind) {
    case CommandKind::kStop:
      return "stop";
    case CommandKind::kGo:
      return "go";
    case CommandKind::kDirection:
      return "direction";
    case CommandKind::kSpeed:
      return "speed";
    case CommandKind::kStatus:
      return "status";
    case CommandKind::kMove:
      return "move";
    case CommandKind::kLimits:
      return "limits";
    case CommandKind::kQueryH:
      return "query-h";
    case CommandKind::kIdentify:
      return "identify";
    case CommandKind::kPageLoad:
      return "page-load";
    case CommandKind::kPageCommit:
      return "page-commit";
    case CommandKind::kReadByte:
      return "read-byte";
    case CommandKind::kVariantQuery:
      return "variant-query";
    case CommandKind::kUnknown:
      break;
  }
  return "unknown";
}

std::optional<CommandKind> CommandKindByName(std::string_view name) {
  for (int i = 0; i < kCommandKindCount; ++i) {
    const auto kind = static_cast<CommandKind>(i);
    if (name == CommandKindName(kind)) return kind;
  }
  return std::nullopt;
}

std::string ErrorReply(int number) { return "Error " + std::to_string(number) + "\r"; }

ClassifiedCommand Classify(std::string_view line) {
  if (VariantState(line) == 1) return {CommandKind::kVariantQuery, line.substr(3)};
  std::size_t i = 0;
  while (i < line.size() && IsDigit(line[i])) ++i;
  if (i == 0) return {CommandKind::kUnknown, {}};
  const std::string_view rest = line.substr(i);
  static constexpr struct {
    std::string_view prefix;
    CommandKind kind;
  } kPrefixes[] = {
      {"?S", CommandKind::kStatus},     {"?h", CommandKind::kQueryH},
      {"?R", CommandKind::kIdentify},   {"F1", CommandKind::kPageLoad},
      {"F2", CommandKind::kPageCommit}, {"F3", CommandKind::kReadByte},
      {"S", CommandKind::kStop},        {"G", CommandKind::kGo},
      {"d", CommandKind::kDirection},   {"v", CommandKind::kSpeed},
      {"M", CommandKind::kMove},        {"P", CommandKind::kLimits},
  };
  for (const auto& p : kPrefixes) {
    if (rest.starts_with(p.prefix)) return {p.kind, rest.substr(p.prefix.size())};
  }
  return {CommandKind::kUnknown, {}};
}

bool ParseArgs(std::string_view text, std::span<std::int64_t> out) {
  std::size_t i = 0;
  for (std::int64_t& value : out) {
    if (i >= text.size() || text[i] != ' ') return false;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size() || !IsDigit(text[i])) return false;
    std::int64_t v = 0;
    while (i < text.size() && IsDigit(text[i])) {
      v = v * 10 + (text[i++] - '0');
      if (v > std::numeric_limits<std::int32_t>::max() + std::int64_t{1}) return false;
    }
    value = negative ? -v : v;
    if (value > std::numeric_limits<std::int32_t>::max()) return false;
  }
  while (i < text.size() && text[i] == ' ') ++i;
  return i == text.size();
}

bool ParseHex(std::string_view text, std::uint32_t* value) {
  if (text.empty() || text.size() > 8) return false;
  std::uint32_t v = 0;
  for (char c : text) {
    const int d = HexValue(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<std::uint32_t>(d);
  }
  *value = v;
  return true;
}

std::vector<LineFramer::Line> LineFramer::Feed(std::string_view bytes) {
  std::vector<Line> lines;
  for (const char c : bytes) {
    if (c == '\r') {
      in_variant_ = false;
      lines.push_back({std::move(line_), overflow_});
      line_.clear();
      overflow_ = false;
      continue;
    }
    if (c == '\n') continue;  // tolerated after a carriage return
    if (line_.empty() && c == '\x1c') in_variant_ = true;
    if (line_.size() >= kMaxLine) {
      overflow_ = true;
      continue;
    }
    line_ += c;
    if (in_variant_) {
      const int state = VariantState(line_);
      if (state == 1) {
        in_variant_ = false;
        lines.push_back({std::move(line_), false});
        line_.clear();
      } else if (state < 0) {
        in_variant_ = false;  // not one; the bytes stay an ordinary line
      }
    }
  }
  return lines;
}

void LineFramer::Reset() {
  line_.clear();
  overflow_ = false;
  in_variant_ = false;
}

}  // namespace stravon::sim
