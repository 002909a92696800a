// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/connection_advice.h"

#include <grp.h>
#include <sys/stat.h>

#include <array>
#include <cctype>

namespace stravon {
namespace {

// Where the package and an install from source put the rule, and where an
// administrator's copy would be.
constexpr std::array<const char*, 4> kRulePlaces = {
    "/usr/lib/udev/rules.d/70-stravon.rules", "/lib/udev/rules.d/70-stravon.rules",
    "/usr/local/lib/udev/rules.d/70-stravon.rules", "/etc/udev/rules.d/70-stravon.rules"};

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

std::string InstalledUdevRule() {
  for (const char* place : kRulePlaces) {
    struct stat status {};
    if (stat(place, &status) == 0) return place;
  }
  return "";
}

std::string PermissionAdvice(const std::string& path, const PortRecord* record,
                             const std::string& installed_rule) {
  std::string text = "Error:  No permission to open the unit's port " + path + ".\n";
  // The rule's uaccess tag hands the node to whoever sits at this computer's
  // own seat; a login over the network is not given it.
  const char* seat =
      "it gives the port to the person logged in at this computer's own screen and keyboard, "
      "not to a remote (ssh) login";
  if (!installed_rule.empty()) {
    text += "Stravon's udev rule is installed (" + installed_rule + "): " + seat +
            ". Unplug the unit and plug it in again if it was attached before the rule.";
  } else {
    text += "Install Stravon's package, which brings its udev rule; " + std::string(seat) + ".";
  }
  const std::string group = AccessGroup(path);
  if (!group.empty()) {
    text += "\nOr add your user to the group that owns the port: sudo usermod -aG " + group +
            " \"$USER\"\n(then log out and in again: a new group counts only from the next login).";
  }
  if (!installed_rule.empty()) return text;
  // Named apart from the packaged rule, which a file of the same name in
  // /etc would hide.
  text += "\nWithout the package, a rule of your own, for example in "
          "/etc/udev/rules.d/71-stravon-local.rules:\n  SUBSYSTEM==\"tty\"";
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
