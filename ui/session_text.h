// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "device/session_event.h"
#include "device/session_request.h"

namespace stravon {

// The texts a person reads for what a device session did: the output pane's
// lines and the message boxes, the same for every front end.

inline constexpr const char* kMessageCaption = "Stravon";
inline constexpr const char* kDeviceNotDetectedMessage =
    "Stravon Device Not Detected.\nPlease ensure that the device is powered on and all cables "
    "are properly connected\n";
// Said after a Read Device that found no set in the unit (never programmed,
// erased, or cleared by a Program Device that did not finish).
inline constexpr const char* kNoProtocolStoredText = "No protocol stored in the unit.";

// The title of a transfer's progress window ("Reading Device...").
std::string ProgressTitle(TransferPhase phase);

// What the output pane shows when a request ends; empty for none.
std::string FinishedText(const FinishedEvent& finished);

// The error box of a request whose failure must not pass unnoticed (a
// verify that found the unit holding other bytes, a move the unit refused
// or that did not stop); empty for the others.
std::string FailureBoxText(const FinishedEvent& finished);

// The error box of a jog whose start or stop failed (the command the unit
// refused or did not answer, and why; whether it may still be moving);
// empty for a jog that ended well.
std::string JogFailureText(const JogStoppedEvent& stopped);

// What the output pane shows once a unit is connected: its model line, or
// why its settings could not be read.
std::string ConnectedText(const UnitSnapshot& unit);

// The pane's lines for a port that could not be taken; empty for none.
std::string ConnectionFailedText(const ConnectionFailedEvent& failed);

// A notice's message box: caption and text.
struct MessageText {
  std::string caption;
  std::string text;
};
MessageText NoticeText(const UnitNoticeEvent& notice);

// What a status bar says of the connection after `event`: the unit and its
// port, or why there is none (kept until the next such event, so that the
// cause does not scroll away with the output pane); nothing for events that
// do not change it.
std::optional<std::string> ConnectionStatusText(const SessionEvent& event);

// Why a request was refused, for a message box or the command line; empty
// for refusals a person need not be told of.
std::string RefusalText(Refusal refusal);

}  // namespace stravon
