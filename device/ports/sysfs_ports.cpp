// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/ports/sysfs_ports.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace stravon {
namespace {

namespace fs = std::filesystem;

// A sysfs attribute without its trailing line feed; empty when unreadable.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return {};
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

// The name of the driver bound to a sysfs device directory, if any.
std::string DriverName(const fs::path& device_dir) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(device_dir / "driver", ec);
  return ec ? std::string() : target.filename().string();
}

std::string SubsystemName(const fs::path& device_dir) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(device_dir / "subsystem", ec);
  return ec ? std::string() : target.filename().string();
}

bool IsWithin(const fs::path& path, const fs::path& top) {
  const auto [top_end, path_it] = std::mismatch(top.begin(), top.end(), path.begin(), path.end());
  return top_end == top.end() && path_it != path.end();
}

// Fills everything read from the tty's device and the devices above it, up
// to (not including) <sysfs>/devices.
void ReadDeviceChain(const fs::path& device_dir, const fs::path& devices_top, SysfsPort* port) {
  port->tty_driver = DriverName(device_dir);
  bool have_interface = false;
  bool have_hardware = false;
  for (fs::path dir = device_dir; IsWithin(dir, devices_top); dir = dir.parent_path()) {
    if (!have_interface && Exists(dir / "bInterfaceNumber")) {
      port->interface_number = ReadAttribute(dir / "bInterfaceNumber");
      have_interface = true;
    }
    if (!have_hardware) {
      const std::string driver = DriverName(dir);
      // The serial core puts port devices of its own between the tty and
      // the hardware (bus serial-base); their driver says nothing useful.
      if (!driver.empty() && SubsystemName(dir) != "serial-base") {
        port->hardware_driver = driver;
        port->hardware_alias = ReadAttribute(dir / "modalias");
        if (port->hardware_alias.empty()) port->hardware_alias = ReadAttribute(dir / "id");
        have_hardware = true;
      }
    }
    if (Exists(dir / "idVendor")) {
      port->usb = true;
      port->vendor_id = ReadAttribute(dir / "idVendor");
      port->product_id = ReadAttribute(dir / "idProduct");
      port->revision = ReadAttribute(dir / "bcdDevice");
      port->manufacturer = ReadAttribute(dir / "manufacturer");
      port->product = ReadAttribute(dir / "product");
      port->serial = ReadAttribute(dir / "serial");
      return;
    }
  }
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  while (i < a.size() && j < b.size()) {
    if (is_digit(a[i]) && is_digit(b[j])) {
      std::size_t i_end = i;
      std::size_t j_end = j;
      while (i_end < a.size() && is_digit(a[i_end])) ++i_end;
      while (j_end < b.size() && is_digit(b[j_end])) ++j_end;
      std::size_t i_sig = i;
      std::size_t j_sig = j;
      while (i_sig + 1 < i_end && a[i_sig] == '0') ++i_sig;
      while (j_sig + 1 < j_end && b[j_sig] == '0') ++j_sig;
      const std::string_view run_a(a.data() + i_sig, i_end - i_sig);
      const std::string_view run_b(b.data() + j_sig, j_end - j_sig);
      if (run_a.size() != run_b.size()) return run_a.size() < run_b.size();
      if (run_a != run_b) return run_a < run_b;
      i = i_end;
      j = j_end;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
  return a < b;  // "ttyS01" against "ttyS1": any fixed order
}

std::vector<SysfsPort> ScanSysfsPorts(const PortRoots& roots) {
  std::vector<SysfsPort> ports;
  std::error_code ec;
  const fs::path sysfs = fs::canonical(roots.sysfs, ec);
  if (ec) return ports;
  const fs::path devices_top = sysfs / "devices";

  std::vector<std::string> names;
  fs::directory_iterator it(sysfs / "class" / "tty", ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(), NaturalLess);

  for (const std::string& name : names) {
    const fs::path tty_dir = sysfs / "class" / "tty" / name;
    std::error_code link_ec;
    const fs::path device_dir = fs::canonical(tty_dir / "device", link_ec);
    if (link_ec) continue;  // virtual consoles, ptmx, ...: nothing behind them
    // Every 8250 port the driver reserved shows up, UART or not; only ports
    // where a UART was found have a type other than 0 (unknown).
    if (ReadAttribute(tty_dir / "type") == "0") continue;
    SysfsPort port;
    port.tty_name = name;
    ReadDeviceChain(device_dir, devices_top, &port);
    ports.push_back(std::move(port));
  }
  return ports;
}

bool CanOpenPortNode(const PortRoots& roots, const std::string& tty_name) {
  const std::string path = PortNodePath(roots, tty_name);
  int fd;
  do {
    // Non-blocking so that a port without carrier does not hold the open.
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  ::close(fd);
  return locked == 0;
}

}  // namespace stravon
