// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/simulated_unit_host.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"

namespace stravon::app {

bool ParseSimulateOptions(std::string_view text, SimulateOptions* options, std::string* error) {
  SimulateOptions parsed;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    const std::size_t equals = item.find('=');
    const std::string_view name = item.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
    const bool has_value = equals != std::string_view::npos && !value.empty();
    if (name == "unprogrammed" && equals == std::string_view::npos) {
      parsed.unprogrammed = true;
    } else if (name == "as" && has_value) {
      sim::UsbIdentity identity;
      if (!sim::IdentityByName(std::string(value), &identity)) {
        *error = "unknown unit kind '" + std::string(value) +
                 "' (unit, bridge, controller, tagged, board)";
        return false;
      }
      parsed.identity = value;
    } else if (name == "memory" && has_value) {
      parsed.memory_file = value;
    } else if (name == "baud" && has_value) {
      int baud = 0;
      const auto [end, result] = std::from_chars(value.data(), value.data() + value.size(), baud);
      if (result != std::errc() || end != value.data() + value.size() || baud <= 0) {
        *error = "baud wants a positive number, not '" + std::string(value) + "'";
        return false;
      }
      parsed.baud = baud;
    } else {
      *error = "unknown simulate option '" + std::string(item) +
               "' (unprogrammed, as=KIND, memory=FILE, baud=N)";
      return false;
    }
  }
  *options = std::move(parsed);
  return true;
}

SimulatedUnitHost::SimulatedUnitHost() = default;

SimulatedUnitHost::~SimulatedUnitHost() {
  unit_.reset();
  tree_.reset();
}

std::string SimulatedUnitHost::Start(const SimulateOptions& options) {
  sim::UsbIdentity identity;
  if (!sim::IdentityByName(options.identity, &identity)) {
    return "unknown unit kind '" + options.identity + "'";
  }
  tree_ = std::make_unique<sim::FixtureTree>(sim::FixtureTree::Temporary());
  if (!tree_->ok()) return "cannot make a fixture tree in the temporary folder";

  sim::UnitOptions unit_options;
  unit_options.unprogrammed = options.unprogrammed;
  unit_options.memory_file = options.memory_file;
  unit_options.pacing_baud = options.baud;
  // A program that runs for hours must not collect every exchange.
  unit_options.keep_transcript = false;
  unit_ = std::make_unique<sim::SimulatedUnit>(std::move(unit_options));
  if (const int error = unit_->Start(); error != 0) {
    if (error == EINVAL && !options.memory_file.empty()) {
      return options.memory_file + " is not a memory image of " +
             std::to_string(sim::kMemorySize) + " bytes";
    }
    return std::string("cannot start the simulated unit: ") + std::strerror(error);
  }
  tty_name_ = tree_->AddUsbPort(identity, unit_->SlavePath());
  if (tty_name_.empty()) return "cannot add the simulated unit's port to its fixture tree";
  return {};
}

PortRoots SimulatedUnitHost::Roots() const {
  if (!tree_) return {};
  return {tree_->SysfsRoot(), tree_->DevRoot()};
}

std::string SimulatedUnitHost::Where() const {
  if (!unit_ || tty_name_.empty()) return {};
  return tty_name_ + " on " + unit_->SlavePath();
}

}  // namespace stravon::app
