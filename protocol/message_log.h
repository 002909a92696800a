// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace stravon {

// The process-wide diagnostic channel. A message goes to the registered sink
// (the first document's output pane) and then to standard output.
class MessageLog {
 public:
  using Sink = std::function<void(const std::string& text)>;

  // Returns the one log of the process, creating it on first use.
  static MessageLog& Obtain();

  // Registers the sink when none is registered yet and returns a token for
  // Unregister; returns 0 (and registers nothing) when a sink is already in place.
  std::uint64_t Register(Sink sink);

  // Removes the sink registered under `token`. When this returns, the sink is
  // not running and will not be called again, so its owner may go away.
  void Unregister(std::uint64_t token);

  bool HasSink() const;

  // Delivers one message: the sink first, then standard output. Failures of
  // standard output are ignored.
  void Log(const std::string& text);

  MessageLog() = default;
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

 private:
  // Held while the sink runs, so Unregister waits for a delivery in progress.
  mutable std::mutex mutex_;
  Sink sink_;
  std::uint64_t token_ = 0;
  std::uint64_t next_token_ = 1;
};

}  // namespace stravon
