#include "device/operation_outcome.h"

#include <cstdio>

namespace stravon {

std::string OutcomeLine(const Outcome& outcome) {
  if (outcome.kind == Outcome::Kind::kNotConnected) return "";
  // These end before the transfer's line would be written: the stage view or
  // a message box has said why.
  if (outcome.step == Outcome::Step::kCommit || outcome.step == Outcome::Step::kOpenPort ||
      outcome.step == Outcome::Step::kCheckSettings) {
    return "";
  }
  const bool done = outcome.Done();
  if (outcome.step == Outcome::Step::kVerify && !done) {
    if (outcome.kind == Outcome::Kind::kCancelled) return "Verifying Device... Cancelled";
    if (!outcome.mismatch) return "Verifying Device... Failure";
    char text[120];
    std::snprintf(text, sizeof text,
                  "Verifying Device... Failure at address 0x%04X (0x%02X read, 0x%02X written)",
                  static_cast<unsigned>(outcome.mismatch->address),
                  static_cast<unsigned>(outcome.mismatch->read),
                  static_cast<unsigned>(outcome.mismatch->written));
    return text;
  }
  switch (outcome.operation) {
    case Operation::kReadDevice:
      // A failed read shows as cancelled, as it always has.
      return done ? "Reading Device... Success" : "Reading Device... Cancelled";
    case Operation::kProgramDevice:
      return done ? "Programming Device... Success" : "Programming Device... Cancelled";
    case Operation::kProgramHardwareSettings:
      return done ? "Programming Hardware Settings... Success"
                  : "Programming Hardware Settings... Failure";
    case Operation::kNone:
      // The settings read of a connection shows the model line on success.
      return done ? "" : "Reading Hardware Settings... Failure";
    default:
      return "";
  }
}

}  // namespace stravon
