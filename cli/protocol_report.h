// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "device/hardware_settings.h"
#include "protocol/finding.h"
#include "protocol/test_sequence.h"
#include "ui/protocol_judgement.h"
#include "ui/stage_model.h"

namespace stravon::cli {

// Reads a protocol file for a command: the file must read as it looks (the
// strict reading). On failure returns false with the message in `error` and,
// when `findings` is given, the strict reading's findings there.
bool LoadProtocolFile(const std::string& path, TestSequence& sequence, std::string* error,
                      std::vector<Finding>* findings = nullptr);

// What the stage shows for a protocol, and how it is judged with the given
// hardware settings: the commit check refuses, the set editor's checks on the
// sets as the unit will run them warn.
struct ProtocolReport {
  std::vector<RowTexts> rows;
  std::int64_t total_seconds = 0;
  std::string total_time;
  double used_memory = 0.0;
  std::string used_memory_text;
  std::vector<Finding> findings;  // JudgeProtocol's

  bool Accepted() const { return !Refuses(findings); }
  bool HasWarnings() const { return Warns(findings); }
};

// The first refusing finding's text, as the desktop program's box shows it;
// empty when none refuses.
std::string RefusalText(const std::vector<Finding>& findings);

// The warnings for standard error: a line that says what they are, then one
// "Set N: Error:  ..." text each.
std::string WarningsText(const std::vector<Finding>& findings);

// The findings as JSON: rule, severity, set (from 1), field, value and limit,
// the lower end of a range where there is one, the line of a file's.
nlohmann::json FindingsJson(const std::vector<Finding>& findings);

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
