// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/port_claim.h"

#include <sys/stat.h>

#include <mutex>
#include <set>
#include <tuple>

namespace stravon {
namespace {

using Key = std::tuple<unsigned long long, unsigned long long, std::string>;

struct Registry {
  std::mutex mutex;
  std::set<Key> held;
};

Registry& Ports() {
  static Registry registry;
  return registry;
}

// Character devices by their device number, other nodes by their inode.
Key KeyOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {0, 0, path};
  if (S_ISCHR(info.st_mode)) return {static_cast<unsigned long long>(info.st_rdev), 0, ""};
  return {static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino),
          ""};
}

}  // namespace

bool PortClaim::Claim(const std::string& path) {
  Release();
  const Key key = KeyOf(path);
  Registry& registry = Ports();
  std::lock_guard lock(registry.mutex);
  if (!registry.held.insert(key).second) return false;
  std::tie(device_, inode_, name_) = key;
  held_ = true;
  return true;
}

void PortClaim::Release() {
  if (!held_) return;
  Registry& registry = Ports();
  std::lock_guard lock(registry.mutex);
  registry.held.erase(Key{device_, inode_, name_});
  held_ = false;
}

}  // namespace stravon
