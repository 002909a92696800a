// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/fixture_tree.h"

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

namespace stravon::sim {
namespace {

namespace fs = std::filesystem;

std::string Hex4(unsigned value, bool upper = false) {
  char text[8];
  std::snprintf(text, sizeof text, upper ? "%04X" : "%04x", value);
  return text;
}

std::string Hex2(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02x", value & 0xFF);
  return text;
}

// Writes `text` and a line feed, as sysfs shows attributes.
bool WriteAttribute(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text << '\n';
  return static_cast<bool>(out.flush());
}

bool MakeDirs(const fs::path& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  return !ec;
}

// A symbolic link at `link` to `target`, relative like the kernel's own
// links; replaces whatever was at `link`.
bool Link(const fs::path& link, const fs::path& target, bool relative = true) {
  std::error_code ec;
  fs::remove(link, ec);
  const fs::path to = relative ? fs::relative(target, link.parent_path(), ec) : target;
  if (ec) return false;
  fs::create_symlink(to, link, ec);
  return !ec;
}

// The by-id file name udev would give a USB serial port.
std::string ByIdName(const UsbIdentity& id) {
  const auto part = [](const std::string& text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    std::string out = first < last ? std::string(first, last) : std::string();
    for (char& c : out) {
      const auto u = static_cast<unsigned char>(c);
      if (u <= ' ' || u == 0x7F || c == '/') c = '_';
    }
    return out;
  };
  std::string name = "usb-" + part(!id.manufacturer.empty() ? id.manufacturer : Hex4(id.vendor_id));
  name += "_" + part(!id.product.empty() ? id.product : Hex4(id.product_id));
  if (!id.serial.empty()) name += "_" + part(id.serial);
  return name + "-if" + Hex2(id.interface_number);
}

UsbIdentity MakeIdentity(std::uint16_t vendor, std::uint16_t product, std::uint16_t revision,
                         std::string manufacturer, std::string product_name, std::string serial,
                         std::string driver) {
  UsbIdentity id;
  id.vendor_id = vendor;
  id.product_id = product;
  id.revision = revision;
  id.manufacturer = std::move(manufacturer);
  id.product = std::move(product_name);
  id.serial = std::move(serial);
  id.driver = std::move(driver);
  return id;
}

}  // namespace

UsbIdentity UnitIdentity() {
  return MakeIdentity(0x1209, 0x7A31, 0x0100, "Stretch Lab", "Stretcher Control Unit",
                      "vorelix3-0001", "cdc_acm");
}
UsbIdentity BridgeIdentity() {
  return MakeIdentity(0x0403, 0x6001, 0x0600, "FTDI", "FT232R USB UART", "A50285BI", "ftdi_sio");
}
UsbIdentity ControllerIdentity() {
  return MakeIdentity(0x03EB, 0x2404, 0x0100, "Lab Controls", "Variant Controller", "C0417001",
                      "cdc_acm");
}
UsbIdentity TaggedIdentity() {
  return MakeIdentity(0x1209, 0x7A32, 0x0100, "Lab Controls", "Tagged Controller", "zelt4417-0001",
                      "cdc_acm");
}
UsbIdentity BoardIdentity() {
  return MakeIdentity(0x2341, 0x0036, 0x0001, "Microcontroller Board", "Board 0036",
                      "95730333930351F0E1D1", "cdc_acm");
}

bool IdentityByName(const std::string& name, UsbIdentity* identity) {
  static const std::pair<const char*, UsbIdentity (*)()> kIdentities[] = {
      {"unit", UnitIdentity},     {"bridge", BridgeIdentity}, {"controller", ControllerIdentity},
      {"tagged", TaggedIdentity}, {"board", BoardIdentity},
  };
  for (const auto& [known, make] : kIdentities) {
    if (name == known) {
      *identity = make();
      return true;
    }
  }
  return false;
}

FixtureTree::FixtureTree(std::string root) : root_(std::move(root)) {
  ok_ = MakeDirs(fs::path(SysfsRoot()) / "class" / "tty") &&
        MakeDirs(fs::path(SysfsRoot()) / "devices") &&
        MakeDirs(fs::path(DevRoot()) / "serial" / "by-id");
}

FixtureTree FixtureTree::Temporary() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/stravon-fixture-XXXXXX";
  std::string root;
  if (::mkdtemp(pattern.data()) != nullptr) root = pattern;
  FixtureTree tree(root.empty() ? pattern : root);
  tree.temporary_ = !root.empty();
  if (root.empty()) tree.ok_ = false;
  return tree;
}

FixtureTree::~FixtureTree() {
  if (temporary_ && !root_.empty()) {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
}

FixtureTree::FixtureTree(FixtureTree&& other) noexcept
    : root_(std::move(other.root_)),
      temporary_(std::exchange(other.temporary_, false)),
      ok_(other.ok_),
      next_device_(other.next_device_),
      ports_(std::move(other.ports_)) {}

std::string FixtureTree::SysfsRoot() const { return root_ + "/sys"; }
std::string FixtureTree::DevRoot() const { return root_ + "/dev"; }
std::string FixtureTree::NodePath(const std::string& tty_name) const {
  return DevRoot() + "/" + tty_name;
}

std::vector<std::string> FixtureTree::TtyNames() const {
  std::vector<std::string> names;
  for (const Port& port : ports_) names.push_back(port.tty_name);
  return names;
}

std::string FixtureTree::NextTtyName(const std::string& prefix) const {
  for (int n = 0;; ++n) {
    const std::string name = prefix + std::to_string(n);
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(fs::path(SysfsRoot()) / "class" / "tty" / name, ec))) {
      return name;
    }
  }
}

bool FixtureTree::WriteNode(const std::string& tty_name, const std::string& node_target) {
  // A link into a folder that is never created cannot be opened, also not by root.
  const std::string target = node_target.empty() ? root_ + "/unplugged/" + tty_name : node_target;
  return Link(NodePath(tty_name), target, /*relative=*/false);
}

std::string FixtureTree::AddUsbPort(const UsbIdentity& identity, const std::string& node_target,
                                    const std::string& tty_name) {
  if (!ok_) return {};
  const bool acm = identity.driver == "cdc_acm";
  const std::string name = !tty_name.empty() ? tty_name : NextTtyName(acm ? "ttyACM" : "ttyUSB");
  const fs::path sysfs = SysfsRoot();
  std::error_code ec;
  if (fs::exists(fs::symlink_status(sysfs / "class" / "tty" / name, ec))) return {};

  const std::string bus_port = "1-" + std::to_string(next_device_++);
  const fs::path usb_dir = sysfs / "devices/pci0000:00/0000:00:14.0/usb1" / bus_port;
  const fs::path interface_dir =
      usb_dir / (bus_port + ":1." + std::to_string(identity.interface_number));
  // usb-serial drivers put a port device of their own between the interface
  // and the tty; cdc_acm hangs the tty off the interface.
  const fs::path port_dir = acm ? interface_dir : interface_dir / name;
  const fs::path tty_dir = port_dir / "tty" / name;

  bool ok = MakeDirs(tty_dir) && MakeDirs(sysfs / "bus/usb/drivers" / identity.driver) &&
            MakeDirs(sysfs / "bus/usb-serial/drivers" / identity.driver);
  ok = ok && WriteAttribute(usb_dir / "idVendor", Hex4(identity.vendor_id)) &&
       WriteAttribute(usb_dir / "idProduct", Hex4(identity.product_id)) &&
       WriteAttribute(usb_dir / "bcdDevice", Hex4(identity.revision));
  if (!identity.manufacturer.empty()) {
    ok = ok && WriteAttribute(usb_dir / "manufacturer", identity.manufacturer);
  }
  if (!identity.product.empty()) ok = ok && WriteAttribute(usb_dir / "product", identity.product);
  if (!identity.serial.empty()) ok = ok && WriteAttribute(usb_dir / "serial", identity.serial);
  ok = ok && Link(usb_dir / "subsystem", sysfs / "bus/usb") &&
       WriteAttribute(interface_dir / "bInterfaceNumber", Hex2(identity.interface_number)) &&
       Link(interface_dir / "driver", sysfs / "bus/usb/drivers" / identity.driver) &&
       Link(interface_dir / "subsystem", sysfs / "bus/usb");
  if (!acm) {
    ok = ok && Link(port_dir / "driver", sysfs / "bus/usb-serial/drivers" / identity.driver) &&
         Link(port_dir / "subsystem", sysfs / "bus/usb-serial");
  }
  ok = ok && Link(tty_dir / "device", port_dir) && Link(sysfs / "class" / "tty" / name, tty_dir) &&
       WriteNode(name, node_target);
  const fs::path by_id = fs::path(DevRoot()) / "serial" / "by-id" / ByIdName(identity);
  ok = ok && Link(by_id, NodePath(name));
  ports_.push_back({name, usb_dir.string(), by_id.string()});
  return ok ? name : std::string();
}

bool FixtureTree::AddPlainPort(const std::string& tty_name, bool uart_present,
                               const std::string& node_target) {
  if (!ok_) return false;
  const fs::path sysfs = SysfsRoot();
  std::error_code ec;
  if (fs::exists(fs::symlink_status(sysfs / "class" / "tty" / tty_name, ec))) return false;
  // A UART found at boot is a PNP0501 device of its own; the placeholders
  // all hang off the one serial8250 platform device.
  const fs::path device_dir =
      uart_present ? sysfs / "devices/pnp0" / ("00:" + std::to_string(10 + next_device_++))
                   : sysfs / "devices/platform/serial8250";
  const fs::path tty_dir = device_dir / "tty" / tty_name;
  bool ok = MakeDirs(tty_dir);
  if (uart_present) {
    ok = ok && MakeDirs(sysfs / "bus/pnp/drivers/serial") &&
         WriteAttribute(device_dir / "id", "PNP0501") &&
         Link(device_dir / "driver", sysfs / "bus/pnp/drivers/serial") &&
         Link(device_dir / "subsystem", sysfs / "bus/pnp");
  } else {
    ok = ok && MakeDirs(sysfs / "bus/platform/drivers/serial8250") &&
         WriteAttribute(device_dir / "modalias", "platform:serial8250") &&
         Link(device_dir / "driver", sysfs / "bus/platform/drivers/serial8250") &&
         Link(device_dir / "subsystem", sysfs / "bus/platform");
  }
  ok = ok && WriteAttribute(tty_dir / "type", uart_present ? "4" : "0") &&
       Link(tty_dir / "device", device_dir) && Link(sysfs / "class" / "tty" / tty_name, tty_dir) &&
       WriteNode(tty_name, node_target);
  ports_.push_back({tty_name, uart_present ? device_dir.string() : tty_dir.string(), ""});
  return ok;
}

bool FixtureTree::AddVirtualTty(const std::string& tty_name) {
  if (!ok_) return false;
  const fs::path sysfs = SysfsRoot();
  const fs::path tty_dir = sysfs / "devices/virtual/tty" / tty_name;
  const bool ok = MakeDirs(tty_dir) && WriteAttribute(tty_dir / "dev", "4:0") &&
                  Link(sysfs / "class" / "tty" / tty_name, tty_dir);
  ports_.push_back({tty_name, tty_dir.string(), ""});
  return ok;
}

bool FixtureTree::RepointNode(const std::string& tty_name, const std::string& node_target) {
  const auto known = std::find_if(ports_.begin(), ports_.end(),
                                  [&](const Port& port) { return port.tty_name == tty_name; });
  return known != ports_.end() && WriteNode(tty_name, node_target);
}

bool FixtureTree::RemovePort(const std::string& tty_name) {
  const auto known = std::find_if(ports_.begin(), ports_.end(),
                                  [&](const Port& port) { return port.tty_name == tty_name; });
  if (known == ports_.end()) return false;
  std::error_code ec;
  bool ok = fs::remove(fs::path(SysfsRoot()) / "class" / "tty" / tty_name, ec) && !ec;
  fs::remove_all(known->device_dir, ec);
  ok = ok && !ec;
  fs::remove(NodePath(tty_name), ec);
  ok = ok && !ec;
  if (!known->by_id_link.empty()) {
    fs::remove(known->by_id_link, ec);
    ok = ok && !ec;
  }
  ports_.erase(known);
  return ok;
}

std::string BuildSingleUnitTree(const std::string& root, const UsbIdentity& identity,
                                const std::string& node_target) {
  FixtureTree tree(root);
  return tree.AddUsbPort(identity, node_target);
}

}  // namespace stravon::sim
