#include "device/device_transfers.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "device/device_session.h"
#include "device/device_worker.h"
#include "device/program_image.h"

namespace stravon {
namespace {

void Append(DeviceSession& document, const std::string& text) {
  if (FrontEnd* front_end = document.GetFrontEnd()) front_end->AppendOutput(text);
}

void InstallProgress(DeviceSession& document, const char* text) {
  document.Link().SetProgressCallback(
      [&document](int position, int range) { return ReadProgress(position, range, document); });
  FrontEnd* front_end = document.GetFrontEnd();
  document.SetProgress(front_end != nullptr ? front_end->CreateProgressWindow(text) : nullptr);
}

}  // namespace

int ReadProgress(int /*position*/, int range, DeviceSession& document) {
  ProgressWindow* window = document.Progress();
  if (window == nullptr) return 0;
  if (range > 0) {
    window->SetBounds(0, range);
    window->SetStepSize(1);
  }
  window->Advance();
  window->PumpPendingMessages();
  // A closing document ends the transfer as a cancel would.
  return window->IsCancelled() || document.Ending() ? -1 : 1;
}

void ReadDevice(DeviceSession& document) {
  DeviceLink& link = document.Link();
  if (!document.HardwareSettingsRead() || !link.Port().IsOpen()) return;
  FrontEnd* front_end = document.GetFrontEnd();
  if (front_end != nullptr) front_end->ClearOutput();
  if (!document.Connected()) {
    if (front_end != nullptr) {
      front_end->ShowMessageBox(FrontEnd::MessageKind::kError, kMessageCaption,
                                kDeviceNotDetectedMessage);
    }
    return;
  }

  document.Sets().fill(DeviceSet{});
  InstallProgress(document, "Reading Device...");
  ProgramImage& image = document.ProgramBytes();
  ReadProgress(0, static_cast<int>(image.size()), document);
  bool complete = true;
  for (std::size_t i = 0; i < image.size(); ++i) {
    const auto address = static_cast<std::uint16_t>(kProgramImageAddress + i);
    if (link.ReadByte(address, &image[i]) != 0 ||
        ReadProgress(static_cast<int>(i), 0, document) == -1) {
      complete = false;
      break;
    }
  }
  if (complete) document.SetSetCount(DecodeProgramImage(image, document.Sets()));
  document.SetProgress(nullptr);

  if (complete) {
    TestSequence protocol = document.Protocol();
    DeviceSetsToProtocol(document.Sets(), document.SetCount(), document.CurrentSettings(),
                         protocol);
    document.SetProtocol(std::move(protocol));
  }
  if (front_end != nullptr) front_end->RefreshFromDocument();
  Append(document, complete ? "\nReading Device... Success\n" : "\nReading Device... Cancelled\n");
}

void ProgramDevice(DeviceSession& document) {
  DeviceLink& link = document.Link();
  if (!link.Port().IsOpen()) return;
  FrontEnd* front_end = document.GetFrontEnd();
  // Without a stage view there is no working sequence to commit.
  if (front_end == nullptr) return;
  front_end->ClearOutput();
  if (front_end->CommitSequence() != 1) return;
  if (!document.Connected()) {
    front_end->ShowMessageBox(FrontEnd::MessageKind::kError, kMessageCaption,
                              kDeviceNotDetectedMessage);
    return;
  }

  document.SetSetCount(
      CompileProtocol(document.Protocol(), document.CurrentSettings(), document.Sets()));
  InstallProgress(document, "Programming Device...");
  ProgramImage& image = document.ProgramBytes();
  image = EncodeProgramImage(document.Sets(), document.SetCount());
  const int result = link.WriteProgramImage(image);
  document.SetProgress(nullptr);
  Append(document,
         result == 1 ? "\nProgramming Device... Success\n" : "\nProgramming Device... Cancelled\n");
}

}  // namespace stravon
