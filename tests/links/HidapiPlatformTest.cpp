#include "HidTestSupport.h"

#include "links/HidReportDescriptor.h"
#include "links/HidapiPlatform.h"
#include "links/UsbConnection.h"

#include <gtest/gtest.h>

namespace veska::test {
namespace {

// This machine has no HID devices (nor hidraw): the real platform must list none and
// fail nowhere. On a machine with devices it lists them.
TEST(HidapiPlatformTest, MachineWithoutHidDevicesListsNone) {
    if (std::getenv("VESKA_HID_DEVICES")) GTEST_SKIP() << "this machine has HID devices";
    auto platform = std::make_shared<HidapiPlatform>();
    EXPECT_TRUE(platform->enumerate().empty());
    int error = 0;
    EXPECT_FALSE(platform->open("/dev/hidraw0", HidPlatform::Access::ReadWrite, error));
    HidDeviceMonitor monitor(platform);
    UsbConnection usb(monitor, UsbReportRoute::VeskaReports, 2400);
    EXPECT_TRUE(usb.deviceListModel()->stringList().isEmpty());
    EXPECT_EQ(usb.selectedRow(), -1);
}

TEST(HidReportDescriptorTest, FindsReportNumberingAndLongestInputReport) {
    // Vendor page, 8 bytes in, 8 bytes out, no report IDs: the bridge's shape.
    const HidReportDescriptor bridge = HidReportDescriptor::parse(
        {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x08,
         0x09, 0x01, 0x81, 0x02, 0x95, 0x08, 0x09, 0x01, 0x91, 0x02, 0xC0});
    EXPECT_FALSE(bridge.usesReportIds());
    EXPECT_EQ(bridge.inputReportByteLength(), 9u);

    // Report 1 with 3 bytes in, report 2 with 16; a pushed and popped count between.
    const HidReportDescriptor numbered = HidReportDescriptor::parse(
        {0x85, 0x01, 0x75, 0x08, 0x95, 0x03, 0x81, 0x02, 0xA4, 0x95, 0x01, 0xB4, 0x85, 0x02, 0x95, 0x10, 0x81, 0x02});
    EXPECT_TRUE(numbered.usesReportIds());
    EXPECT_EQ(numbered.inputReportByteLength(), 17u);

    EXPECT_EQ(HidReportDescriptor::parse({0x75, 0x08, 0x95}).inputReportByteLength(), 0u);  // cut short
}

}  // namespace
}  // namespace veska::test
