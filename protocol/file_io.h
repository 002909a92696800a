// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
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
// file removed. A symbolic link at `path` is kept and its target replaced;
// an existing file keeps its permission bits. A path that names a device, a
// FIFO or a socket is written in place instead (there is nothing to replace
// atomically, and replacing it by a file would break it); a folder is refused.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents, std::string* error);

}  // namespace stravon
