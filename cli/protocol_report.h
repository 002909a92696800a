// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "device/hardware_settings.h"
#include "protocol/test_sequence.h"
#include "ui/protocol_judgement.h"
#include "ui/stage_model.h"

namespace stravon::cli {

// Reads a protocol file for a command: the file must read as it looks (see
// LintProtocolText). On failure returns false with the message in `error`.
bool LoadProtocolFile(const std::string& path, TestSequence& sequence, std::string* error);

// What the stage shows for a protocol, and how it is judged with the given
// hardware settings: the commit check refuses, the set editor's checks on the
// sets as the unit will run them warn.
struct ProtocolReport {
  std::vector<RowTexts> rows;
  std::int32_t total_seconds = 0;
  std::string total_time;
  double used_memory = 0.0;
  std::string used_memory_text;
  ProtocolJudgement judgement;

  bool Accepted() const { return judgement.committable; }
  bool HasWarnings() const { return judgement.HasWarnings(); }
};

// The warnings for standard error: a line that says what they are, then one
// "Set N: Error:  ..." text each.
std::string WarningsText(const ProtocolJudgement& judgement);

ProtocolReport CheckProtocol(const TestSequence& sequence, const HardwareSettings& settings);

// The report as a table for a terminal, and as JSON.
std::string ReportText(const ProtocolReport& report, const HardwareSettings& settings,
                       const std::string& settings_source);
nlohmann::json ReportJson(const ProtocolReport& report, const HardwareSettings& settings,
                          const std::string& settings_source);

// Indented JSON and a line break. Texts from the unit need not be UTF-8;
// bytes that are not are replaced rather than thrown over.
std::string JsonText(const nlohmann::json& json);

// A single-precision value as short as it reads back exactly (0.003175, not
// 0.00317499996), as text and as a JSON number.
std::string ShortText(float value);
nlohmann::json ShortNumber(float value);

}  // namespace stravon::cli
