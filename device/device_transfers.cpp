// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_transfers.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "device/device_worker.h"
#include "device/program_image.h"

namespace stravon {
namespace {

void AppendOutcome(DeviceWorker& worker, const Outcome& outcome) {
  if (FrontEnd* front_end = worker.GetFrontEnd()) {
    std::string text = "\n" + OutcomeLine(outcome) + "\n";
    if (outcome.program_area_cleared) text += std::string(kProgramAreaClearedText) + "\n";
    front_end->AppendOutput(text);
  }
}

void InstallProgress(DeviceWorker& worker, const char* text) {
  worker.Link().SetProgressCallback(
      [&worker](int position, int range) { return ReadProgress(position, range, worker); });
  FrontEnd* front_end = worker.GetFrontEnd();
  worker.SetProgress(front_end != nullptr ? front_end->CreateProgressWindow(text) : nullptr);
}

Outcome NotDetected(DeviceWorker& worker, Operation operation) {
  if (FrontEnd* front_end = worker.GetFrontEnd()) {
    front_end->ShowMessageBox(FrontEnd::MessageKind::kError, kMessageCaption,
                              kDeviceNotDetectedMessage);
  }
  return Outcome::Of(operation, Outcome::Kind::kNotConnected, Outcome::Step::kNotDetected);
}

// Reads the program area back after Program Device wrote `written`, with a
// progress window of its own, and compares byte for byte. Writes its own line
// under the programming one.
Outcome VerifyProgram(DeviceWorker& worker, const ProgramImage& written) {
  DeviceLink& link = worker.Link();
  InstallProgress(worker, "Verifying Device...");
  ProgramImage read_back{};
  ReadProgress(0, static_cast<int>(read_back.size()), worker);
  Outcome outcome = Outcome::Of(Operation::kProgramDevice);
  for (std::size_t i = 0; i < read_back.size(); ++i) {
    const auto address = static_cast<std::uint16_t>(kProgramImageAddress + i);
    if (const CommandResult result = link.ReadByte(address, &read_back[i]); !result.ok()) {
      outcome =
          Outcome::Of(outcome.operation, Outcome::Kind::kFailed, Outcome::Step::kVerify, result);
      break;
    }
    if (ReadProgress(static_cast<int>(i), 0, worker) == -1) {
      outcome = Outcome::Of(outcome.operation, Outcome::Kind::kCancelled, Outcome::Step::kVerify);
      break;
    }
  }
  worker.SetProgress(nullptr);
  if (outcome.Done()) {
    if (const auto offset = FirstDifference(written, read_back)) {
      outcome = Outcome::Of(outcome.operation, Outcome::Kind::kFailed, Outcome::Step::kVerify);
      outcome.mismatch =
          Outcome::Mismatch{static_cast<std::uint32_t>(kProgramImageAddress + *offset),
                            written[*offset], read_back[*offset]};
    }
  }
  if (FrontEnd* front_end = worker.GetFrontEnd()) {
    front_end->AppendOutput(
        (outcome.Done() ? std::string("Verifying Device... Success") : OutcomeLine(outcome)) +
        "\n");
  }
  return outcome;
}

}  // namespace

int ReadProgress(int /*position*/, int range, DeviceWorker& worker) {
  ProgressWindow* window = worker.Progress();
  if (window == nullptr) return 0;
  if (range > 0) {
    window->SetBounds(0, range);
    window->SetStepSize(1);
  }
  window->Advance();
  window->PumpPendingMessages();
  // A closing session ends the transfer as a cancel would.
  return window->IsCancelled() || worker.Ending() || worker.CancelRequested() ? -1 : 1;
}

Outcome ReadDevice(DeviceWorker& worker) {
  constexpr Operation kOperation = Operation::kReadDevice;
  DeviceSession& session = worker.Session();
  DeviceLink& link = worker.Link();
  if (!session.HardwareSettingsRead() || !link.Port().IsOpen()) {
    return Outcome::Of(kOperation, Outcome::Kind::kNotConnected, Outcome::Step::kPortClosed);
  }
  FrontEnd* front_end = worker.GetFrontEnd();
  if (front_end != nullptr) front_end->ClearOutput();
  if (!session.Connected()) return NotDetected(worker, kOperation);

  worker.Sets().fill(DeviceSet{});
  InstallProgress(worker, "Reading Device...");
  ProgramImage& image = worker.Image();
  ReadProgress(0, static_cast<int>(image.size()), worker);
  Outcome outcome = Outcome::Of(kOperation);
  for (std::size_t i = 0; i < image.size(); ++i) {
    const auto address = static_cast<std::uint16_t>(kProgramImageAddress + i);
    if (const CommandResult result = link.ReadByte(address, &image[i]); !result.ok()) {
      // A wait for the unit cut short by the Cancel button is a cancel.
      outcome.kind = CauseOf(result) == Outcome::Cause::kCancelled ? Outcome::Kind::kCancelled
                                                                   : Outcome::Kind::kFailed;
      outcome.step = Outcome::Step::kReadProgram;
      outcome.failure = result;
      break;
    }
    if (ReadProgress(static_cast<int>(i), 0, worker) == -1) {
      outcome.kind = Outcome::Kind::kCancelled;
      outcome.step = Outcome::Step::kReadProgram;
      break;
    }
  }
  if (outcome.Done()) worker.SetSetCount(DecodeProgramImage(image, worker.Sets()));
  worker.SetProgress(nullptr);
  worker.PublishImage();

  if (outcome.Done()) {
    TestSequence protocol = session.Protocol();
    DeviceSetsToProtocol(worker.Sets(), worker.SetCount(), session.CurrentSettings(), protocol);
    session.SetProtocol(std::move(protocol));
  }
  if (front_end != nullptr) front_end->RefreshFromDocument();
  AppendOutcome(worker, outcome);
  if (outcome.Done() && worker.SetCount() == 0 && front_end != nullptr) {
    front_end->AppendOutput(std::string(kNoProtocolStoredText) + "\n");
  }
  return outcome;
}

Outcome ProgramDevice(DeviceWorker& worker) {
  constexpr Operation kOperation = Operation::kProgramDevice;
  DeviceSession& session = worker.Session();
  DeviceLink& link = worker.Link();
  if (!link.Port().IsOpen()) {
    return Outcome::Of(kOperation, Outcome::Kind::kNotConnected, Outcome::Step::kPortClosed);
  }
  FrontEnd* front_end = worker.GetFrontEnd();
  // Without a stage view there is no working sequence to commit.
  const Outcome not_committed =
      Outcome::Of(kOperation, Outcome::Kind::kCancelled, Outcome::Step::kCommit);
  if (front_end == nullptr) return not_committed;
  front_end->ClearOutput();
  if (front_end->CommitSequence() != 1) return not_committed;
  if (!session.Connected()) return NotDetected(worker, kOperation);

  worker.SetSetCount(CompileProtocol(session.Protocol(), session.CurrentSettings(), worker.Sets()));
  InstallProgress(worker, "Programming Device...");
  ProgramImage& image = worker.Image();
  image = EncodeProgramImage(worker.Sets(), worker.SetCount());
  worker.PublishImage();
  Outcome outcome = link.WriteProgramImage(image);
  outcome.operation = kOperation;
  worker.SetProgress(nullptr);
  AppendOutcome(worker, outcome);
  if (outcome.Done() && session.VerifyAfterProgramming()) return VerifyProgram(worker, image);
  return outcome;
}

}  // namespace stravon
