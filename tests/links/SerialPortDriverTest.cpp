#include "SerialTestSupport.h"

#include "protocol/PacketDecoder.h"
#include "protocol/VeskaSerialFraming.h"
#include "links/MeterScenario.h"

#include <QSignalSpy>

#include <string>

using namespace veska;
using namespace veska::test;

namespace {

const Bytes kExample{0x0A, 0x2B, 0x30, 0x31, 0x32, 0x33, 0x20, 0x32, 0x00, 0x00, 0x00, 0x80, 0x00, 0x0D};

struct DriverFixture : ::testing::Test {
    PtyMeter pty;
    SerialPortDriver driver;
    ReceivedChunks received;

    void SetUp() override {
        driver.setPortMap(pty.map);
        driver.setComPortPollingDelay(20);
        driver.setOnReceiveData(received.handler());
    }
};

// Framing fed by the driver, as the window installs it.
struct FramedDriver : DriverFixture {
    std::vector<std::string> packets;
    VeskaSerialFraming framing{[this](std::string_view p) { packets.emplace_back(p); }};

    void SetUp() override {
        DriverFixture::SetUp();
        driver.setOnReceiveData([this, record = received.handler()](const std::uint8_t* d, std::size_t n) {
            record(d, n);
            framing.feed(d, n);
        });
        ASSERT_TRUE(driver.connectPort());
    }
};

}  // namespace

TEST_F(FramedDriver, ExampleStreamInOddChunksThroughAPty) {
    // Chunks land in different polling ticks.
    const std::size_t cuts[] = {0, 1, 6, 9, 14};
    for (std::size_t k = 0; k + 1 < std::size(cuts); ++k) {
        pty.write(Bytes(kExample.begin() + static_cast<long>(cuts[k]), kExample.begin() + static_cast<long>(cuts[k + 1])));
        QTest::qWait(35);
    }
    ASSERT_TRUE(WaitUntil([&] { return packets.size() == 1; }));
    EXPECT_EQ(packets[0], "2B3031323320320000008000" "0D");
    const DecodeResult decoded = decodePacket(packets[0], 6000);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.reading.valueText, "01.23");
    EXPECT_EQ(decoded.reading.unitText, "V");

    // 13 bytes from the sign straight after the previous end byte: refused.
    pty.write(Bytes(kExample.begin() + 1, kExample.end()));
    // A status byte equal to the end byte cuts the packet; both halves are dropped...
    Bytes cut = kExample;
    cut[9] = 0x0D;
    pty.write(cut);
    // ...and the framing is back in step at the next packet.
    Bytes next = kExample;
    next[5] = 0x37;
    pty.write(next);
    ASSERT_TRUE(WaitUntil([&] { return received.total() == kExample.size() * 4 - 1; }));
    QTest::qWait(60);
    ASSERT_EQ(packets.size(), 2U);
    EXPECT_EQ(packets[1], "2B3031323720320000008000" "0D");
}

TEST_F(FramedDriver, SimulatedMeterPacketsArriveWholeAndDecode) {
    pty.meter.setRate(400);
    pty.meter.setOddChunks(true);
    pty.meter.start();
    ASSERT_TRUE(WaitUntil([&] { return pty.meter.stepsSent() >= MeterScenario::cycleLength() + 5; }, 10000));
    pty.meter.stop();
    const std::uint64_t sent = pty.meter.stepsSent();
    // The first packet has no byte before it to drop, so it is refused like a packet
    // caught mid-way; every later whole packet is accepted.
    std::size_t expected = 0;
    const MeterScenario scenario;
    for (std::uint64_t n = 1; n < sent; ++n) expected += scenario.step(n).broken ? 0 : 1;
    ASSERT_TRUE(WaitUntil([&] { return packets.size() >= expected; }));
    QTest::qWait(60);
    EXPECT_EQ(packets.size(), expected);
    EXPECT_EQ(pty.meter.bytesDropped(), 0U);
    for (const std::string& p : packets) EXPECT_TRUE(decodePacket(p, 6000).ok) << p;
}

TEST_F(DriverFixture, ConstructionValues) {
    SerialPortDriver fresh;
    EXPECT_EQ(fresh.comPort(), ComPortNumber::Com1);
    EXPECT_EQ(fresh.comPortSpeed(), ComPortBaudRate::Baud9600);
    EXPECT_EQ(fresh.comPortInBufSize(), 2048);
    EXPECT_EQ(fresh.comPortPollingDelay(), 50);
    EXPECT_FALSE(fresh.isConnected());
    EXPECT_EQ(fresh.portPath(), "/dev/ttyS0");
}

TEST_F(DriverFixture, ConnectTwiceNeitherReopensNorPurges) {
    driver.setComPortSpeed(ComPortBaudRate::Baud2400);
    ASSERT_TRUE(driver.connectPort());
    EXPECT_TRUE(driver.isConnected());
    EXPECT_EQ(pty.meter.lineBaudRate(), 2400);
    pty.write({1, 2, 3});
    QTest::qWait(5);
    ASSERT_TRUE(driver.connectPort());
    ASSERT_TRUE(WaitUntil([&] { return received.total() == 3; }));
    EXPECT_EQ(received.all(), (Bytes{1, 2, 3}));
}

TEST_F(DriverFixture, MissingPortFailsAndStaysClosed) {
    PortMap map;
    map.setPath(ComPortNumber::Com1, "/dev/veska-no-such-port");
    driver.setPortMap(map);
    EXPECT_FALSE(driver.connectPort());
    EXPECT_FALSE(driver.isConnected());
    EXPECT_EQ(driver.pollRemainingTime(), -1);
    EXPECT_TRUE(driver.lastErrorText().contains("COM1 (/dev/veska-no-such-port)")) << driver.lastErrorText().toStdString();
    driver.disconnectPort();
    EXPECT_FALSE(driver.isConnected());
    // A later Connect tries again.
    driver.setPortMap(pty.map);
    EXPECT_TRUE(driver.connectPort());
}

TEST_F(DriverFixture, ComPortIsIgnoredWhileOpenAndUsedAtTheNextConnect) {
    PtyMeter second;
    PortMap map = pty.map;
    map.setPath(ComPortNumber::Com2, second.meter.slavePath());
    driver.setPortMap(map);
    ASSERT_TRUE(driver.connectPort());
    driver.setComPort(ComPortNumber::Com2);
    EXPECT_EQ(driver.comPort(), ComPortNumber::Com1);

    driver.disconnectPort();
    driver.setComPort(ComPortNumber::Com2);
    EXPECT_EQ(driver.comPort(), ComPortNumber::Com2);
    ASSERT_TRUE(driver.connectPort());
    second.write({0x42});
    pty.write({0x41});
    ASSERT_TRUE(WaitUntil([&] { return received.total() >= 1; }));
    QTest::qWait(50);
    EXPECT_EQ(received.all(), Bytes{0x42});
}

TEST_F(DriverFixture, SpeedChangeWhileOpenReappliesSettingsAndPurges) {
    driver.setComPortSpeed(ComPortBaudRate::Baud2400);
    driver.setComPortPollingDelay(1000);
    ASSERT_TRUE(driver.connectPort());
    pty.write({1, 2, 3, 4});
    QTest::qWait(50);  // the bytes are queued, no tick yet
    driver.setComPortSpeed(ComPortBaudRate::Baud19200);
    EXPECT_EQ(pty.meter.lineBaudRate(), 19200);
    driver.setComPortPollingDelay(20);
    QTest::qWait(100);
    EXPECT_TRUE(received.chunks.empty());
    pty.write({5});
    ASSERT_TRUE(WaitUntil([&] { return received.total() == 1; }));
    EXPECT_EQ(received.all(), Bytes{5});
}

TEST_F(DriverFixture, PollingDelayRestartsTheTimerOnlyWhenItChanges) {
    driver.setComPortPollingDelay(1000);
    ASSERT_TRUE(driver.connectPort());
    QTest::qWait(300);
    driver.setComPortPollingDelay(1000);
    EXPECT_LE(driver.pollRemainingTime(), 800);
    driver.setComPortPollingDelay(2000);
    EXPECT_GT(driver.pollRemainingTime(), 1500);
    driver.disconnectPort();
    EXPECT_EQ(driver.pollRemainingTime(), -1);
}

TEST_F(DriverFixture, OneReadPerTickOfAtMostTheInputSize) {
    driver.setComPortInBufSize(8);
    ASSERT_TRUE(driver.connectPort());
    driver.setComPortInBufSize(64);  // ignored while open
    EXPECT_EQ(driver.comPortInBufSize(), 8);
    Bytes data(20);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    pty.write(data);
    ASSERT_TRUE(WaitUntil([&] { return received.total() == data.size(); }));
    EXPECT_EQ(received.all(), data);
    EXPECT_GE(received.chunks.size(), 3U);
    for (const Bytes& c : received.chunks) {
        EXPECT_GE(c.size(), 1U);
        EXPECT_LE(c.size(), 8U);
    }
    // Silent ticks call nothing.
    const std::size_t calls = received.chunks.size();
    QTest::qWait(100);
    EXPECT_EQ(received.chunks.size(), calls);
}

TEST_F(DriverFixture, APortInUseCannotBeOpenedTwice) {
    ASSERT_TRUE(driver.connectPort());
    SerialPortDriver other;
    other.setPortMap(pty.map);
    EXPECT_FALSE(other.connectPort());
    EXPECT_FALSE(other.isConnected());
    driver.disconnectPort();
    EXPECT_TRUE(other.connectPort());
}

TEST_F(DriverFixture, APulledDeviceIsClosedAfterItsLastBytesAreDelivered) {
    QSignalSpy lost(&driver, &SerialPortDriver::portLost);
    driver.setComPortPollingDelay(1000);
    ASSERT_TRUE(driver.connectPort());
    pty.write({7, 8, 9});
    QTest::qWait(50);  // read from the pty, not yet handed on
    pty.meter.closeMaster();
    ASSERT_TRUE(WaitUntil([&] { return !driver.isConnected(); }));
    EXPECT_EQ(lost.count(), 1);
    EXPECT_EQ(received.all(), (Bytes{7, 8, 9}));
    EXPECT_FALSE(driver.lastErrorText().isEmpty());
    EXPECT_EQ(driver.pollRemainingTime(), -1);
    QTest::qWait(100);
    EXPECT_EQ(lost.count(), 1);
}
