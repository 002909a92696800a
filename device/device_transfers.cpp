// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_transfers.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "device/device_commands.h"
#include "device/device_worker.h"
#include "device/program_image.h"

namespace stravon {
namespace {

// A failed byte read: a wait cut short by a cancel is a cancel.
Outcome ReadFailure(Operation operation, Outcome::Step step, const CommandResult& result) {
  const Outcome::Kind kind = CauseOf(result) == Outcome::Cause::kCancelled
                                 ? Outcome::Kind::kCancelled
                                 : Outcome::Kind::kFailed;
  return Outcome::Of(operation, kind, step, result);
}

// Reads the program area into `image`, with progress in `phase`.
Outcome ReadProgramArea(DeviceWorker& worker, TransferPhase phase, Outcome::Step step,
                        ProgramImage& image) {
  constexpr Operation kOperation = Operation::kReadDevice;
  const Operation operation =
      phase == TransferPhase::kVerifying ? Operation::kProgramDevice : kOperation;
  DeviceLink& link = worker.Link();
  worker.BeginProgress(phase, static_cast<int>(image.size()));
  for (std::size_t i = 0; i < image.size(); ++i) {
    const auto address = static_cast<std::uint16_t>(kProgramImageAddress + i);
    if (const CommandResult result = link.ReadByte(address, &image[i]); !result.ok()) {
      return ReadFailure(operation, step, result);
    }
    if (!worker.Advance()) return Outcome::Of(operation, Outcome::Kind::kCancelled, step);
  }
  return Outcome::Of(operation);
}

// Reads the program area back after Program Device wrote `written` and
// compares byte for byte.
Outcome VerifyProgram(DeviceWorker& worker, const ProgramImage& written) {
  ProgramImage read_back{};
  Outcome outcome =
      ReadProgramArea(worker, TransferPhase::kVerifying, Outcome::Step::kVerify, read_back);
  if (outcome.Done()) {
    if (const auto offset = FirstDifference(written, read_back)) {
      outcome = Outcome::Of(outcome.operation, Outcome::Kind::kFailed, Outcome::Step::kVerify);
      outcome.mismatch =
          Outcome::Mismatch{static_cast<std::uint32_t>(kProgramImageAddress + *offset),
                            written[*offset], read_back[*offset]};
    }
  }
  return outcome;
}

// Reads the first page of the program area back, after a commit whose answer
// cannot be trusted, and tells what the unit holds from it.
Outcome::HeldProgram ReadHeldProgram(DeviceLink& link, const ProgramImage& written) {
  std::array<std::uint8_t, kUnitPageSize> page{};
  for (std::size_t i = 0; i < page.size(); ++i) {
    const auto address = static_cast<std::uint16_t>(kProgramImageAddress + i);
    if (!link.ReadByte(address, &page[i]).ok()) return Outcome::HeldProgram::kUnknown;
  }
  if (std::all_of(page.begin(), page.end(), [](std::uint8_t byte) { return byte == 0; })) {
    return Outcome::HeldProgram::kNothing;
  }
  return std::equal(page.begin(), page.end(), written.begin()) ? Outcome::HeldProgram::kWritten
                                                               : Outcome::HeldProgram::kPrevious;
}

}  // namespace

FinishedEvent ReadDevice(DeviceWorker& worker) {
  FinishedEvent finished;
  ProgramImage image{};
  finished.outcome =
      ReadProgramArea(worker, TransferPhase::kReading, Outcome::Step::kReadProgram, image);
  finished.image = image;
  if (finished.outcome.Done()) finished.set_count = DecodeProgramImage(image, finished.sets);
  return finished;
}

FinishedEvent ProgramDevice(DeviceWorker& worker, const ProgramRequest& request) {
  FinishedEvent finished;
  finished.verify = request.verify;
  finished.set_count = CompileProtocol(request.sequence, request.settings, finished.sets);
  const ProgramImage image = EncodeProgramImage(finished.sets, finished.set_count);
  finished.image = image;
  finished.outcome = worker.Link().WriteProgramImage(image);
  finished.outcome.operation = Operation::kProgramDevice;
  // A commit went out and then something failed: the commit itself may have
  // been refused, or taken though answered with an error. A cancel comes
  // between acknowledged pages, so the cleared page stands.
  if (finished.outcome.kind == Outcome::Kind::kFailed && finished.outcome.program_area_cleared) {
    const Outcome::HeldProgram held = ReadHeldProgram(worker.Link(), image);
    finished.outcome.held_program = held;
    finished.outcome.program_area_cleared = held == Outcome::HeldProgram::kNothing;
  }
  if (finished.outcome.Done() && request.verify) {
    finished.outcome = VerifyProgram(worker, image);
    // The unit holds something other than what was written, and would run
    // it: it is left holding no protocol instead, as a cancelled run leaves it.
    if (finished.outcome.mismatch) {
      bool commit_sent = false;
      const CommandResult cleared = worker.Link().ClearProgramArea(&commit_sent);
      finished.outcome.program_area_cleared =
          cleared.ok() ||
          (commit_sent && ReadHeldProgram(worker.Link(), image) == Outcome::HeldProgram::kNothing);
    }
  }
  return finished;
}

}  // namespace stravon
