// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/fault_grammar.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

namespace stravon::sim {

bool ParseInteger(std::string_view text, long long min, long long max, long long* value) {
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(copy.c_str(), &end, 10);
  if (copy.empty() || *end != '\0' || errno != 0 || v < min || v > max) return false;
  *value = v;
  return true;
}

bool ParseFault(std::string_view text, Fault* fault, std::string* error) {
  bool have_action = false;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    const std::size_t eq = item.find('=');
    const std::string_view key = item.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? "" : item.substr(eq + 1);
    long long n = 0;
    const auto action = [&](Fault f) {
      if (have_action) {
        *error = "more than one action in a fault";
        return false;
      }
      // Keep the scope settings read so far.
      f.kind = fault->kind;
      f.count = fault->count;
      f.skip = fault->skip;
      *fault = std::move(f);
      have_action = true;
      return true;
    };
    if (key == "error" && ParseInteger(value, -2147483647, 2147483647, &n)) {
      if (!action(Fault::Error(static_cast<int>(n)))) return false;
    } else if (key == "silence" && eq == std::string_view::npos) {
      if (!action(Fault::Silence())) return false;
    } else if (key == "reply" && eq != std::string_view::npos) {
      if (!action(Fault::Reply(std::string(value) + "\r"))) return false;
    } else if (key == "overlong" && ParseInteger(value, 1, 1 << 24, &n)) {
      if (!action(Fault::Overlong(static_cast<std::size_t>(n)))) return false;
    } else if (key == "split") {
      const std::size_t slash = value.find('/');
      long long ms = 0;
      if (slash == std::string_view::npos ||
          !ParseInteger(value.substr(0, slash), 1, 1 << 24, &n) ||
          !ParseInteger(value.substr(slash + 1), 0, 600000, &ms)) {
        *error = "split wants BYTES/MS";
        return false;
      }
      if (!action(Fault::Split(static_cast<std::size_t>(n), std::chrono::milliseconds(ms)))) {
        return false;
      }
    } else if (key == "corrupt" && ParseInteger(value, 0, 63, &n)) {
      if (!action(Fault::CorruptStore(static_cast<std::size_t>(n)))) return false;
      // Only a page commit stores anything.
      if (!fault->kind) fault->kind = CommandKind::kPageCommit;
    } else if (key == "disconnect" && eq == std::string_view::npos) {
      if (!action(Fault::DisconnectAfter(0))) return false;
    } else if (key == "on") {
      fault->kind = CommandKindByName(value);
      if (!fault->kind) {
        *error = "unknown command kind '" + std::string(value) + "'";
        return false;
      }
    } else if (key == "times" && value == "all") {
      fault->count = -1;
    } else if (key == "times" && ParseInteger(value, 1, 1 << 30, &n)) {
      fault->count = static_cast<int>(n);
    } else if (key == "skip" && ParseInteger(value, 0, 1 << 30, &n)) {
      fault->skip = static_cast<int>(n);
    } else {
      *error = "cannot read '" + std::string(item) + "'";
      return false;
    }
  }
  if (!have_action) *error = "a fault needs an action";
  return have_action;
}

}  // namespace stravon::sim
