// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/console.h"
#include "protocol/file_io.h"
#include "protocol/test_sequence.h"

namespace stravon::cli {

// Where a command's output goes: "-" is standard output; a regular file is
// replaced atomically; a device, FIFO or socket is written in place; a
// symbolic link keeps pointing at its target, which is replaced. An output
// that is the command's input (`input`, when not empty), by any path, is
// refused before anything is written. False after the reason was reported.
bool WriteOutput(Console& console, const std::string& path, const std::string& input,
                 std::string_view bytes);
// The same for output made piece by piece, never held whole.
bool WriteOutput(Console& console, const std::string& path, const std::string& input,
                 const ContentProducer& produce);

// A protocol to `output` as WriteOutput does, or to standard output without one.
bool OutputProtocol(Console& console, TestSequence sequence,
                    const std::optional<std::string>& output, const std::string& input = "");

// Whether two paths name one existing file (links followed).
bool SameFile(const std::string& first, const std::string& second);

}  // namespace stravon::cli
