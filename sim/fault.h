// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "sim/command_grammar.h"

namespace stravon::sim {

// One injected fault. It applies to commands of `kind` (any kind when
// unset): the first `skip` matching commands pass normally, then the next
// `count` ones (every one after that when count < 0) get the fault.
struct Fault {
  enum class Action {
    kNormal,      // normal reply (useful with piece_size to split it)
    kError,       // "Error <error_number>\r"; the command is not carried out
    kSilence,     // no reply at all; the command is not carried out
    kReply,       // `reply` sent verbatim instead of the normal reply (add "\r"
                  // yourself); the command is carried out
    kDisconnect,  // the pseudo-terminal is closed instead of replying
    kCorruptStore,  // a page commit stores byte `corrupt_offset` of the page
                    // inverted, and answers as if all went well
  };
  Action action = Action::kNormal;
  int error_number = 97;
  std::string reply;
  std::size_t corrupt_offset = 0;
  // Non-zero: the reply goes out in pieces of this many bytes, piece_delay apart.
  std::size_t piece_size = 0;
  std::chrono::milliseconds piece_delay{0};
  std::optional<CommandKind> kind;
  int skip = 0;
  int count = 1;

  static Fault Error(int number);
  static Fault Silence();
  static Fault Reply(std::string text);
  // `length` bytes of text and no carriage return.
  static Fault Overlong(std::size_t length);
  static Fault Split(std::size_t piece, std::chrono::milliseconds delay);
  // Answers `after` commands normally, then closes on the next one.
  static Fault DisconnectAfter(int after);
  // The next page commit stores byte `offset` (0 to 63) of its page wrongly.
  static Fault CorruptStore(std::size_t offset);
  // Copies with the scope changed, for chaining: Fault::Error(97).Times(2).
  Fault For(CommandKind k) const;
  Fault Times(int n) const;
  Fault Skip(int n) const;

  bool operator==(const Fault&) const = default;
};

// The faults waiting for commands, in the order they were injected.
class FaultSchedule {
 public:
  void Add(Fault fault) { faults_.push_back(std::move(fault)); }
  void Clear() { faults_.clear(); }
  bool Empty() const { return faults_.empty(); }

  // The fault that applies to the next command of `kind`, if any. Every fault
  // counts the commands it matches; the first one past its skip count
  // applies, and is dropped once it has applied `count` times.
  std::optional<Fault> Next(CommandKind kind);

 private:
  std::vector<Fault> faults_;
};

}  // namespace stravon::sim
