#include "HidTestSupport.h"

#include "links/HidDeviceError.h"

#include <gtest/gtest.h>

namespace veska::test {
namespace {

class HidControllerTest : public ::testing::Test {
protected:
    void SetUp() override { platform = std::make_shared<SimulatedHidPlatform>(); }

    std::shared_ptr<SimulatedHidDevice> plug(SimulatedHidDevice::Spec spec = QuietBridge()) {
        auto device = platform->plug(std::move(spec));
        QCoreApplication::processEvents();  // the plug-in notice
        return device;
    }
    // Records the controller's events in order.
    void watch(HidDeviceMonitor& c) {
        c.setArrivalHandler([this](HidDevice& d) { events.push_back("arrival " + d.productString().toStdString()); });
        c.setRemovalHandler([this](HidDevice& d) { events.push_back("removal " + d.productString().toStdString()); });
        c.setDeviceUnplugHandler([this](HidDevice&) { events.push_back("unplug"); });
        c.setDeviceChangeHandler([this](HidDeviceMonitor&) { events.push_back("change"); });
    }

    std::shared_ptr<SimulatedHidPlatform> platform;
    std::vector<std::string> events;
};

TEST_F(HidControllerTest, NoHidSupportMeansNoDevicesAndOneNotice) {
    plug();
    platform->setAvailable(false);
    HidDeviceMonitor c(platform);
    watch(c);
    EXPECT_TRUE(c.devices().empty());
    EXPECT_EQ(events, (std::vector<std::string>{"change"}));
}

TEST_F(HidControllerTest, FirstHandlerIsToldOnceAndUnchangedPassesAreSilent) {
    plug();
    HidDeviceMonitor c(platform);
    ASSERT_EQ(c.devices().size(), 1u);
    HidNotifyEvent onChange = [this](HidDeviceMonitor&) { events.push_back("change"); };
    c.setDeviceChangeHandler(onChange);
    c.setDeviceChangeHandler(onChange);  // the same handler again
    c.rescan();
    EXPECT_EQ(events, (std::vector<std::string>{"change"}));
}

TEST_F(HidControllerTest, DevicesThatCannotBeOpenedOrIdentifiedAreSkipped) {
    SimulatedHidDevice::Spec closed = QuietBridge();
    closed.openable = false;
    SimulatedHidDevice::Spec anonymous = QuietBridge();
    anonymous.identifiable = false;
    SimulatedHidDevice::Spec queryOnly = QuietBridge();
    queryOnly.readWrite = false;
    plug(closed);
    plug(anonymous);
    plug(queryOnly);
    HidDeviceMonitor c(platform);
    ASSERT_EQ(c.devices().size(), 1u);
    std::unique_ptr<HidDevice> d = c.claimByIndex(0);
    EXPECT_FALSE(d->canReadWrite());
    d->setDataHandler([](HidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {});
    EXPECT_FALSE(d->readerRunning());
    const std::uint8_t report[2] = {0, 1};
    EXPECT_FALSE(d->sendFeatureReport(report, 2));
}

TEST_F(HidControllerTest, ClaimedDeviceUnpluggedStaysListedUntilHandedBack) {
    auto bridge = plug();
    HidDeviceMonitor c(platform);
    watch(c);
    std::unique_ptr<HidDevice> held = c.claimByIndex(0);
    held->productString();  // read while accessible, kept for the removal
    events.clear();
    platform->unplug(bridge);
    ASSERT_TRUE(SpinUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, (std::vector<std::string>{"unplug", "removal USB to Serial", "change"}));
    ASSERT_EQ(c.devices().size(), 1u);
    EXPECT_FALSE(c.devices()[0]->plugged());

    // Back while the old object is held: a new object.
    events.clear();
    plug();
    ASSERT_TRUE(SpinUntil([&] { return !events.empty(); }));
    // The held unplugged device goes through the removal step again.
    EXPECT_EQ(events, (std::vector<std::string>{"removal USB to Serial", "arrival USB to Serial", "change"}));
    ASSERT_EQ(c.devices().size(), 2u);
    EXPECT_TRUE(c.devices()[1]->plugged());
    held.reset();
    ASSERT_EQ(c.devices().size(), 1u);
    EXPECT_TRUE(c.devices()[0]->plugged());
}

TEST_F(HidControllerTest, UnclaimedDeviceUnpluggedLeavesTheList) {
    auto other = plug(SimulatedHidPlatform::otherDevice(u"Keyboard"));
    plug();
    HidDeviceMonitor c(platform);
    watch(c);
    events.clear();
    platform->unplug(other);
    ASSERT_TRUE(SpinUntil([&] { return !events.empty(); }));
    // Never read while accessible, so no product string.
    EXPECT_EQ(events, (std::vector<std::string>{"unplug", "removal ", "change"}));
    ASSERT_EQ(c.devices().size(), 1u);
    EXPECT_EQ(c.devices()[0]->productString(), QString());  // not accessible: not asked
}

TEST_F(HidControllerTest, TwoIdenticalBridgesAreTwoObjects) {
    plug();
    plug();
    HidDeviceMonitor c(platform);
    ASSERT_EQ(c.devices().size(), 2u);
    auto a = c.claimByIndex(0);
    auto b = c.claimByIndex(1);
    EXPECT_EQ(a->productString(), b->productString());
    EXPECT_EQ(a->attributes().productId, b->attributes().productId);
    EXPECT_NE(a->pnpInfo().interfacePath, b->pnpInfo().interfacePath);
    EXPECT_NE(a->pnpInfo().deviceInstance, b->pnpInfo().deviceInstance);
}

TEST_F(HidControllerTest, EnumerateWithoutHandlerVisitsOnlyTheFirstPluggedDevice) {
    HidDeviceMonitor empty(platform);
    EXPECT_EQ(empty.enumerateDevices(), 0);
    plug();
    plug();
    empty.rescan();
    EXPECT_EQ(empty.enumerateDevices(), 1);
    int visited = 0;
    empty.setEnumerateHandler([&](HidDevice& d, int) {
        ++visited;
        return d.accessible();  // accessible during the call
    });
    EXPECT_EQ(empty.enumerateDevices(), 2);
    EXPECT_EQ(visited, 2);
}

TEST_F(HidControllerTest, ClaimByIndexRefusesBadPositionsAndClaimedDevices) {
    plug();
    HidDeviceMonitor c(platform);
    EXPECT_FALSE(c.claimByIndex(-1));
    EXPECT_FALSE(c.claimByIndex(1));
    auto held = c.claimByIndex(0);
    ASSERT_TRUE(held);
    EXPECT_FALSE(c.claimByIndex(0));
}

TEST_F(HidControllerTest, HandingBackAPluggedDeviceLeavesAFreshObjectWithItsHandlers) {
    plug();
    plug();
    HidDeviceMonitor c(platform);
    int errors = 0;
    c.setDeviceDataErrorHandler([&](HidDevice&, std::uint32_t) { ++errors; });
    auto held = c.claimByIndex(1);
    const HidDataEvent handler = [](HidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {};
    held->setDataHandler(handler);
    held->setReadSleep(50);
    const HidDevice* old = held.get();
    held.reset();
    ASSERT_EQ(c.devices().size(), 2u);
    HidDevice* fresh = c.devices()[1];
    EXPECT_NE(fresh, old);
    EXPECT_FALSE(fresh->claimed());
    EXPECT_TRUE(fresh->dataHandler() == handler);
    EXPECT_TRUE(fresh->dataErrorHandler() == c.deviceDataErrorHandler());
    EXPECT_EQ(fresh->readSleepMs(), 50);
    auto again = c.claimByIndex(1);
    EXPECT_TRUE(again->readerRunning());  // its kept handler starts reading at once
}

TEST_F(HidControllerTest, HandlerSettersReachOnlyDevicesThatCarryTheControllersHandler) {
    plug();
    plug();
    HidDeviceMonitor c(platform);
    const HidDataEvent first = [](HidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {};
    const HidDataEvent own = [](HidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {};
    const HidDataEvent second = [](HidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {};
    c.setDeviceDataHandler(first);
    c.devices()[1]->setDataHandler(own);
    c.setDeviceDataHandler(second);
    EXPECT_TRUE(c.devices()[0]->dataHandler() == second);
    EXPECT_TRUE(c.devices()[1]->dataHandler() == own);

    c.devices()[1]->setReadSleep(30);
    c.setReadSleepTime(40);
    EXPECT_EQ(c.devices()[0]->readSleepMs(), 40);
    EXPECT_EQ(c.devices()[1]->readSleepMs(), 30);
}

TEST_F(HidControllerTest, SerialNumberThatRepeatsTheLanguageTableIsNoSerialNumber) {
    SimulatedHidDevice::Spec echo = QuietBridge();
    echo.serial = u"\u0409";
    SimulatedHidDevice::Spec numbered = QuietBridge();
    numbered.serial = u"A1B2";
    plug(echo);
    plug(numbered);
    HidDeviceMonitor c(platform);
    auto a = c.claimByIndex(0);
    auto b = c.claimByIndex(1);
    EXPECT_EQ(a->serialString(), QString());
    EXPECT_EQ(b->serialString(), QString("A1B2"));
}

}  // namespace
}  // namespace veska::test
