// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/ports/port_list.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "device/ports/sysfs_ports.h"

namespace stravon {
namespace {

bool ParseHex16(const std::string& text, unsigned* value) {
  if (text.empty() || text.size() > 4) return false;
  unsigned result = 0;
  for (const char c : text) {
    const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                      : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                                  : -1;
    if (digit < 0) return false;
    result = result * 16 + static_cast<unsigned>(digit);
  }
  *value = result;
  return true;
}

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

// The device description: the USB product string, else the driver's name.
std::string Description(const SysfsPort& port) {
  if (port.usb) return !port.product.empty() ? port.product : port.tty_driver;
  return port.hardware_driver;
}

// Empty when the identifiers cannot be read.
std::string HardwareId(const SysfsPort& port) {
  if (!port.usb) return !port.hardware_alias.empty() ? port.hardware_alias : port.hardware_driver;
  unsigned vendor = 0;
  unsigned product = 0;
  if (!ParseHex16(port.vendor_id, &vendor) || !ParseHex16(port.product_id, &product)) return {};
  // The bridge driver's own identifier form, which the detection rules expect.
  if (port.tty_driver == "ftdi_sio") {
    return "FTDIBUS\\COMPORT&VID_" + Hex4(vendor) + "&PID_" + Hex4(product);
  }
  unsigned revision = 0;
  if (!ParseHex16(port.revision, &revision)) return {};
  return "USB\\VID_" + Hex4(vendor) + "&PID_" + Hex4(product) + "&REV_" + Hex4(revision);
}

// A device string as a piece of a file name: surrounding blanks dropped,
// blanks, slashes and control characters as '_'.
std::string FileNamePart(const std::string& text) {
  const auto is_blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  const auto first = std::find_if_not(text.begin(), text.end(), is_blank);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), is_blank).base();
  std::string part = first < last ? std::string(first, last) : std::string();
  for (char& c : part) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= ' ' || u == 0x7F || c == '/') c = '_';
  }
  return part;
}

// The persistent name udev gives the port, built whether or not udev ran.
std::string DevicePath(const SysfsPort& port, const PortRoots& roots) {
  if (!port.usb) return roots.dev + "/" + port.tty_name;
  std::string name = "usb-";
  name += FileNamePart(!port.manufacturer.empty() ? port.manufacturer : port.vendor_id);
  name += "_" + FileNamePart(!port.product.empty() ? port.product : port.product_id);
  if (!port.serial.empty()) name += "_" + FileNamePart(port.serial);
  name += "-if" + (!port.interface_number.empty() ? FileNamePart(port.interface_number) : "00");
  return roots.dev + "/serial/by-id/" + name;
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

PortRoots PortRootsFromEnvironment() {
  PortRoots roots;
  if (const char* sysfs = std::getenv("STRAVON_SYSFS_ROOT"); sysfs != nullptr && *sysfs != '\0') {
    roots.sysfs = sysfs;
  }
  if (const char* dev = std::getenv("STRAVON_DEV_ROOT"); dev != nullptr && *dev != '\0') {
    roots.dev = dev;
  }
  return roots;
}

std::string PortNodePath(const PortRoots& roots, const std::string& port) {
  if (!port.empty() && port.front() == '/') return port;
  std::string path = roots.dev;
  if (path.empty() || path.back() != '/') path += '/';
  return path + port;
}

void CompletePortRecord(PortRecord* record) {
  if (record->friendly_name.empty()) record->friendly_name = record->fallback_name;

  if (record->display_name.empty()) {
    record->display_name = record->friendly_name;
    const std::string& display = record->display_name;
    const std::size_t open = display.find(" (");
    if (open != std::string::npos && open > 0 && display.find(')') == display.size() - 1) {
      record->display_name.resize(open);
    }
  }

  const std::string& friendly = record->friendly_name;
  const std::size_t marker = friendly.find("(tty");
  const std::size_t start = marker == std::string::npos ? 0 : marker + 1;
  std::size_t end = friendly.rfind(')');
  // No ")" after the name: take it to the end rather than nothing.
  if (end == std::string::npos || end < start) end = friendly.size();
  record->port_name = friendly.substr(start, end - start);
}

bool IsNumberedPortName(std::string_view name) {
  if (name.substr(0, 3) != "tty") return false;
  std::size_t i = 3;
  while (i < name.size() && std::isalpha(static_cast<unsigned char>(name[i]))) ++i;
  if (i == name.size()) return false;
  for (; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  return true;
}

void RefreshPortList(std::vector<PortRecord>* list, OpenTest open_test, const PortRoots& roots) {
  list->clear();
  for (const SysfsPort& port : ScanSysfsPorts(roots)) {
    PortRecord record;
    const std::string description = Description(port);
    record.hardware_id = HardwareId(port);
    if (description.empty() || record.hardware_id.empty()) continue;
    if (open_test == OpenTest::kDropUnopenable && !CanOpenPortNode(roots, port.tty_name)) {
      continue;
    }
    record.device_path = DevicePath(port, roots);
    record.friendly_name = description + " (" + port.tty_name + ")";
    record.usb_location = port.usb;
    record.display_name = description;
    CompletePortRecord(&record);
    list->push_back(std::move(record));
  }
}

void BuildPortList(std::vector<PortRecord>* list, const PortRoots& roots) {
  std::vector<PortRecord> interfaces;
  RefreshPortList(&interfaces, OpenTest::kDropUnopenable, roots);

  list->clear();
  for (const SysfsPort& port : ScanSysfsPorts(roots)) {
    if (!IsNumberedPortName(port.tty_name)) continue;
    PortRecord record;
    record.friendly_name = Description(port);
    record.hardware_id = HardwareId(port);
    record.port_name = port.tty_name;
    list->push_back(std::move(record));
  }
  for (PortRecord& record : *list) {
    const auto match = std::find_if(interfaces.begin(), interfaces.end(), [&](const PortRecord& r) {
      return r.port_name == record.port_name;
    });
    if (match != interfaces.end()) record.device_path = match->device_path;
  }
}

const PortRecord* FindControllerPort(const std::vector<PortRecord>& ports) {
  for (const PortRecord& port : ports) {
    if (Contains(port.device_path, "vorelix3")) return &port;
  }
  for (const PortRecord& port : ports) {
    if (Contains(port.hardware_id, "FTDIBUS") && Contains(port.hardware_id, "VID_0403") &&
        Contains(port.hardware_id, "PID_6001")) {
      return &port;
    }
  }
  return nullptr;
}

bool DetectController(std::vector<PortRecord>* port_list, std::string* port_name,
                      const PortRoots& roots) {
  RefreshPortList(port_list, OpenTest::kNone, roots);
  const PortRecord* unit = FindControllerPort(*port_list);
  if (unit == nullptr) return false;
  *port_name = unit->port_name;
  return true;
}

}  // namespace stravon
