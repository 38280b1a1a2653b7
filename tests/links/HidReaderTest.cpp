#include "HidTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace veska::test {
namespace {

class HidReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform = std::make_shared<SimulatedHidPlatform>();
        bridge = platform->plug(QuietBridge());
        SpinFor(1);  // the plug-in notice
        controller = std::make_unique<HidDeviceMonitor>(platform);
        device = controller->claimByIndex(0);
        ASSERT_TRUE(device);
    }
    void TearDown() override {
        device.reset();
        controller.reset();
    }

    HidDataEvent recorder() {
        return [this](HidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
            received.push_back({id, std::vector<std::uint8_t>(data, data + size)});
        };
    }

    std::shared_ptr<SimulatedHidPlatform> platform;
    std::shared_ptr<SimulatedHidDevice> bridge;
    std::unique_ptr<HidDeviceMonitor> controller;
    std::unique_ptr<HidDevice> device;
    std::vector<Delivered> received;
};

TEST_F(HidReaderTest, ReadsArriveAsReportIdAndTheBytesAfterIt) {
    bridge->pushRead({0x00, 0xF1, 0x2B, 0x00});
    bridge->pushRead({});  // a read of 0 bytes delivers nothing
    bridge->pushRead({0x05});
    device->setDataHandler(recorder());
    ASSERT_TRUE(SpinUntil([&] { return received.size() >= 2; }));
    SpinFor(50);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].reportId, 0x00);
    EXPECT_EQ(received[0].data, (std::vector<std::uint8_t>{0xF1, 0x2B, 0x00}));
    EXPECT_EQ(received[1].reportId, 0x05);
    EXPECT_TRUE(received[1].data.empty());
}

TEST_F(HidReaderTest, ReaderRunsOnlyOnClaimedReadWriteDevicesWithAHandler) {
    EXPECT_FALSE(device->readerRunning());
    device->setDataHandler(recorder());
    EXPECT_TRUE(device->readerRunning());
    device->setDataHandler(nullptr);
    EXPECT_FALSE(device->readerRunning());

    platform->plug(QuietBridge());
    SpinFor(1);
    ASSERT_EQ(controller->devices().size(), 2u);
    HidDevice* unclaimed = controller->devices()[1];
    unclaimed->setDataHandler(recorder());
    EXPECT_FALSE(unclaimed->readerRunning());
    const std::unique_ptr<HidDevice> claimed = controller->claimByIndex(1);
    EXPECT_TRUE(claimed->readerRunning());  // claiming starts the reader of a set handler
}

TEST_F(HidReaderTest, UnpluggingWhileReadingGivesErrorsNotReports) {
    std::vector<std::uint32_t> errors;
    device->setReadSleep(10);
    device->setDataHandler(recorder());
    SpinFor(30);  // the reader now waits in a read
    device.get()->stopReader();
    // Error handler set after creation: the controller's hand-on is not what is tested.
    controller->setDeviceDataErrorHandler([&](HidDevice&, std::uint32_t error) { errors.push_back(error); });
    device->startReader();
    SpinFor(30);

    platform->unplug(bridge);
    ASSERT_TRUE(SpinUntil([&] { return errors.size() >= 5; }));
    EXPECT_TRUE(received.empty());
    EXPECT_FALSE(device->plugged());
    EXPECT_EQ(errors.back(), static_cast<std::uint32_t>(ENODEV));
    ASSERT_EQ(controller->devices().size(), 1u);  // held, so still listed

    device->setDataHandler(nullptr);
    const std::size_t afterStop = errors.size();
    SpinFor(60);
    EXPECT_EQ(errors.size(), afterStop);
    device.reset();
    EXPECT_TRUE(controller->devices().empty());
}

TEST_F(HidReaderTest, StoppingWhileAHandOverIsQueuedServesItAndEnds) {
    device->setDataHandler(recorder());
    bridge->pushRead({0x00, 0xF0});
    // No event loop: the reader is now blocked in its hand-over.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    device->setDataHandler(nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(device->readerRunning());
    EXPECT_EQ(received.size(), 1u);
    SpinFor(20);  // the queued call finds nothing left to do
    EXPECT_EQ(received.size(), 1u);
}

TEST_F(HidReaderTest, AHandlerMayStopOrHandBackItsOwnDevice) {
    int calls = 0;
    device->setDataHandler([&](HidDevice& dev, std::uint8_t, const std::uint8_t*, std::uint16_t) {
        ++calls;
        dev.setDataHandler(nullptr);
    });
    bridge->pushRead({0x00, 0xF0});
    bridge->pushRead({0x00, 0xF0});
    ASSERT_TRUE(SpinUntil([&] { return calls == 1; }));
    SpinFor(50);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(device->readerRunning());

    device->setDataHandler([&](HidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
        ++calls;
        device.reset();  // hand-back from inside the delivery
    });
    ASSERT_TRUE(SpinUntil([&] { return calls == 2; }));
    SpinFor(20);
    EXPECT_FALSE(device);
    ASSERT_EQ(controller->devices().size(), 1u);
    EXPECT_FALSE(controller->devices()[0]->claimed());
}

TEST_F(HidReaderTest, ReadSleepTakesTenToTenThousand) {
    struct Case {
        int value;
        int expected;
    };
    for (const Case c : {Case{9, 100}, Case{10, 10}, Case{10000, 10000}, Case{10001, 100}}) {
        device->setReadSleep(100);
        device->setReadSleep(c.value);
        EXPECT_EQ(device->readSleepMs(), c.expected) << c.value;
    }
}

TEST_F(HidReaderTest, BridgeSendsEmptyReportsWhileSilentAndStreamBytesWhenFed) {
    bridge->setEmptyReportInterval(5);
    device->setDataHandler(recorder());
    ASSERT_TRUE(SpinUntil([&] { return received.size() >= 3; }));
    bridge->feed({1, 2, 3, 4, 5, 6, 7, 8, 9});
    ASSERT_TRUE(SpinUntil([&] {
        return std::count_if(received.begin(), received.end(), [](const Delivered& d) { return d.data[0] != 0xF0; }) == 2;
    }));
    device->setDataHandler(nullptr);
    std::vector<std::vector<std::uint8_t>> withBytes;
    for (const Delivered& d : received) {
        EXPECT_EQ(d.data.size(), 8u);
        if (d.data[0] != 0xF0) withBytes.push_back(d.data);
    }
    EXPECT_EQ(withBytes[0], (std::vector<std::uint8_t>{0xF7, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(withBytes[1], (std::vector<std::uint8_t>{0xF2, 8, 9, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace veska::test
