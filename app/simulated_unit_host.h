// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "device/ports/port_list.h"

namespace stravon::sim {
class FixtureTree;
class SimulatedUnit;
}  // namespace stravon::sim

namespace stravon::app {

// What `--simulate[=OPTIONS]` asks of the simulated unit. OPTIONS is a
// comma-separated list of the stravon-sim options that matter to a
// demonstration: unprogrammed, as=IDENTITY, memory=FILE, baud=N.
struct SimulateOptions {
  bool unprogrammed = false;
  std::string identity = "unit";
  std::string memory_file;
  int baud = 0;
};

// False, with `error` saying why, when the text is not understood.
bool ParseSimulateOptions(std::string_view text, SimulateOptions* options, std::string* error);

// A simulated unit served by this process on a pseudo-terminal, inside a
// fixture tree of its own in a temporary folder. Sessions given Roots() find
// it through their normal port detection, exactly as they find a real unit;
// nothing in the process environment changes. The unit stops, and the tree
// goes, with the host.
class SimulatedUnitHost {
 public:
  SimulatedUnitHost();
  ~SimulatedUnitHost();
  SimulatedUnitHost(const SimulatedUnitHost&) = delete;
  SimulatedUnitHost& operator=(const SimulatedUnitHost&) = delete;

  // Empty on success, otherwise what went wrong.
  std::string Start(const SimulateOptions& options);

  PortRoots Roots() const;
  // e.g. "ttyACM0 on /dev/pts/3"; empty before Start.
  std::string Where() const;
  sim::SimulatedUnit& Unit() { return *unit_; }

 private:
  // The tree outlives the unit: the unit stops first.
  std::unique_ptr<sim::FixtureTree> tree_;
  std::unique_ptr<sim::SimulatedUnit> unit_;
  std::string tty_name_;
};

}  // namespace stravon::app
