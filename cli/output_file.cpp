// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/output_file.h"

#include <sys/stat.h>

#include <sstream>

#include "protocol/file_io.h"
#include "protocol/protocol_file.h"

namespace stravon::cli {
namespace {

constexpr std::string_view kStandardOutput = "-";

// Writing onto the input would destroy what is still to be read, or what
// the output was made from.
bool RefuseInput(Console& console, const std::string& path, const std::string& input) {
  if (input.empty() || !SameFile(path, input)) return false;
  console.Error(ErrorText("-o " + path + " is the input file; write the output elsewhere."));
  return true;
}

}  // namespace

bool SameFile(const std::string& first, const std::string& second) {
  struct stat a {};
  struct stat b {};
  if (::stat(first.c_str(), &a) != 0 || ::stat(second.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool WriteOutput(Console& console, const std::string& path, const std::string& input,
                 std::string_view bytes) {
  return WriteOutput(console, path, input,
                     [bytes](const PieceWriter& write) { return write(bytes); });
}

bool WriteOutput(Console& console, const std::string& path, const std::string& input,
                 const ContentProducer& produce) {
  if (path == kStandardOutput) {
    // A failed standard output is reported at exit; there is no use going on.
    produce([&console](std::string_view piece) {
      console.Result(piece);
      return ResultWriteError() == 0;
    });
    return true;
  }
  if (RefuseInput(console, path, input)) return false;
  std::string error;
  if (ReplaceFileAtomically(path, produce, &error)) return true;
  console.Error(ErrorText(error));
  return false;
}

bool OutputProtocol(Console& console, TestSequence sequence,
                    const std::optional<std::string>& output, const std::string& input) {
  if (output && *output != kStandardOutput) {
    if (RefuseInput(console, *output, input)) return false;
    std::string error;
    if (WriteProtocolFile(*output, sequence, &error)) return true;
    console.Error(ErrorText(error));
    return false;
  }
  std::ostringstream text;
  sequence.WriteProtocol(text);
  console.Result(text.str());
  return true;
}

}  // namespace stravon::cli
