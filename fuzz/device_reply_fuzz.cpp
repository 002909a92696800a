// SPDX-License-Identifier: GPL-3.0-or-later
// The unit's replies as the link reads them: error replies and their
// numbers, the firmware revision and software number of an identification,
// the byte of a Read byte reply and the position of a status reply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "device/device_commands.h"
#include "fuzz/fuzz_check.h"
#include "protocol/number_text.h"

namespace {

using stravon::fuzz::Check;

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);

  if (stravon::IsErrorReply(reply)) {
    const int number = stravon::ErrorNumber(reply);
    Check(reply.size() > 6 || number == 0, "an error reply without a number is error 0");
  }

  // The byte is exactly the two hexadecimal digits whenever the link takes it.
  if (stravon::IsByteReply(reply)) {
    Check(IsHex(reply[0]) && IsHex(reply[1]), "a byte reply starts with two digits");
    const long expected = std::strtol(reply.substr(0, 2).c_str(), nullptr, 16);
    Check(stravon::ReplyByte(reply) == expected, "a byte reply reads as its two digits");
  } else {
    static_cast<void>(stravon::ReplyByte(reply));
  }

  const std::int32_t revision = stravon::IdentificationNumber(reply, "REV", 9, 1000.0, 1300);
  const std::int32_t software = stravon::IdentificationNumber(reply, "SW#", 8, 1.0, 74050);
  std::string upper = reply;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (upper.find("REV") == std::string::npos) Check(revision == 1300, "no REV, default revision");
  if (upper.find("SW#") == std::string::npos) Check(software == 74050, "no SW#, default number");

  static_cast<void>(stravon::ParseLeadingInteger(reply));
  return 0;
}
