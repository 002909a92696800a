// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a fuzz target over files instead of generated inputs: every argument
// is a file or a folder (read recursively, in name order, so that a failure
// names the same file on every run). Prints each file before it runs, so the
// last line of a crash names the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool Run(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  std::printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
  std::fflush(stdout);
  // A copy of exactly the input's size, so that a read past the end is
  // caught by the address sanitizer as it would be under the fuzzer.
  std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
  static const std::uint8_t kNothing = 0;
  LLVMFuzzerTestOneInput(data.empty() ? &kNothing : data.data(), data.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(path, error)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.push_back(path);
    }
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    std::fprintf(stderr, "no input files\n");
    return 1;
  }
  int failures = 0;
  for (const auto& file : files) {
    if (!Run(file)) ++failures;
  }
  std::printf("%zu inputs replayed\n", files.size() - static_cast<std::size_t>(failures));
  return failures == 0 ? 0 : 1;
}
