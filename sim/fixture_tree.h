// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stravon::sim {

// What the kernel shows of a USB serial device.
struct UsbIdentity {
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::uint16_t revision = 0;  // bcdDevice
  std::string manufacturer;    // empty: the device has no such string
  std::string product;
  std::string serial;
  int interface_number = 0;
  // Driver of the port: usb-serial drivers (ftdi_sio, cp210x, ...) give
  // ttyUSB<n> ports, cdc_acm gives ttyACM<n>.
  std::string driver = "cdc_acm";
};

// The identities stravon-sim can take on (--as unit|bridge|controller|tagged|board).
UsbIdentity UnitIdentity();        // serial string holds "vorelix3" (so does the by-id path)
UsbIdentity BridgeIdentity();      // FT232R bridge 0403:6001, driver ftdi_sio
UsbIdentity ControllerIdentity();  // 03EB:2404
UsbIdentity TaggedIdentity();      // serial string holds "zelt4417"
UsbIdentity BoardIdentity();       // 2341:0036 (product numbers 003x count as boards)
// By name as on the stravon-sim command line; false for an unknown name.
bool IdentityByName(const std::string& name, UsbIdentity* identity);

// A node target that makes the port's dev node impossible to open.
inline constexpr const char* kUnopenable = "";

// A small sysfs tree and dev tree in a folder, laid out as the kernel and
// udev lay out the real ones, for STRAVON_SYSFS_ROOT and STRAVON_DEV_ROOT.
// Every dev node is a symbolic link: to `node_target` (normally a simulator's
// pseudo-terminal slave) or, for kUnopenable, to a path that does not exist.
// Operations return false when the file system refuses (or the name is
// unknown / already taken); the tree is left as far as it got.
class FixtureTree {
 public:
  // Uses `root` (created if missing); sysfs/ and dev/ are made below it.
  explicit FixtureTree(std::string root);
  // A fresh folder under $TMPDIR (or /tmp), removed again by the destructor.
  static FixtureTree Temporary();
  ~FixtureTree();
  FixtureTree(FixtureTree&& other) noexcept;
  FixtureTree& operator=(FixtureTree&&) = delete;
  FixtureTree(const FixtureTree&) = delete;
  FixtureTree& operator=(const FixtureTree&) = delete;

  const std::string& Root() const { return root_; }
  std::string SysfsRoot() const;   // <root>/sysfs
  std::string DevRoot() const;     // <root>/dev
  bool ok() const { return ok_; }  // false when the folders could not be made

  // Adds a USB serial port; the tty name is chosen from the driver (the next
  // free ttyUSB<n> or ttyACM<n>) unless `tty_name` is given. Returns the tty
  // name, empty on failure. Also writes the udev by-id link.
  std::string AddUsbPort(const UsbIdentity& identity, const std::string& node_target,
                         const std::string& tty_name = "");
  // A port without USB, as the kernel shows 8250-style ports: with a UART
  // behind it (a PNP0501 device, driver "serial", type 4) or a placeholder
  // (platform device serial8250, type 0: no UART answered).
  bool AddPlainPort(const std::string& tty_name, bool uart_present, const std::string& node_target);
  // A tty with no device behind it (like tty0 or console).
  bool AddVirtualTty(const std::string& tty_name);

  // Re-plug: the node now points at `node_target` (kUnopenable allowed).
  bool RepointNode(const std::string& tty_name, const std::string& node_target);
  // Unplug: the tty, its device, node and by-id link disappear.
  bool RemovePort(const std::string& tty_name);

  std::string NodePath(const std::string& tty_name) const;  // <dev root>/<tty name>
  std::vector<std::string> TtyNames() const;                // in the order they were added

 private:
  struct Port {
    std::string tty_name;
    std::string device_dir;  // removed on unplug
    std::string by_id_link;  // empty for ports without USB
  };
  bool WriteNode(const std::string& tty_name, const std::string& node_target);
  std::string NextTtyName(const std::string& prefix) const;

  std::string root_;
  bool temporary_ = false;
  bool ok_ = false;
  int next_device_ = 1;  // numbers USB bus ports and PNP devices
  std::vector<Port> ports_;
};

// stravon-sim's way in: a tree at `root` with one USB port of `identity`
// whose node points at `node_target`. Returns the tty name, empty on failure.
std::string BuildSingleUnitTree(const std::string& root, const UsbIdentity& identity,
                                const std::string& node_target);

}  // namespace stravon::sim
