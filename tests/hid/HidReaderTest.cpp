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
        controller = std::make_unique<TJvHidDeviceController>(platform);
        device = controller->ClaimByIndex(0);
        ASSERT_TRUE(device);
    }
    void TearDown() override {
        device.reset();
        controller.reset();
    }

    TJvHidDataEvent recorder() {
        return [this](TJvHidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
            received.push_back({id, std::vector<std::uint8_t>(data, data + size)});
        };
    }

    std::shared_ptr<SimulatedHidPlatform> platform;
    std::shared_ptr<SimulatedHidDevice> bridge;
    std::unique_ptr<TJvHidDeviceController> controller;
    std::unique_ptr<TJvHidDevice> device;
    std::vector<Delivered> received;
};

TEST_F(HidReaderTest, ReadsArriveAsReportIdAndTheBytesAfterIt) {
    bridge->pushRead({0x00, 0xF1, 0x2B, 0x00});
    bridge->pushRead({});  // a read of 0 bytes delivers nothing
    bridge->pushRead({0x05});
    device->SetDataHandler(recorder());
    ASSERT_TRUE(SpinUntil([&] { return received.size() >= 2; }));
    SpinFor(50);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].reportId, 0x00);
    EXPECT_EQ(received[0].data, (std::vector<std::uint8_t>{0xF1, 0x2B, 0x00}));
    EXPECT_EQ(received[1].reportId, 0x05);
    EXPECT_TRUE(received[1].data.empty());
}

TEST_F(HidReaderTest, ReaderRunsOnlyOnClaimedReadWriteDevicesWithAHandler) {
    EXPECT_FALSE(device->ReaderRunning());
    device->SetDataHandler(recorder());
    EXPECT_TRUE(device->ReaderRunning());
    device->SetDataHandler(nullptr);
    EXPECT_FALSE(device->ReaderRunning());

    platform->plug(QuietBridge());
    SpinFor(1);
    ASSERT_EQ(controller->Devices().size(), 2u);
    TJvHidDevice* unclaimed = controller->Devices()[1];
    unclaimed->SetDataHandler(recorder());
    EXPECT_FALSE(unclaimed->ReaderRunning());
    const std::unique_ptr<TJvHidDevice> claimed = controller->ClaimByIndex(1);
    EXPECT_TRUE(claimed->ReaderRunning());  // claiming starts the reader of a set handler
}

TEST_F(HidReaderTest, UnpluggingWhileReadingGivesErrorsNotReports) {
    std::vector<std::uint32_t> errors;
    device->SetReadSleep(10);
    device->SetDataHandler(recorder());
    SpinFor(30);  // the reader now waits in a read
    device.get()->StopReader();
    // Error handler set after creation: the controller's hand-on is not what is tested.
    controller->SetOnDeviceDataError([&](TJvHidDevice&, std::uint32_t error) { errors.push_back(error); });
    device->StartReader();
    SpinFor(30);

    platform->unplug(bridge);
    ASSERT_TRUE(SpinUntil([&] { return errors.size() >= 5; }));
    EXPECT_TRUE(received.empty());
    EXPECT_FALSE(device->Plugged());
    EXPECT_EQ(errors.back(), static_cast<std::uint32_t>(ENODEV));
    ASSERT_EQ(controller->Devices().size(), 1u);  // held, so still listed

    device->SetDataHandler(nullptr);
    const std::size_t afterStop = errors.size();
    SpinFor(60);
    EXPECT_EQ(errors.size(), afterStop);
    device.reset();
    EXPECT_TRUE(controller->Devices().empty());
}

TEST_F(HidReaderTest, StoppingWhileAHandOverIsQueuedServesItAndEnds) {
    device->SetDataHandler(recorder());
    bridge->pushRead({0x00, 0xF0});
    // No event loop: the reader is now blocked in its hand-over.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    device->SetDataHandler(nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(device->ReaderRunning());
    EXPECT_EQ(received.size(), 1u);
    SpinFor(20);  // the queued call finds nothing left to do
    EXPECT_EQ(received.size(), 1u);
}

TEST_F(HidReaderTest, AHandlerMayStopOrHandBackItsOwnDevice) {
    int calls = 0;
    device->SetDataHandler([&](TJvHidDevice& dev, std::uint8_t, const std::uint8_t*, std::uint16_t) {
        ++calls;
        dev.SetDataHandler(nullptr);
    });
    bridge->pushRead({0x00, 0xF0});
    bridge->pushRead({0x00, 0xF0});
    ASSERT_TRUE(SpinUntil([&] { return calls == 1; }));
    SpinFor(50);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(device->ReaderRunning());

    device->SetDataHandler([&](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
        ++calls;
        device.reset();  // hand-back from inside the delivery
    });
    ASSERT_TRUE(SpinUntil([&] { return calls == 2; }));
    SpinFor(20);
    EXPECT_FALSE(device);
    ASSERT_EQ(controller->Devices().size(), 1u);
    EXPECT_FALSE(controller->Devices()[0]->Claimed());
}

TEST_F(HidReaderTest, ReadSleepTakesTenToTenThousand) {
    struct Case {
        int value;
        int expected;
    };
    for (const Case c : {Case{9, 100}, Case{10, 10}, Case{10000, 10000}, Case{10001, 100}}) {
        device->SetReadSleep(100);
        device->SetReadSleep(c.value);
        EXPECT_EQ(device->ReadSleepMs(), c.expected) << c.value;
    }
}

TEST_F(HidReaderTest, BridgeSendsEmptyReportsWhileSilentAndStreamBytesWhenFed) {
    bridge->setEmptyReportInterval(5);
    device->SetDataHandler(recorder());
    ASSERT_TRUE(SpinUntil([&] { return received.size() >= 3; }));
    bridge->feed({1, 2, 3, 4, 5, 6, 7, 8, 9});
    ASSERT_TRUE(SpinUntil([&] {
        return std::count_if(received.begin(), received.end(), [](const Delivered& d) { return d.data[0] != 0xF0; }) == 2;
    }));
    device->SetDataHandler(nullptr);
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
