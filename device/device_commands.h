// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace stravon {

// The control unit's text commands and the shape of its replies. Every
// command is one line ending in a carriage return and starts with the unit
// address, which is always 0.

inline constexpr std::size_t kUnitPageSize = 64;
inline constexpr std::size_t kPageLoadSize = 4;

std::string StopCommand();                                            // "0S"
std::string GoCommand();                                              // "0G"
std::string DirectionCommand(int direction);                          // "0d 1"
std::string SpeedCommand(std::int32_t value);                         // "0v 64000"
std::string StatusCommand();                                          // "0?S"
std::string MoveCommand(std::int32_t position);                       // "0M -415"
std::string LimitsOnCommand(std::int32_t lower, std::int32_t upper);  // "0P 1 -415 2052"
std::string LimitsOffCommand();                                       // "0P 0 0 0"
std::string QueryHCommand();                                          // "0?h"
std::string IdentifyCommand(int index);                               // "0?R 2"
// Loads kPageLoadSize bytes into the unit's page buffer at `offset`:
// "0F1" offset, then each byte, all as two upper-case hex digits.
std::string PageLoadCommand(int offset, std::span<const std::uint8_t, kPageLoadSize> bytes);
std::string PageCommitCommand(std::uint16_t address);  // "0F26E00"
std::string ReadByteCommand(std::uint16_t address);    // "0F36E00"

// The value sent with the Speed command for a jog speed code (by its size).
std::int32_t JogSpeedValue(std::int32_t code);

// A reply starting with "Error" is an error reply; its number is read from
// the seventh character on (no digits, or no such character, give 0).
bool IsErrorReply(std::string_view reply);
int ErrorNumber(std::string_view reply);

// The byte in a Read byte reply: its first two characters read as a
// hexadecimal number, the low 8 bits kept; 0 when they are not hexadecimal.
std::uint8_t ReplyByte(std::string_view reply);
// Whether a Read byte reply carries a byte at all: two hexadecimal digits.
// ReplyByte turns anything into some byte, so a garbled reply has to be
// refused before it is read.
bool IsByteReply(std::string_view reply);

// The number in an identification entry after `tag` (upper case; the entry's
// ASCII letters are compared in upper case): at most `width` characters read
// as a decimal floating-point number, times `scale`, rounded down and kept in
// the 32-bit range. `fallback` when the tag is missing.
std::int32_t IdentificationNumber(std::string_view entry, std::string_view tag, std::size_t width,
                                  double scale, std::int32_t fallback);

}  // namespace stravon
