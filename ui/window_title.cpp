// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window_title.h"

#include <string_view>

namespace stravon {
namespace {

constexpr std::string_view kDash = " \u2014 ";
constexpr std::string_view kMarker = "[*]";

std::string_view LastComponent(std::string_view path) {
  const std::size_t last = path.find_last_of('/');
  return last == std::string_view::npos ? path : path.substr(last + 1);
}

// The unit as a person tells units apart: its model once its settings are
// read, and the port it is plugged into.
std::string UnitName(const UnitSnapshot& unit) {
  std::string port(LastComponent(unit.port));
  if (!unit.settings_read) return port;
  return unit.settings.ModelName() + " on " + port;
}

}  // namespace

std::string DocumentName(const DocumentTitleParts& parts) {
  const std::string_view file = LastComponent(parts.file);
  if (!file.empty()) return std::string(file);
  return "Untitled " + std::to_string(parts.untitled_number);
}

std::string DocumentWindowTitle(const DocumentTitleParts& parts) {
  std::string title = DocumentName(parts);
  title += kMarker;
  if (parts.unit) {
    title += kDash;
    title += UnitName(*parts.unit);
  }
  return title;
}

std::string MainWindowTitle(const DocumentTitleParts* active) {
  std::string title;
  if (active != nullptr) {
    title = DocumentName(*active);
    title += kMarker;
    title += kDash;
  }
  return title + "Stravon";
}

}  // namespace stravon
