// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

namespace stravon {

// Whole-file reads and writes for small documents. On failure each returns
// false and, when `error` is given, a message naming the file and the reason.

// A file larger than `limit` bytes is refused, with its size, before it is
// read (one that does not tell its size, a pipe, when it passes the limit).
bool ReadWholeFile(const std::string& path, std::string* contents, std::string* error,
                   std::size_t limit = std::numeric_limits<std::size_t>::max());

// Replaces the file at `path` (or creates it) so that a reader sees either
// the old contents or the new ones, never a mixture: the data go to a
// temporary file in the same folder, which is synced to disk and then renamed
// over the target. On failure the old file is untouched and the temporary
// file removed. A symbolic link at `path` is kept and its target replaced; a
// link that leads nowhere (dangling, or a loop) is refused rather than
// turned into a file; an existing file keeps its permission bits. A path that names a device, a
// FIFO or a socket is written in place instead (there is nothing to replace
// atomically, and replacing it by a file would break it); a folder is refused.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents, std::string* error);

// The same for contents too large to hold at once: `produce` hands each
// piece in turn to the writer it is given, and stops when the writer returns
// false (the write failed) or returns false itself to abandon the file.
using PieceWriter = std::function<bool(std::string_view piece)>;
using ContentProducer = std::function<bool(const PieceWriter& write)>;
bool ReplaceFileAtomically(const std::string& path, const ContentProducer& produce,
                           std::string* error);

}  // namespace stravon
