// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/input_file.h"

#include "protocol/file_io.h"
#include "protocol/protocol_file.h"

namespace stravon::cli {

bool ReadInputFile(Console& console, const std::string& path, std::string* contents) {
  std::string error;
  if (ReadWholeFile(path, contents, &error, kMaxProtocolFileBytes)) return true;
  console.Error(ErrorText(error));
  return false;
}

}  // namespace stravon::cli
