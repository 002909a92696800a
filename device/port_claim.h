// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace stravon {

// A port held by one device session of this process. The port's own lock
// keeps other processes out, but to this process a second session's failed
// open looks the same as another program's; the claim tells the two apart,
// so that the second window can say the unit is in use by the first.
//
// Ports are told apart by their device (a node reached through another path
// or a link is the same port). Thread-safe; a claim is released when it is
// destroyed.
class PortClaim {
 public:
  PortClaim() = default;
  ~PortClaim() { Release(); }
  PortClaim(const PortClaim&) = delete;
  PortClaim& operator=(const PortClaim&) = delete;

  // False when another claim of this process holds the port at `path`. A
  // path that names no node is claimed by its name (the open then fails
  // with its own cause). Claiming again first releases the held port.
  bool Claim(const std::string& path);
  void Release();
  bool Held() const { return held_; }

 private:
  bool held_ = false;
  unsigned long long device_ = 0;
  unsigned long long inode_ = 0;
  std::string name_;
};

}  // namespace stravon
