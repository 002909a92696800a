// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "device/ports/port_list.h"

namespace stravon {

// One tty with a device behind it, as sysfs shows it. A text is empty when
// its attribute is missing or cannot be read.
struct SysfsPort {
  std::string tty_name;
  bool usb = false;  // a USB device sits above the tty
  // Of the USB device (hexadecimal texts as sysfs writes them) and interface.
  std::string vendor_id;
  std::string product_id;
  std::string revision;
  std::string manufacturer;
  std::string product;
  std::string serial;
  std::string interface_number;
  // Driver of the tty's own device (ftdi_sio, cdc_acm, port, serial8250).
  std::string tty_driver;
  // Driver of the device that owns the port, looking past the serial core's
  // own port devices (so "serial" for a PNP0501 UART, not "port"), and that
  // device's modalias (or its PNP id).
  std::string hardware_driver;
  std::string hardware_alias;
};

// The ttys under <sysfs>/class/tty that have a device behind them, in
// natural name order, without the placeholder 8250 ports (type 0: no UART
// answered at that address). Never fails: an unreadable tree lists nothing.
std::vector<SysfsPort> ScanSysfsPorts(const PortRoots& roots);

// Whether <dev>/<tty name> can be opened for reading and writing and locked
// for exclusive use at this moment. The node is closed again at once.
bool CanOpenPortNode(const PortRoots& roots, const std::string& tty_name);

// strcmp-like order that compares runs of digits by value.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace stravon
