// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/connection_advice.h"

#include <grp.h>
#include <sys/stat.h>

#include <cctype>

namespace stravon {
namespace {

// Where the package puts its rule; installs from source put it below
// /usr/local/lib instead.
constexpr const char* kInstalledRule = "/usr/lib/udev/rules.d/70-stravon.rules";

// The group that may read and write the node, when there is one to join.
std::string AccessGroup(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || status.st_gid == 0) return "";
  const mode_t group_rw = S_IRGRP | S_IWGRP;
  if ((status.st_mode & group_rw) != group_rw) return "";
  const group* entry = getgrgid(status.st_gid);
  return entry != nullptr ? entry->gr_name : "";
}

// "VID_0403" -> "0403"; empty when the hardware id has no such part.
std::string IdPart(const std::string& hardware_id, const std::string& key) {
  const std::size_t at = hardware_id.find(key);
  if (at == std::string::npos || at + key.size() + 4 > hardware_id.size()) return "";
  std::string id = hardware_id.substr(at + key.size(), 4);
  for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return id;
}

}  // namespace

std::string PermissionAdvice(const std::string& path, const PortRecord* record) {
  std::string text = "Error:  No permission to open the unit's port " + path + ".\n";
  text += std::string("Install Stravon's udev rule (") + kInstalledRule +
          ", part of the package)";
  const std::string group = AccessGroup(path);
  if (!group.empty()) {
    text += ",\nor add your user to the group that owns the port: sudo usermod -aG " + group +
            " \"$USER\"\n(then log out and in again: a new group counts only from the next login)";
  }
  text += ".\nA rule of your own, for example in /etc/udev/rules.d/70-stravon.rules:\n"
          "  SUBSYSTEM==\"tty\"";
  const std::string vendor = record ? IdPart(record->hardware_id, "VID_") : "";
  const std::string product = record ? IdPart(record->hardware_id, "PID_") : "";
  if (!vendor.empty() && !product.empty()) {
    text += ", ATTRS{idVendor}==\"" + vendor + "\", ATTRS{idProduct}==\"" + product + "\"";
  }
  text += ", TAG+=\"uaccess\"\nthen: sudo udevadm control --reload && sudo udevadm trigger";
  return text;
}

std::string ConnectionFailureText(const std::string& path, const Outcome& outcome,
                                  const PortRecord* record) {
  if (outcome.step != Outcome::Step::kOpenPort && outcome.step != Outcome::Step::kIdentify) {
    return "";
  }
  switch (outcome.Why()) {
    case Outcome::Cause::kNoPermission:
      return PermissionAdvice(path, record);
    case Outcome::Cause::kNoAnswer:
      return "Error:  The unit on " + path +
             " does not answer; check that it is powered on and its cable is connected.";
    case Outcome::Cause::kCancelled:
      return "";
    default:
      return "Error:  Cannot connect to the unit on " + path + ": " + CauseText(outcome) + ".";
  }
}

}  // namespace stravon
