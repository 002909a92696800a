#pragma once

#include <iosfwd>
#include <string>

#include "protocol/test_sequence.h"

namespace stravon {

// Reads a whole protocol from `in` into `sequence`: the first token, the
// header, then one set per group of tokens until the tokens run out.
void ReadProtocol(std::istream& in, TestSequence& sequence);

// Reads the protocol file at `path`. On failure returns false, leaves
// `sequence` unchanged and, when `error` is given, describes the failure.
bool ReadProtocolFile(const std::string& path, TestSequence& sequence, std::string* error);

// Writes `sequence` to `path`, replacing any existing file atomically: either
// the whole new file is in place or the old one is untouched. Returns false
// (with a description in `error`) when anything fails.
bool WriteProtocolFile(const std::string& path, TestSequence& sequence, std::string* error);

}  // namespace stravon
