// SPDX-License-Identifier: GPL-3.0-or-later
// A settings backup as `settings restore` and `plot --settings` read it: the
// block lines parse into a block or give a reason; a parsed block written as
// a backup again reads back the same; whatever the block holds, the texts made
// from it (its description, the refusal of its fields) reach a terminal with
// no control byte but the line break.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/settings_backup.h"
#include "device/hardware_settings.h"
#include "fuzz/fuzz_check.h"

namespace {

using stravon::fuzz::Check;

bool PrintableLines(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\n') || byte == 0x7F) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  stravon::SettingsBlock block{};
  std::string error;
  if (!stravon::cli::ParseBackup(text, &block, &error)) {
    Check(!error.empty(), "a refused backup has a reason");
    Check(PrintableLines(error), "the reason echoes no control byte");
    return 0;
  }

  const std::string again = stravon::cli::BackupText(block, "fuzz");
  stravon::SettingsBlock reread{};
  Check(stravon::cli::ParseBackup(again, &reread, &error), "a written backup reads back");
  Check(reread == block, "a written backup reads back the same block");

  const stravon::HardwareSettings settings = stravon::DecodeSettingsBlock(block);
  Check(PrintableLines(stravon::cli::SettingsDescription(settings)),
        "the description shows no control byte");
  const auto problems = stravon::cli::BackupProblems(settings);
  Check(PrintableLines(stravon::cli::BackupRefusalText("f", problems)),
        "the refusal shows no control byte");
  // What passes the field checks is what a unit accepts when it reads its
  // settings at the next connection.
  Check(!problems.empty() || stravon::SettingsAreValid(settings),
        "a backup that passes its field checks holds valid settings");
  return 0;
}
