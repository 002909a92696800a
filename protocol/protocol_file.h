// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/finding.h"
#include "protocol/test_sequence.h"

namespace stravon {

// Reads a whole protocol from `in` into `sequence`: the first token, the
// header, then one set per group of tokens until the tokens run out.
void ReadProtocol(std::istream& in, TestSequence& sequence);

enum class ProtocolReading {
  // As the desktop program opens a file: values are matched to columns by
  // position across line ends, a value the reader does not understand is read
  // as 0 or as an invalid name, an unknown column is passed over. Never fails.
  kLenient,
  // For a script, which should hear about a damaged file: a line with a value
  // missing or extra, a value not of its column's kind, an unknown or repeated
  // column, a file without a header. Each is a finding with its line; the file
  // is read (as it reads leniently) only when there is none.
  kStrict,
};

// Reads the protocol in `contents`, a text as ReadProtocolText gives it, into
// `sequence`; returns the strict reading's findings, all refusing, in the
// order of their lines. `sequence` is unchanged when there are any.
std::vector<Finding> ReadProtocolContents(std::string_view contents, ProtocolReading reading,
                                          TestSequence& sequence);

// Far above any real protocol file (60 sets of every column are some tens of
// kilobytes); a larger file is refused before it is read.
inline constexpr std::size_t kMaxProtocolFileBytes = std::size_t{1} << 20;

// The text of the protocol file at `path`, as the reader takes it: at most
// kMaxProtocolFileBytes, a UTF-8 byte-order mark at its start dropped, and
// lines that end in CR alone (as old editors save them) ending in LF.
bool ReadProtocolText(const std::string& path, std::string* text, std::string* error);

// Reads the protocol file at `path` (see ReadProtocolText) leniently. On failure returns false,
// leaves `sequence` unchanged and, when `error` is given, describes the failure.
bool ReadProtocolFile(const std::string& path, TestSequence& sequence, std::string* error);

// Writes `sequence` to `path`, replacing any existing file atomically: either
// the whole new file is in place or the old one is untouched. Returns false
// (with a description in `error`) when anything fails.
bool WriteProtocolFile(const std::string& path, TestSequence& sequence, std::string* error);

}  // namespace stravon
