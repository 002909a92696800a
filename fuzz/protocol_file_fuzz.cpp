// SPDX-License-Identifier: GPL-3.0-or-later
// The protocol file reader on any bytes, leniently and strictly, then
// everything the program does with what it read: the stage view's rows and
// totals, its commit checks and, when they pass, the compile for the unit;
// the preview's profile of what was read, committed or not; and saving.
// Saving what was read and reading that again must give the same file once
// more.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <locale>
#include <sstream>
#include <string>

#include "device/hardware_settings.h"
#include "device/motion_profile.h"
#include "device/program_image.h"
#include "fuzz/fuzz_check.h"
#include "protocol/front_end.h"
#include "protocol/protocol_file.h"
#include "protocol/test_sequence.h"
#include "tests/support/test_settings.h"
#include "ui/stage_model.h"

namespace {

using stravon::fuzz::Check;

class SilentFrontEnd : public stravon::FrontEnd {
 public:
  MessageButton ShowMessageBox(MessageKind, const std::string&, const std::string&) override {
    return MessageButton::kOk;
  }
};

stravon::TestSequence Read(const std::string& bytes) {
  std::istringstream in(bytes);
  in.imbue(std::locale::classic());
  stravon::TestSequence sequence;
  stravon::ReadProtocol(in, sequence);
  return sequence;
}

std::string Write(stravon::TestSequence sequence) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  sequence.WriteProtocol(out);
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const stravon::TestSequence sequence = Read(bytes);

  // A script's strict reading passes a file only when it reads as it looks,
  // and then it reads as the desktop program opens it.
  stravon::TestSequence strict;
  if (stravon::ReadProtocolContents(bytes, stravon::ProtocolReading::kStrict, strict).empty()) {
    Check(strict == sequence, "a file without findings reads the same strictly");
  }

  const int count = static_cast<int>(sequence.sets.size());
  std::size_t text_bytes = 0;
  for (int i = -1; i <= count; ++i) {
    text_bytes += sequence.FunctionMagnitudeText(i).size() +
                  sequence.StretchDurationText(i).size() + sequence.HoldDurationText(i).size() +
                  sequence.RecoveryDurationText(i).size() + sequence.RestDurationText(i).size();
    static_cast<void>(sequence.Repetitions(i));
    static_cast<void>(sequence.PreloadAllowance(i));
  }
  Check(text_bytes > 0, "every set index has its texts");

  // Opened in a window, then Program Device: the commit checks decide what
  // the compile ever sees.
  const stravon::HardwareSettings settings = stravon::test_support::FactorySettings();
  SilentFrontEnd front_end;
  stravon::StageModel stage(front_end);
  stage.InitialUpdate(sequence);
  stage.RefreshSettings(settings);
  Check(stage.RowCount() == count, "one row per set shown");
  stravon::TestSequence committed;
  if (stage.CommitSequence(settings, committed) == 1) {
    stravon::DeviceSetTable table{};
    const std::int32_t compiled = stravon::CompileProtocol(committed, settings, table);
    Check(compiled == static_cast<std::int32_t>(committed.sets.size()),
          "every set of a committed protocol is compiled");
    static_cast<void>(stravon::EncodeProgramImage(table, compiled));
  }

  // The preview plots whatever is being edited.
  const stravon::MotionProfile profile = stravon::BuildMotionProfile(sequence, settings);
  const double end = profile.Duration();
  Check(std::isfinite(end) && end >= 0.0, "a protocol lasts a finite time");
  for (const stravon::ProfileColumn& column : profile.Evaluate(-1.0, end + 1.0, 64)) {
    Check(!column.covered || column.low_mm <= column.high_mm, "a column's extremes are ordered");
  }
  Check(std::isfinite(profile.PositionMm(end / 2)), "a position is a number");

  const std::string written = Write(sequence);
  const stravon::TestSequence again = Read(written);
  Check(again.sets.size() == sequence.sets.size(), "a saved protocol reads back with its sets");
  Check(Write(again) == written, "a saved protocol saves again to the same file");
  return 0;
}
