// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/connection_advice.h"

#include <string>

#include <gtest/gtest.h>

namespace stravon {
namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(PermissionAdvice, SuggestsTheRuleOnlyWhereItIsMissingAndNeverHidesThePackagedOne) {
  PortRecord record;
  record.hardware_id = "USB\\VID_0403&PID_6001&REV_0600";
  const std::string missing = PermissionAdvice("/dev/ttyUSB0", &record, "");
  EXPECT_TRUE(Has(missing, "Error:  No permission to open the unit's port /dev/ttyUSB0.\n"));
  EXPECT_TRUE(Has(missing, "Install Stravon's package")) << missing;
  EXPECT_TRUE(Has(missing, "not to a remote (ssh) login")) << missing;
  EXPECT_TRUE(Has(missing, "/etc/udev/rules.d/71-stravon-local.rules")) << missing;
  EXPECT_FALSE(Has(missing, "/etc/udev/rules.d/70-stravon.rules")) << missing;
  EXPECT_TRUE(Has(missing, "ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\"")) << missing;

  const std::string installed =
      PermissionAdvice("/dev/ttyUSB0", &record, "/usr/lib/udev/rules.d/70-stravon.rules");
  EXPECT_TRUE(Has(installed, "udev rule is installed (/usr/lib/udev/rules.d/70-stravon.rules)"))
      << installed;
  EXPECT_TRUE(Has(installed, "not to a remote (ssh) login")) << installed;
  EXPECT_FALSE(Has(installed, "Install Stravon's package")) << installed;
  EXPECT_FALSE(Has(installed, "rules.d/71-stravon-local.rules")) << installed;
}

}  // namespace
}  // namespace stravon
