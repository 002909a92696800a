// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/message_log.h"

#include <cstdio>
#include <utility>

namespace stravon {

MessageLog& MessageLog::Obtain() {
  static MessageLog log;
  return log;
}

std::uint64_t MessageLog::Register(Sink sink) {
  std::lock_guard lock(mutex_);
  if (sink_ || !sink) return 0;
  sink_ = std::move(sink);
  token_ = next_token_++;
  return token_;
}

void MessageLog::Unregister(std::uint64_t token) {
  std::lock_guard lock(mutex_);
  if (token != 0 && token == token_) {
    sink_ = nullptr;
    token_ = 0;
  }
}

bool MessageLog::HasSink() const {
  std::lock_guard lock(mutex_);
  return static_cast<bool>(sink_);
}

void MessageLog::Log(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (sink_) sink_(text);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace stravon
