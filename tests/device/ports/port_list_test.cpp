// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/ports/port_list.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/fixture_tree.h"

namespace stravon {
namespace {

namespace fs = std::filesystem;

// A tree whose nodes all point at one real, openable file: enough for the
// listing, which only opens and locks them.
class PortListTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tree_.ok());
    node_target_ = tree_.Root() + "/node";
    std::ofstream(node_target_).put('\n');
    roots_.sysfs = tree_.SysfsRoot();
    roots_.dev = tree_.DevRoot();
  }

  // A node target of its own, for a port that another program will hold.
  std::string OwnNode(const std::string& name) {
    const std::string path = tree_.Root() + "/" + name + ".node";
    std::ofstream(path).put('\n');
    return path;
  }

  std::vector<PortRecord> Refresh(OpenTest test = OpenTest::kNone) {
    std::vector<PortRecord> list{PortRecord{}};  // stale content must go
    RefreshPortList(&list, test, roots_);
    return list;
  }
  std::vector<PortRecord> Build() {
    std::vector<PortRecord> list{PortRecord{}};
    BuildPortList(&list, roots_);
    return list;
  }
  // The sysfs directory of the USB device behind a tty.
  fs::path UsbDeviceDir(const std::string& tty) {
    fs::path dir = fs::canonical(fs::path(roots_.sysfs) / "class/tty" / tty / "device");
    while (!fs::exists(dir / "idVendor")) dir = dir.parent_path();
    return dir;
  }

  sim::FixtureTree tree_ = sim::FixtureTree::Temporary();
  std::string node_target_;
  PortRoots roots_;
};

std::vector<std::string> PortNames(const std::vector<PortRecord>& list) {
  std::vector<std::string> names;
  for (const PortRecord& record : list) names.push_back(record.port_name);
  return names;
}

TEST_F(PortListTest, RefreshListsRealPortsWithTheirDeviceStrings) {
  tree_.AddVirtualTty("tty0");
  ASSERT_TRUE(tree_.AddPlainPort("ttyS0", /*uart_present=*/true, node_target_));
  ASSERT_TRUE(tree_.AddPlainPort("ttyS1", /*uart_present=*/false, node_target_));
  ASSERT_EQ(tree_.AddUsbPort(sim::BridgeIdentity(), node_target_), "ttyUSB0");
  ASSERT_EQ(tree_.AddUsbPort(sim::BoardIdentity(), node_target_, "ttyACM10"), "ttyACM10");
  ASSERT_EQ(tree_.AddUsbPort(sim::ControllerIdentity(), node_target_), "ttyACM0");
  sim::UsbIdentity bare = sim::ControllerIdentity();
  bare.manufacturer.clear();
  bare.product.clear();
  bare.serial.clear();
  bare.interface_number = 2;
  ASSERT_EQ(tree_.AddUsbPort(bare, node_target_, "ttyACM2"), "ttyACM2");

  const std::string dev = roots_.dev;
  const std::vector<PortRecord> expected = {
      {dev + "/serial/by-id/usb-Lab_Controls_Variant_Controller_C0417001-if00", "",
       "Variant Controller (ttyACM0)", "USB\\VID_03EB&PID_2404&REV_0100", true,
       "Variant Controller", "ttyACM0"},
      // No strings: udev's by-id form falls back to the numbers, the
      // description to the driver.
      {dev + "/serial/by-id/usb-03eb_2404-if02", "", "cdc_acm (ttyACM2)",
       "USB\\VID_03EB&PID_2404&REV_0100", true, "cdc_acm", "ttyACM2"},
      {dev + "/serial/by-id/usb-Microcontroller_Board_Board_0036_95730333930351F0E1D1-if00", "",
       "Board 0036 (ttyACM10)", "USB\\VID_2341&PID_0036&REV_0001", true, "Board 0036", "ttyACM10"},
      {dev + "/ttyS0", "", "serial (ttyS0)", "PNP0501", false, "serial", "ttyS0"},
      {dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00", "",
       "FT232R USB UART (ttyUSB0)", "FTDIBUS\\COMPORT&VID_0403&PID_6001", true, "FT232R USB UART",
       "ttyUSB0"},
  };
  const std::vector<PortRecord> list = Refresh();
  ASSERT_EQ(list.size(), expected.size()) << testing::PrintToString(PortNames(list));
  for (std::size_t i = 0; i < list.size(); ++i) {
    SCOPED_TRACE(expected[i].port_name);
    EXPECT_EQ(list[i].device_path, expected[i].device_path);
    EXPECT_EQ(list[i].fallback_name, expected[i].fallback_name);
    EXPECT_EQ(list[i].friendly_name, expected[i].friendly_name);
    EXPECT_EQ(list[i].hardware_id, expected[i].hardware_id);
    EXPECT_EQ(list[i].usb_location, expected[i].usb_location);
    EXPECT_EQ(list[i].display_name, expected[i].display_name);
    EXPECT_EQ(list[i].port_name, expected[i].port_name);
  }
  // The by-id links the fixture wrote (as udev would) are the paths listed.
  EXPECT_TRUE(fs::exists(list[4].device_path));
}

TEST_F(PortListTest, DeviceWithUnreadableIdentifiersIsLeftOutOfRefresh) {
  ASSERT_FALSE(tree_.AddUsbPort(sim::BridgeIdentity(), node_target_).empty());
  ASSERT_FALSE(tree_.AddUsbPort(sim::BridgeIdentity(), node_target_).empty());
  fs::remove(UsbDeviceDir("ttyUSB0") / "idProduct");

  EXPECT_EQ(PortNames(Refresh()), std::vector<std::string>{"ttyUSB1"});
  // The console list still has the port, without its identifier.
  const std::vector<PortRecord> built = Build();
  ASSERT_EQ(PortNames(built), (std::vector<std::string>{"ttyUSB0", "ttyUSB1"}));
  EXPECT_EQ(built[0].hardware_id, "");
  EXPECT_EQ(built[0].device_path, "") << "no interface record to take it from";
}

TEST_F(PortListTest, BuildListsNumberedPortsAndTakesDevicePathsOfOpenableNodes) {
  ASSERT_TRUE(tree_.AddPlainPort("ttyS0", true, node_target_));
  ASSERT_TRUE(tree_.AddPlainPort("ttyS1", false, node_target_));
  ASSERT_TRUE(tree_.AddPlainPort("ttyS1A", true, node_target_));
  ASSERT_EQ(tree_.AddUsbPort(sim::ControllerIdentity(), sim::kUnopenable), "ttyACM0");
  ASSERT_EQ(tree_.AddUsbPort(sim::TaggedIdentity(), node_target_), "ttyACM1");
  ASSERT_EQ(tree_.AddUsbPort(sim::BridgeIdentity(), OwnNode("held")), "ttyUSB0");
  ASSERT_EQ(tree_.AddUsbPort(sim::BridgeIdentity(), node_target_, "ttyUSB12"), "ttyUSB12");

  // Another program holds the bridge's node.
  const int holder = ::open(tree_.NodePath("ttyUSB0").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const std::vector<PortRecord> list = Build();
  ::close(holder);

  ASSERT_EQ(PortNames(list),
            (std::vector<std::string>{"ttyACM0", "ttyACM1", "ttyS0", "ttyUSB0", "ttyUSB12"}));
  for (const PortRecord& record : list) {
    SCOPED_TRACE(record.port_name);
    EXPECT_FALSE(record.usb_location);
    EXPECT_EQ(record.display_name, "");
    EXPECT_EQ(record.fallback_name, "");
  }
  EXPECT_EQ(list[0].friendly_name, "Variant Controller");
  EXPECT_EQ(list[0].hardware_id, "USB\\VID_03EB&PID_2404&REV_0100");
  EXPECT_EQ(list[0].device_path, "") << "node cannot be opened";
  EXPECT_EQ(list[1].device_path,
            roots_.dev + "/serial/by-id/usb-Lab_Controls_Tagged_Controller_zelt4417-0001-if00");
  EXPECT_EQ(list[2].device_path, roots_.dev + "/ttyS0");
  EXPECT_EQ(list[2].friendly_name, "serial");
  EXPECT_EQ(list[3].device_path, "") << "node held by another program";
  EXPECT_EQ(list[3].hardware_id, "FTDIBUS\\COMPORT&VID_0403&PID_6001");
  EXPECT_NE(list[4].device_path, "");

  // The GUI's listing makes no open test.
  EXPECT_EQ(Refresh().size(), 6u);
  EXPECT_EQ(Refresh(OpenTest::kDropUnopenable).size(), 5u);
}

TEST_F(PortListTest, EmptyOrMissingTreeListsNothing) {
  EXPECT_TRUE(Refresh().empty());
  EXPECT_TRUE(Build().empty());
  roots_.sysfs = tree_.Root() + "/nowhere";
  EXPECT_TRUE(Refresh().empty());
  EXPECT_TRUE(Build().empty());
}

TEST_F(PortListTest, DetectionPrefersTheUnitPathThenTheFirstBridge) {
  std::vector<PortRecord> list;
  std::string port_name = "ttyOLD0";
  EXPECT_FALSE(DetectController(&list, &port_name, roots_));
  EXPECT_EQ(port_name, "ttyOLD0");

  ASSERT_EQ(tree_.AddUsbPort(sim::ControllerIdentity(), node_target_), "ttyACM0");
  EXPECT_FALSE(DetectController(&list, &port_name, roots_)) << "not a unit";
  EXPECT_EQ(port_name, "ttyOLD0");

  ASSERT_EQ(tree_.AddUsbPort(sim::BridgeIdentity(), node_target_), "ttyUSB0");
  ASSERT_EQ(tree_.AddUsbPort(sim::BridgeIdentity(), node_target_), "ttyUSB1");
  EXPECT_TRUE(DetectController(&list, &port_name, roots_));
  EXPECT_EQ(port_name, "ttyUSB0");
  EXPECT_EQ(list.size(), 3u) << "the list is refreshed in place";

  ASSERT_EQ(tree_.AddUsbPort(sim::UnitIdentity(), node_target_, "ttyUSB7"), "ttyUSB7");
  EXPECT_TRUE(DetectController(&list, &port_name, roots_));
  EXPECT_EQ(port_name, "ttyUSB7");

  // Unplugged: nothing cached, and the name stays for the caller.
  ASSERT_TRUE(tree_.RemovePort("ttyUSB7"));
  ASSERT_TRUE(tree_.RemovePort("ttyUSB0"));
  ASSERT_TRUE(tree_.RemovePort("ttyUSB1"));
  EXPECT_FALSE(DetectController(&list, &port_name, roots_));
  EXPECT_EQ(port_name, "ttyUSB7");
  EXPECT_EQ(list.size(), 1u);
}

TEST(CompletePortRecordTest, DerivesDisplayAndPortNames) {
  struct Case {
    const char* fallback;
    const char* friendly;
    const char* display;
    const char* want_friendly;
    const char* want_display;
    const char* want_port;
  };
  const Case cases[] = {
      {"", "Communications Port (ttyS1)", "", "Communications Port (ttyS1)", "Communications Port",
       "ttyS1"},
      {"", "FT232R USB UART (ttyUSB0)", "FT232R USB UART", "FT232R USB UART (ttyUSB0)",
       "FT232R USB UART", "ttyUSB0"},
      // Only the "(tty" part names the port, not an earlier parenthesis,
      // and the display name is cut only where the first ")" ends the text.
      {"", "Board (R3) (ttyACM0)", "", "Board (R3) (ttyACM0)", "Board (R3) (ttyACM0)", "ttyACM0"},
      {"Spare (ttyS4)", "", "", "Spare (ttyS4)", "Spare", "ttyS4"},
      // Not cut: the parenthesis does not close at the end, or starts the text.
      {"", "Port (ttyS2) spare", "", "Port (ttyS2) spare", "Port (ttyS2) spare", "ttyS2"},
      {"", " (ttyS3)", "", " (ttyS3)", " (ttyS3)", "ttyS3"},
      // Without "(tty", the name runs from the start to the last ")".
      {"", "Modem (X)", "", "Modem (X)", "Modem", "Modem (X"},
      {"", "Plain", "", "Plain", "Plain", "Plain"},
      {"", "Open (ttyUSB3", "", "Open (ttyUSB3", "Open (ttyUSB3", "ttyUSB3"},
      {"", "", "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fallback) + "|" + c.friendly);
    PortRecord record;
    record.fallback_name = c.fallback;
    record.friendly_name = c.friendly;
    record.display_name = c.display;
    CompletePortRecord(&record);
    EXPECT_EQ(record.friendly_name, c.want_friendly);
    EXPECT_EQ(record.display_name, c.want_display);
    EXPECT_EQ(record.port_name, c.want_port);
  }
}

TEST(IsNumberedPortNameTest, AcceptsTtyLettersAndDigitsOnly) {
  for (const char* name : {"ttyS0", "ttyUSB12", "ttyACM3", "ttyAMA0", "tty7"}) {
    EXPECT_TRUE(IsNumberedPortName(name)) << name;
  }
  for (const char* name : {"ttyS1A", "ttyUSB", "tty", "lp1", "TTYS0", "ttyS-1", "rfcomm0", ""}) {
    EXPECT_FALSE(IsNumberedPortName(name)) << name;
  }
}

TEST(PortNodePathTest, NamesGoUnderTheDevRootAndPathsStay) {
  struct Case {
    PortRoots roots;
    std::string port;
    std::string expected;
  };
  const Case cases[] = {
      {{}, "ttyUSB0", "/dev/ttyUSB0"},
      {{"/sys", "/tmp/unit/dev"}, "ttyACM3", "/tmp/unit/dev/ttyACM3"},
      {{"/sys", "/tmp/unit/dev/"}, "ttyACM3", "/tmp/unit/dev/ttyACM3"},
      // The operator's own path is opened as given, whatever the dev root.
      {{"/sys", "/tmp/unit/dev"}, "/dev/serial/by-id/usb-x-if00", "/dev/serial/by-id/usb-x-if00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PortNodePath(c.roots, c.port), c.expected) << c.port;
  }
}

// The machine's own sysfs: the listing must work there and must skip the
// 8250 placeholders that every machine has.
TEST(RealSysfsTest, ListsNoPlaceholderPorts) {
  const PortRoots real;  // /sys and /dev
  std::vector<PortRecord> refreshed;
  std::vector<PortRecord> built;
  RefreshPortList(&refreshed, OpenTest::kNone, real);
  BuildPortList(&built, real);
  for (const auto* list : {&refreshed, &built}) {
    for (const PortRecord& record : *list) {
      SCOPED_TRACE(record.port_name);
      EXPECT_FALSE(record.port_name.empty());
      std::ifstream type("/sys/class/tty/" + record.port_name + "/type");
      std::string value;
      if (type >> value) {
        EXPECT_NE(value, "0");
      }
    }
  }
}

}  // namespace
}  // namespace stravon
