// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/fault.h"

#include <utility>

#include "sim/unit_model.h"

namespace stravon::sim {

Fault Fault::Error(int number) {
  Fault f;
  f.action = Action::kError;
  f.error_number = number;
  return f;
}

Fault Fault::Silence() {
  Fault f;
  f.action = Action::kSilence;
  return f;
}

Fault Fault::Reply(std::string text) {
  Fault f;
  f.action = Action::kReply;
  f.reply = std::move(text);
  return f;
}

Fault Fault::Overlong(std::size_t length) { return Reply(std::string(length, 'X')); }

Fault Fault::Split(std::size_t piece, std::chrono::milliseconds delay) {
  Fault f;
  f.piece_size = piece;
  f.piece_delay = delay;
  return f;
}

Fault Fault::DisconnectAfter(int after) {
  Fault f;
  f.action = Action::kDisconnect;
  f.skip = after;
  return f;
}

Fault Fault::CorruptStore(std::size_t offset) {
  Fault f;
  f.action = Action::kCorruptStore;
  f.corrupt_offset = offset % kPageSize;
  f.kind = CommandKind::kPageCommit;
  return f;
}

Fault Fault::For(CommandKind k) const {
  Fault f = *this;
  f.kind = k;
  return f;
}

Fault Fault::Times(int n) const {
  Fault f = *this;
  f.count = n;
  return f;
}

Fault Fault::Skip(int n) const {
  Fault f = *this;
  f.skip = n;
  return f;
}

std::optional<Fault> FaultSchedule::Next(CommandKind kind) {
  Fault* applied = nullptr;
  for (Fault& fault : faults_) {
    if (fault.kind && *fault.kind != kind) continue;
    if (fault.skip > 0) {
      --fault.skip;
      continue;
    }
    if (applied == nullptr && fault.count != 0) applied = &fault;
  }
  if (applied == nullptr) return std::nullopt;
  Fault result = *applied;
  if (applied->count > 0) --applied->count;
  std::erase_if(faults_, [](const Fault& f) { return f.count == 0; });
  return result;
}

}  // namespace stravon::sim
