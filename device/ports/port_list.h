// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace stravon {

// One serial port and the device strings the system holds for it.
struct PortRecord {
  // Persistent name to open the port by (/dev/serial/by-id/usb-..., or
  // /dev/<tty> for a port without USB); empty when none was found.
  std::string device_path;
  // Always empty when listed; stands in for an empty friendly name.
  std::string fallback_name;
  // "<product> (<tty>)"; in BuildPortList's records the bare description.
  std::string friendly_name;
  // USB\VID_xxxx&PID_xxxx&REV_xxxx, or FTDIBUS\COMPORT&VID_xxxx&PID_xxxx
  // behind an ftdi_sio driver, so that the detection rules match as written.
  std::string hardware_id;
  bool usb_location = false;  // the port sits on a USB device
  std::string display_name;
  std::string port_name;  // kernel tty name, e.g. ttyUSB0
};

// Where sysfs and the device nodes are. The real ones unless the environment
// names others (STRAVON_SYSFS_ROOT, STRAVON_DEV_ROOT), which tests and the
// simulator use for fixture trees.
struct PortRoots {
  std::string sysfs = "/sys";
  std::string dev = "/dev";
};
PortRoots PortRootsFromEnvironment();

// The device node to open for a port: a kernel tty name ("ttyUSB0") under the
// dev root, or an absolute path as it is.
std::string PortNodePath(const PortRoots& roots, const std::string& port);

enum class OpenTest {
  kNone,
  // Leave out every port whose node cannot be opened for exclusive use right
  // now (missing, refused, or held by another program).
  kDropUnopenable,
};

// Lists the serial ports that have a device behind them, ttys in natural name
// order (ttyACM2 before ttyACM10), each completed by CompletePortRecord. Ports
// whose device strings cannot be read are left out. Nothing is cached.
void RefreshPortList(std::vector<PortRecord>* list, OpenTest open_test = OpenTest::kNone,
                     const PortRoots& roots = PortRootsFromEnvironment());

// The console utility's list: every numbered port with a real device behind
// it (placeholder 8250 ports are not listed), with friendly name = device
// description and an empty display name, completed with the device path of
// the same port from RefreshPortList(kDropUnopenable), or empty when that
// port's node could not be opened.
void BuildPortList(std::vector<PortRecord>* list,
                   const PortRoots& roots = PortRootsFromEnvironment());

// Refreshes `port_list` and picks the control unit's port: the first whose
// device path contains "vorelix3", else the first FT232R bridge. On success
// stores its port name in `port_name` and returns true; otherwise leaves
// `port_name` as it was.
bool DetectController(std::vector<PortRecord>* port_list, std::string* port_name,
                      const PortRoots& roots = PortRootsFromEnvironment());

// The choice DetectController makes, on a given list; nullptr when none.
const PortRecord* FindControllerPort(const std::vector<PortRecord>& ports);

// Fills the derived fields of a listed record: friendly name from the
// fallback name, display name from the friendly name without its trailing
// "(...)", port name from the "(tty...)" part of the friendly name.
void CompletePortRecord(PortRecord* record);

// A tty name that counts as a numbered port: "tty", optional letters, then
// decimal digits to the end (ttyS0, ttyUSB12; not ttyS1A, ttyUSB, lp1).
bool IsNumberedPortName(std::string_view name);

}  // namespace stravon
