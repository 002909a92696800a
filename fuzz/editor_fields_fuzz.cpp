// SPDX-License-Identifier: GPL-3.0-or-later
// What a person types into the set editor, the hardware settings dialog and
// the move-to-size dialog. The first byte picks the list selections, the
// check boxes, the unit the dialogs were opened for and factory access; the
// rest, split at line ends, fills the text fields in order. Whatever a dialog
// accepts must be something the rest of the program can use: a set that
// compiles into an image, settings the unit will accept when it reads them
// back, a move to a position.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "device/hardware_settings.h"
#include "device/program_image.h"
#include "fuzz/fuzz_check.h"
#include "protocol/test_sequence.h"
#include "ui/field_text.h"
#include "ui/hardware_dialog.h"
#include "ui/move_to_size.h"
#include "ui/set_editor.h"
#include "ui/settings_store.h"
#include "tests/support/test_settings.h"

namespace {

using stravon::fuzz::Check;

// The units a dialog may be opened for: one of each series, and a document
// that has not read any settings (all zero).
stravon::HardwareSettings Unit(int which) {
  switch (which) {
    case 0:
      return stravon::test_support::FactorySettings();
    case 1:
      return stravon::test_support::CoarseSettings();
    case 2:
      return stravon::test_support::FineSettings();
    default:
      return {};
  }
}

std::string_view Trim(std::string_view text) {
  const std::string_view blanks = " \t\n\v\f\r";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// A field's number against the C library's reading of the same text.
void CheckNumberField(const std::string& text) {
  double value = 0.0;
  if (stravon::ParseNumberField(text, value)) {
    Check(std::isfinite(value), "a number field holds a finite number");
    const std::string trimmed(Trim(text));
    char* end = nullptr;
    const double expected = std::strtod(trimmed.c_str(), &end);
    Check(end == trimmed.c_str() + trimmed.size(), "all of an accepted field is its number");
    Check(value == expected, "a number field reads as strtod");
  }
  std::int64_t integer = 0;
  if (stravon::ParseIntegerField(text, -1000, 1000, integer)) {
    Check(integer >= -1000 && integer <= 1000, "an integer field keeps its bounds");
    const std::string trimmed(Trim(text));
    Check(integer == std::strtoll(trimmed.c_str(), nullptr, 10),
          "an integer field reads as strtoll");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned choice = data[0];
  std::vector<std::string> fields;
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  for (std::size_t start = 0;;) {
    const std::size_t end = rest.find('\n', start);
    fields.push_back(rest.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  auto field = [&fields](std::size_t i) { return i < fields.size() ? fields[i] : std::string(); };
  for (const std::string& text : fields) CheckNumberField(text);

  const stravon::HardwareSettings unit = Unit(static_cast<int>((choice >> 6) & 3));

  // Set editor.
  stravon::SetEditorFields typed;
  typed.function = static_cast<int>(choice & 3) - 1;          // -1 ... 2
  typed.time_unit = static_cast<int>((choice >> 2) & 7) - 1;  // -1 ... 6
  typed.magnitude = field(0);
  typed.stretch = field(1);
  typed.hold = field(2);
  typed.recovery = field(3);
  typed.rest = field(4);
  typed.repetitions = field(5);
  if (choice & 0x20) stravon::SetDoNotStretch(typed, true);
  if (fields.size() % 2 == 1) stravon::SetDoNotRecover(typed, true);
  const stravon::SetEditorLimits limits{unit.TravelSoftLimit, unit.MotorPitch};
  const stravon::SetEditorResult edited =
      stravon::AcceptSetEditor(typed, stravon::TestSet{}, limits);
  if (edited.outcome == stravon::SetEditorResult::Outcome::kAccepted) {
    const stravon::TestSet& set = edited.set;
    Check(std::isfinite(set.XMagnitude) && std::isfinite(set.StretchDurationSec) &&
              std::isfinite(set.RecoveryDurationSec) && std::isfinite(set.HoldTimeSec) &&
              std::isfinite(set.RestTimeSec),
          "an accepted set holds finite numbers");
    Check(set.NumReps >= 1, "an accepted set repeats at least once");
    stravon::TestSequence sequence;
    sequence.sets.push_back(set);
    stravon::DeviceSetTable table{};
    const std::int32_t count = stravon::CompileProtocol(sequence, unit, table);
    stravon::DeviceSetTable decoded{};
    Check(stravon::DecodeProgramImage(stravon::EncodeProgramImage(table, count), decoded) == 1,
          "an accepted set compiles into an image of one set");
    // Opening the editor on what it accepted shows it again.
    static_cast<void>(stravon::OpenSetEditor(set));
  } else {
    Check(!edited.message.empty(), "a refusal says why");
  }

  // Hardware settings dialog.
  stravon::MemorySettingsStore store;
  if (choice & 0x20) store.WriteInteger(stravon::kSettingsSection, stravon::kFactoryAccessValue, 1);
  stravon::HardwareDialog dialog(unit, store);
  static_cast<void>(dialog.Fields());
  const stravon::HardwareDialogFields hardware{field(6), field(7),  field(8),
                                               field(9), field(10), field(11)};
  const stravon::HardwareProgramResult programmed = dialog.Program(hardware);
  if (programmed.outcome == stravon::HardwareProgramResult::Outcome::kPost) {
    Check(stravon::SettingsAreValid(programmed.settings),
          "posted settings are accepted when the unit reads them back");
    const stravon::SettingsBlock block = stravon::EncodeSettingsBlock(programmed.settings);
    Check(stravon::DecodeSettingsBlock(block) == programmed.settings,
          "posted settings come back from their block unchanged");
  }
  static_cast<void>(dialog.RestoreDefaults());

  // Move to size, opened at an offset typed as text, then typed into.
  double offset = 0.0;
  static_cast<void>(stravon::ParseNumberField(field(12), offset));
  stravon::MoveToSizeFields move = stravon::OpenMoveToSize(offset, unit);
  move.new_size = field(13);
  if (fields.size() > 14) move.minimum_size = field(14);
  if (fields.size() > 15) move.maximum_size = field(15);
  const stravon::MoveToSizeResult moved = stravon::AcceptMoveToSize(move, unit);
  if (moved.outcome == stravon::MoveToSizeResult::Outcome::kMove) {
    Check(std::isfinite(moved.new_size), "a move goes to a finite size");
  }
  return 0;
}
