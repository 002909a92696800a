// SPDX-License-Identifier: GPL-3.0-or-later
// What Read Device and the settings read take from the unit's memory: the
// first 1408 bytes are the program image, the next 64 (when there) the
// hardware settings block. The image decodes into at most a table of sets,
// encoding the decoded sets gives an image that decodes to the same sets, and
// the sets become a protocol that the program shows and saves.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <locale>
#include <sstream>

#include "device/device_worker.h"
#include "device/hardware_settings.h"
#include "device/program_image.h"
#include "fuzz/fuzz_check.h"
#include "protocol/test_sequence.h"
#include "tests/support/test_settings.h"

namespace {

using stravon::fuzz::Check;

// What a connection does with a settings block it read.
stravon::HardwareSettings UseSettingsBlock(const std::uint8_t* data, std::size_t size) {
  stravon::SettingsBlock block{};
  std::memcpy(block.data(), data, std::min(size, block.size()));
  const stravon::HardwareSettings settings = stravon::DecodeSettingsBlock(block);
  Check(stravon::DecodeSettingsBlock(stravon::EncodeSettingsBlock(settings)) == settings ||
            settings != settings,  // a NaN field compares unequal to itself
        "a settings block encodes back to the same settings");
  if (!stravon::SettingsAreValid(settings)) return stravon::test_support::FactorySettings();
  static_cast<void>(stravon::SeriesIndex(settings, 0));
  static_cast<void>(settings.ActuatorStroke());
  static_cast<void>(settings.InitialSpecimenSize());
  static_cast<void>(settings.UnitPosition(settings.InitialSpecimenSize()));
  static_cast<void>(settings.OffsetShown(0));
  static_cast<void>(stravon::ComputeJogLimits(settings, stravon::kHomePosition, 100));
  return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  stravon::ProgramImage image{};
  const std::size_t image_bytes = std::min(size, image.size());
  std::memcpy(image.data(), data, image_bytes);
  const stravon::HardwareSettings settings =
      size > image.size() ? UseSettingsBlock(data + image.size(), size - image.size())
                          : stravon::test_support::FactorySettings();

  stravon::DeviceSetTable table{};
  const std::int32_t count = stravon::DecodeProgramImage(image, table);
  Check(count >= 0 && static_cast<std::size_t>(count) <= stravon::kSetTableSize,
        "the decoded sets fit the table");

  stravon::DeviceSetTable again{};
  const stravon::ProgramImage encoded = stravon::EncodeProgramImage(table, count);
  Check(stravon::DecodeProgramImage(encoded, again) == count, "re-encoded sets decode again");
  Check(std::equal(table.begin(), table.begin() + count, again.begin()),
        "re-encoded sets decode to the same sets");

  stravon::TestSequence sequence;
  stravon::DeviceSetsToProtocol(table, count, settings, sequence);
  Check(sequence.sets.size() == static_cast<std::size_t>(count), "one set per decoded set");
  for (int i = 0; i < count; ++i) {
    static_cast<void>(sequence.FunctionMagnitudeText(i));
    static_cast<void>(sequence.StretchDurationText(i));
    static_cast<void>(sequence.RecoveryDurationText(i));
    static_cast<void>(sequence.SetDurationSeconds(i));
  }
  static_cast<void>(stravon::UsedMemoryPercent(sequence));
  std::ostringstream out;
  out.imbue(std::locale::classic());
  sequence.WriteProtocol(out);
  return 0;
}
