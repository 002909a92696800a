// SPDX-License-Identifier: GPL-3.0-or-later
// ports: the port records as the core lists them, the unit's port marked.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/protocol_report.h"
#include "device/ports/port_list.h"
#include "ui/finding_text.h"

namespace stravon::cli {
namespace {

// USB descriptors are the device maker's bytes.
std::string Shown(const std::string& text) { return text.empty() ? "(none)" : Escaped(text); }

}  // namespace

int RunPorts(Console& console, bool json) {
  const PortRoots roots = PortRootsFromEnvironment();
  std::vector<PortRecord> ports;
  RefreshPortList(&ports, OpenTest::kNone, roots);
  const PortRecord* unit = FindControllerPort(ports);

  if (json) {
    nlohmann::json list = nlohmann::json::array();
    for (const PortRecord& port : ports) {
      list.push_back({{"port_name", port.port_name},
                      {"friendly_name", port.friendly_name},
                      {"display_name", port.display_name},
                      {"device_path", port.device_path},
                      {"hardware_id", port.hardware_id},
                      {"usb_location", port.usb_location},
                      {"fallback_name", port.fallback_name},
                      {"unit", &port == unit}});
    }
    console.Result(JsonText(list));
    return kExitDone;
  }

  std::string text;
  for (const PortRecord& port : ports) {
    text += (&port == unit ? "* " : "  ") + Escaped(port.port_name) +
            (&port == unit ? "  (the unit, as detection picks it)" : "") + "\n";
    text += "      friendly name:  " + Shown(port.friendly_name) + "\n";
    text += "      display name:   " + Shown(port.display_name) + "\n";
    text += "      device path:    " + Shown(port.device_path) + "\n";
    text += "      hardware id:    " + Shown(port.hardware_id) + "\n";
    text += std::string("      on USB:         ") + (port.usb_location ? "yes" : "no") + "\n";
    text += "      fallback name:  " + Shown(port.fallback_name) + "\n";
  }
  if (ports.empty()) text = "No serial ports.\n";
  console.Result(text);
  if (unit == nullptr) console.Note("No control unit detected.\n");
  return kExitDone;
}

}  // namespace stravon::cli
