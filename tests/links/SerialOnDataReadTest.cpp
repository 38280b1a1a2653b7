// The driver in ReadMode::OnData: reads run when the port has bytes, with no polling timer.
#include "SerialTestSupport.h"

#include "links/MeterScenario.h"
#include "protocol/PacketDecoder.h"
#include "protocol/VeskaSerialFraming.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <string>

using namespace veska;
using namespace veska::test;

namespace {

struct OnDataDriver : ::testing::Test {
    PtyMeter pty;
    SerialPortDriver driver;
    ReceivedChunks received;
    std::vector<std::string> packets;
    VeskaSerialFraming framing{[this](std::string_view p) { packets.emplace_back(p); }};

    void SetUp() override {
        driver.setPortMap(pty.map);
        // A polling period far beyond every wait below: whatever arrives came from data.
        driver.setComPortPollingDelay(60000);
        driver.setReadMode(SerialPortDriver::ReadMode::OnData);
        driver.setOnReceiveData([this, record = received.handler()](const std::uint8_t* d, std::size_t n) {
            record(d, n);
            framing.feed(d, n);
        });
    }
};

Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

TEST_F(OnDataDriver, ChunksReachTheFramingAsTheyArriveWithoutATimer) {
    ASSERT_TRUE(driver.connectPort());
    EXPECT_EQ(driver.pollRemainingTime(), -1);  // no polling timer
    QSignalSpy batches(&driver, &SerialPortDriver::readBatchDone);
    const Bytes first = MeterScenario::makePacket('+', "1234", '1', {0x30, 0, 0, 0x80});
    const Bytes second = MeterScenario::makePacket('-', "0042", '2', {0x30, 0, 0, 0x80});
    // A line feed ahead (the byte the framing drops), then both packets cut mid-way.
    const Bytes stream = Concat({{0x0A}, first, second});
    const std::size_t cuts[] = {0, 3, 9, 15, 16, 22, stream.size()};
    QElapsedTimer clock;
    clock.start();
    for (std::size_t k = 0; k + 1 < std::size(cuts); ++k) {
        const std::size_t before = received.total();
        pty.write(Bytes(stream.begin() + long(cuts[k]), stream.begin() + long(cuts[k + 1])));
        // Each chunk is handed on by itself, long before any tick could have fallen due.
        ASSERT_TRUE(WaitUntil([&] { return received.total() == cuts[k + 1]; }, 2000)) << "chunk " << k;
        EXPECT_GT(received.total(), before);
    }
    EXPECT_LT(clock.elapsed(), 60000);
    EXPECT_EQ(received.all(), stream);
    ASSERT_EQ(packets.size(), 2U);
    const DecodeResult a = decodePacket(packets[0], 6000);
    const DecodeResult b = decodePacket(packets[1], 6000);
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(a.reading.valueText, "1.234");
    EXPECT_EQ(b.reading.valueText, "-00.42");
    // One batch signal per read pass that delivered bytes, none for silence.
    EXPECT_GE(batches.count(), int(std::size(cuts)) - 1);
    const int seen = batches.count();
    QTest::qWait(100);
    EXPECT_EQ(batches.count(), seen);
}

TEST_F(OnDataDriver, AQueueLargerThanTheBufferIsReadInFullInBufferSizedReads) {
    driver.setComPortInBufSize(16);
    ASSERT_TRUE(driver.connectPort());
    Bytes data(300);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    pty.write(data);
    ASSERT_TRUE(WaitUntil([&] { return received.total() == data.size(); }));
    EXPECT_EQ(received.all(), data);
    for (const Bytes& c : received.chunks) {
        EXPECT_GE(c.size(), 1U);
        EXPECT_LE(c.size(), 16U);
    }
}

TEST_F(OnDataDriver, APulledDeviceIsDetectedAndClosedOnce) {
    QSignalSpy lost(&driver, &SerialPortDriver::portLost);
    ASSERT_TRUE(driver.connectPort());
    pty.write({7, 8, 9});
    ASSERT_TRUE(WaitUntil([&] { return received.total() == 3; }));
    // Bytes still in the kernel when the other end closes are dropped by the pty itself.
    pty.write({10, 11});
    ASSERT_TRUE(WaitUntil([&] { return received.total() == 5; }));
    pty.meter.closeMaster();
    ASSERT_TRUE(WaitUntil([&] { return !driver.isConnected(); }));
    EXPECT_EQ(lost.count(), 1);
    EXPECT_EQ(received.all(), (Bytes{7, 8, 9, 10, 11}));
    EXPECT_FALSE(driver.lastErrorText().isEmpty());
    QTest::qWait(100);
    EXPECT_EQ(lost.count(), 1);
}

TEST_F(OnDataDriver, ReconnectAfterDisconnectReadsOnDataAgainAndModeIsFixedWhileOpen) {
    ASSERT_TRUE(driver.connectPort());
    driver.setReadMode(SerialPortDriver::ReadMode::Polling);  // ignored while open
    EXPECT_EQ(driver.readMode(), SerialPortDriver::ReadMode::OnData);
    driver.disconnectPort();
    ASSERT_TRUE(driver.connectPort());
    pty.write({1, 2, 3});
    ASSERT_TRUE(WaitUntil([&] { return received.total() == 3; }, 2000));
    // Each byte handed on once: the first connection's notification is gone.
    EXPECT_EQ(received.all(), (Bytes{1, 2, 3}));
}
