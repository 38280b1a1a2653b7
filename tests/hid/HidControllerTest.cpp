#include "HidTestSupport.h"

#include "hid/EControllerError.h"

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
    void watch(TJvHidDeviceController& c) {
        c.SetOnArrival([this](TJvHidDevice& d) { events.push_back("arrival " + d.ProductString().toStdString()); });
        c.SetOnRemoval([this](TJvHidDevice& d) { events.push_back("removal " + d.ProductString().toStdString()); });
        c.SetOnDeviceUnplug([this](TJvHidDevice&) { events.push_back("unplug"); });
        c.SetOnDeviceChange([this](TJvHidDeviceController&) { events.push_back("change"); });
    }

    std::shared_ptr<SimulatedHidPlatform> platform;
    std::vector<std::string> events;
};

TEST_F(HidControllerTest, OnlyOneControllerPerProgram) {
    TJvHidDeviceController first(platform);
    try {
        TJvHidDeviceController second(platform);
        FAIL() << "a second controller was made";
    } catch (const EControllerError& e) {
        EXPECT_STREQ(e.what(), "Only one TJvHidDeviceController allowed per program");
    }
    EXPECT_NO_THROW({ first.DeviceChange(); });
}

TEST_F(HidControllerTest, NoHidSupportMeansNoDevicesAndOneNotice) {
    plug();
    platform->setAvailable(false);
    TJvHidDeviceController c(platform);
    watch(c);
    EXPECT_TRUE(c.Devices().empty());
    EXPECT_EQ(events, (std::vector<std::string>{"change"}));
}

TEST_F(HidControllerTest, FirstHandlerIsToldOnceAndUnchangedPassesAreSilent) {
    plug();
    TJvHidDeviceController c(platform);
    ASSERT_EQ(c.Devices().size(), 1u);
    TJvHidNotifyEvent onChange = [this](TJvHidDeviceController&) { events.push_back("change"); };
    c.SetOnDeviceChange(onChange);
    c.SetOnDeviceChange(onChange);  // the same handler again
    c.DeviceChange();
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
    TJvHidDeviceController c(platform);
    ASSERT_EQ(c.Devices().size(), 1u);
    std::unique_ptr<TJvHidDevice> d = c.ClaimByIndex(0);
    EXPECT_FALSE(d->CanReadWrite());
    d->SetDataHandler([](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {});
    EXPECT_FALSE(d->ReaderRunning());
    const std::uint8_t report[2] = {0, 1};
    EXPECT_FALSE(d->SendFeatureReport(report, 2));
}

TEST_F(HidControllerTest, ClaimedDeviceUnpluggedStaysListedUntilHandedBack) {
    auto bridge = plug();
    TJvHidDeviceController c(platform);
    watch(c);
    std::unique_ptr<TJvHidDevice> held = c.ClaimByIndex(0);
    held->ProductString();  // read while accessible, kept for the removal
    events.clear();
    platform->unplug(bridge);
    ASSERT_TRUE(SpinUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, (std::vector<std::string>{"unplug", "removal USB to Serial", "change"}));
    ASSERT_EQ(c.Devices().size(), 1u);
    EXPECT_FALSE(c.Devices()[0]->Plugged());

    // Back while the old object is held: a new object.
    events.clear();
    plug();
    ASSERT_TRUE(SpinUntil([&] { return !events.empty(); }));
    // The held unplugged device goes through the removal step again.
    EXPECT_EQ(events, (std::vector<std::string>{"removal USB to Serial", "arrival USB to Serial", "change"}));
    ASSERT_EQ(c.Devices().size(), 2u);
    EXPECT_TRUE(c.Devices()[1]->Plugged());
    held.reset();
    ASSERT_EQ(c.Devices().size(), 1u);
    EXPECT_TRUE(c.Devices()[0]->Plugged());
}

TEST_F(HidControllerTest, UnclaimedDeviceUnpluggedLeavesTheList) {
    auto other = plug(SimulatedHidPlatform::OtherDevice(u"Keyboard"));
    plug();
    TJvHidDeviceController c(platform);
    watch(c);
    events.clear();
    platform->unplug(other);
    ASSERT_TRUE(SpinUntil([&] { return !events.empty(); }));
    // Never read while accessible, so no product string.
    EXPECT_EQ(events, (std::vector<std::string>{"unplug", "removal ", "change"}));
    ASSERT_EQ(c.Devices().size(), 1u);
    EXPECT_EQ(c.Devices()[0]->ProductString(), QString());  // not accessible: not asked
}

TEST_F(HidControllerTest, TwoIdenticalBridgesAreTwoObjects) {
    plug();
    plug();
    TJvHidDeviceController c(platform);
    ASSERT_EQ(c.Devices().size(), 2u);
    auto a = c.ClaimByIndex(0);
    auto b = c.ClaimByIndex(1);
    EXPECT_EQ(a->ProductString(), b->ProductString());
    EXPECT_EQ(a->DeviceAttributes().ProductID, b->DeviceAttributes().ProductID);
    EXPECT_NE(a->PlugAndPlayInfo().InterfacePath, b->PlugAndPlayInfo().InterfacePath);
    EXPECT_NE(a->PlugAndPlayInfo().DeviceInstance, b->PlugAndPlayInfo().DeviceInstance);
}

TEST_F(HidControllerTest, EnumerateWithoutHandlerVisitsOnlyTheFirstPluggedDevice) {
    TJvHidDeviceController empty(platform);
    EXPECT_EQ(empty.EnumerateDevices(), 0);
    plug();
    plug();
    empty.DeviceChange();
    EXPECT_EQ(empty.EnumerateDevices(), 1);
    int visited = 0;
    empty.SetOnEnumerate([&](TJvHidDevice& d, int) {
        ++visited;
        return d.Accessible();  // accessible during the call
    });
    EXPECT_EQ(empty.EnumerateDevices(), 2);
    EXPECT_EQ(visited, 2);
}

TEST_F(HidControllerTest, ClaimByIndexRefusesBadPositionsAndClaimedDevices) {
    plug();
    TJvHidDeviceController c(platform);
    EXPECT_FALSE(c.ClaimByIndex(-1));
    EXPECT_FALSE(c.ClaimByIndex(1));
    auto held = c.ClaimByIndex(0);
    ASSERT_TRUE(held);
    EXPECT_FALSE(c.ClaimByIndex(0));
}

TEST_F(HidControllerTest, HandingBackAPluggedDeviceLeavesAFreshObjectWithItsHandlers) {
    plug();
    plug();
    TJvHidDeviceController c(platform);
    int errors = 0;
    c.SetOnDeviceDataError([&](TJvHidDevice&, std::uint32_t) { ++errors; });
    auto held = c.ClaimByIndex(1);
    const TJvHidDataEvent handler = [](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {};
    held->SetDataHandler(handler);
    held->SetReadSleep(50);
    const TJvHidDevice* old = held.get();
    held.reset();
    ASSERT_EQ(c.Devices().size(), 2u);
    TJvHidDevice* fresh = c.Devices()[1];
    EXPECT_NE(fresh, old);
    EXPECT_FALSE(fresh->Claimed());
    EXPECT_TRUE(fresh->DataHandler() == handler);
    EXPECT_TRUE(fresh->DataErrorHandler() == c.OnDeviceDataError());
    EXPECT_EQ(fresh->ReadSleepMs(), 50);
    auto again = c.ClaimByIndex(1);
    EXPECT_TRUE(again->ReaderRunning());  // its kept handler starts reading at once
}

TEST_F(HidControllerTest, HandlerSettersReachOnlyDevicesThatCarryTheControllersHandler) {
    plug();
    plug();
    TJvHidDeviceController c(platform);
    const TJvHidDataEvent first = [](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {};
    const TJvHidDataEvent own = [](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {};
    const TJvHidDataEvent second = [](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {};
    c.SetOnDeviceData(first);
    c.Devices()[1]->SetDataHandler(own);
    c.SetOnDeviceData(second);
    EXPECT_TRUE(c.Devices()[0]->DataHandler() == second);
    EXPECT_TRUE(c.Devices()[1]->DataHandler() == own);

    c.Devices()[1]->SetReadSleep(30);
    c.SetDevThreadSleepTime(40);
    EXPECT_EQ(c.Devices()[0]->ReadSleepMs(), 40);
    EXPECT_EQ(c.Devices()[1]->ReadSleepMs(), 30);
}

TEST_F(HidControllerTest, SerialNumberThatRepeatsTheLanguageTableIsNoSerialNumber) {
    SimulatedHidDevice::Spec echo = QuietBridge();
    echo.serial = u"\u0409";
    SimulatedHidDevice::Spec numbered = QuietBridge();
    numbered.serial = u"A1B2";
    plug(echo);
    plug(numbered);
    TJvHidDeviceController c(platform);
    auto a = c.ClaimByIndex(0);
    auto b = c.ClaimByIndex(1);
    EXPECT_EQ(a->SerialString(), QString());
    EXPECT_EQ(b->SerialString(), QString("A1B2"));
}

}  // namespace
}  // namespace veska::test
