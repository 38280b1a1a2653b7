#include "HidTestSupport.h"

#include "links/UsbConnection.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace veska::test {
namespace {

const std::vector<std::uint8_t> kMeterPacket = {0x2B, 0x30, 0x31, 0x32, 0x33, 0x20, 0x32,
                                                0x00, 0x00, 0x00, 0x80, 0x00, 0x0D, 0x0A};

class UsbConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { platform = std::make_shared<SimulatedHidPlatform>(); }

    std::shared_ptr<SimulatedHidDevice> plug(SimulatedHidDevice::Spec spec = QuietBridge()) {
        auto device = platform->plug(std::move(spec));
        QCoreApplication::processEvents();
        return device;
    }
    void connectUsb() {
        usb.reset();  // one link listens to the monitor at a time
        if (!monitor) monitor = std::make_unique<HidDeviceMonitor>(platform);
        usb = std::make_unique<UsbConnection>(*monitor, UsbReportRoute::VeskaReports, 2400);
        QObject::connect(usb.get(), &UsbConnection::message, [this](const QString& m) { messages << m; });
        usb->setPacketHandler([this](std::string_view text) { packets.emplace_back(text); });
    }
    QStringList history() const { return usb->historyModel()->stringList(); }
    QStringList captions() const { return usb->deviceListModel()->stringList(); }
    bool historyHas(const QString& text) const {
        const QStringList lines = history();
        return std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(text); });
    }

    std::shared_ptr<SimulatedHidPlatform> platform;
    std::unique_ptr<HidDeviceMonitor> monitor;
    std::unique_ptr<UsbConnection> usb;
    QStringList messages;
    std::vector<std::string> packets;
};

TEST_F(UsbConnectionTest, ConnectWritesTheBridgeReportAndReadsPacketsUntilPressedAgain) {
    plug(SimulatedHidPlatform::otherDevice(u"Keyboard"));
    auto cable = plug();
    connectUsb();
    EXPECT_EQ(captions(), (QStringList{"Keyboard", "USB to Serial"}));
    EXPECT_EQ(usb->selectedRow(), 1);

    usb->readMeter(true);
    ASSERT_EQ(cable->featureReports().size(), 1u);
    EXPECT_EQ(cable->featureReports()[0], (std::vector<std::uint8_t>{0x00, 0x60, 0x09, 0x00, 0x00, 0x03, 0, 0, 0, 0}));
    EXPECT_EQ(cable->bitRate(), 2400u);
    EXPECT_EQ(history().last(), "60 09 00 00 03 00 00 00 00 ");
    EXPECT_TRUE(usb->selectedHidDevice()->readerRunning());

    cable->feed(kMeterPacket);  // two reports of seven stream bytes
    cable->pushEmptyReports(1);
    ASSERT_TRUE(SpinUntil([&] { return !packets.empty(); }));
    EXPECT_EQ(packets[0], "2B3031323320320000008000" "0D0A");
    EXPECT_TRUE(historyHas("R 00  F7 2B 30 31 32 33 20 32 "));

    usb->readMeter(false);
    EXPECT_EQ(cable->featureReports().size(), 2u);  // written on every click
    EXPECT_FALSE(usb->selectedHidDevice()->readerRunning());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(UsbConnectionTest, OnlyACableWithoutSerialNumberIsSelectedAndTheLaterOfTwo) {
    SimulatedHidDevice::Spec numbered = QuietBridge();
    numbered.serial = u"A1B2";
    plug();
    plug(numbered);
    plug();
    connectUsb();
    // Identical cables are told apart by the USB port they sit in.
    EXPECT_EQ(captions(), (QStringList{"USB to Serial at 1-1", "USB to Serial (Serial=A1B2) at 1-2", "USB to Serial at 1-3"}));
    EXPECT_EQ(usb->selectedRow(), 2);
}

TEST_F(UsbConnectionTest, TheCableChosenByTheUserIsPickedAgainAtTheNextStart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings settings(dir.filePath("veska.ini"), QSettings::IniFormat);
    SimulatedHidDevice::Spec first = QuietBridge(), second = QuietBridge();
    first.portPath = "1-1.2";
    second.portPath = "1-1.3";
    plug(first);
    plug(second);
    connectUsb();
    usb->setSettings(&settings);
    EXPECT_EQ(usb->selectedRow(), 1);  // nothing remembered yet: the later one
    usb->selectDevice(0);
    EXPECT_EQ(settings.value(UsbConnection::kCableSettingsKey).toString(), "1-1.2");

    usb.reset();  // the next start
    connectUsb();
    EXPECT_EQ(usb->selectedRow(), 1);
    usb->setSettings(&settings);
    EXPECT_EQ(usb->selectedRow(), 0);
    EXPECT_EQ(captions()[0], "USB to Serial at 1-1.2");
    // A device change keeps the remembered cable picked too.
    plug(SimulatedHidPlatform::otherDevice(u"Keyboard"));
    ASSERT_TRUE(SpinUntil([&] { return captions().size() == 3; }));
    EXPECT_EQ(usb->selectedRow(), 0);
}

TEST_F(UsbConnectionTest, AKnownBridgeChipWithoutProductNameIsTakenAsTheCable) {
    SimulatedHidDevice::Spec nameless = QuietBridge();
    nameless.product.clear();
    nameless.vendorId = 0x1a86;
    nameless.productId = 0xe008;
    SimulatedHidDevice::Spec unknown = nameless;
    unknown.vendorId = 0x1209;  // an unknown chip without a name is not the cable
    plug(unknown);
    auto cable = plug(nameless);
    connectUsb();
    EXPECT_EQ(captions(), (QStringList{"Device VID=1209 PID=E008", "USB to Serial (no name reported)"}));
    EXPECT_EQ(usb->selectedRow(), 1);
    EXPECT_TRUE(historyHas("Device VID=1A86 PID=E008 at 1-2 reports no product name"));
    usb->readMeter(true);
    EXPECT_EQ(cable->featureReports().size(), 1u);
    cable->feed(kMeterPacket);
    cable->pushEmptyReports(1);
    ASSERT_TRUE(SpinUntil([&] { return packets.size() == 1; }));
}

TEST_F(UsbConnectionTest, WithoutACableConnectAsksToCheckIt) {
    SimulatedHidDevice::Spec nameless = SimulatedHidPlatform::otherDevice(u"");
    nameless.vendorId = 0x0A1B;
    nameless.productId = 0x00C2;
    plug(nameless);
    connectUsb();
    EXPECT_EQ(captions(), (QStringList{"Device VID=0A1B PID=00C2"}));
    bool raised = false;
    QObject::connect(usb.get(), &UsbConnection::meterReadingChanged, [&](bool down) { raised = !down; });
    usb->readMeter(true);
    EXPECT_EQ(messages, (QStringList{"USB interface cable is not securely connected, please check and re-try."}));
    EXPECT_TRUE(raised);
    EXPECT_FALSE(usb->meterReadingOn());
    EXPECT_FALSE(usb->selectedDeviceInfo());
}

TEST_F(UsbConnectionTest, SilentMeterEndsTheConnectionAt1900EmptyReports) {
    auto cable = plug();
    connectUsb();
    usb->readMeter(true);
    cable->pushEmptyReports(1899);
    ASSERT_TRUE(SpinUntil([&] { return usb->emptyReportCount() == 1899; }));
    EXPECT_FALSE(usb->checkSilentLink());
    EXPECT_TRUE(usb->meterReadingOn());

    cable->pushEmptyReports(1);
    ASSERT_TRUE(SpinUntil([&] { return usb->emptyReportCount() == 1900; }));
    EXPECT_TRUE(usb->checkSilentLink());
    EXPECT_EQ(messages, (QStringList{"USB interface cable is securely connected, please check if the meter is ready."}));
    EXPECT_FALSE(usb->meterReadingOn());
    EXPECT_EQ(usb->emptyReportCount(), 0);
    EXPECT_FALSE(usb->selectedHidDevice()->readerRunning());
}

// A bridge that refuses its configuration: the log says so with the error, the user is
// told once that the cable could not be configured, and the silent link that follows still
// ends at 1900 empty reports with its message.
TEST_F(UsbConnectionTest, RefusedConfigurationIsLoggedAndToldOnce) {
    auto cable = plug();
    connectUsb();
    cable->refuseFeatureReports(EPIPE);
    usb->readMeter(true);
    EXPECT_TRUE(cable->featureReports().empty());
    const QString error = QString::fromLocal8Bit(std::strerror(EPIPE));
    EXPECT_EQ(history().last(),
              QString("Configuration report 60 09 00 00 03 00 00 00 00 NOT SENT: %1 (20)").arg(error));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0],
              QString("The USB interface cable could not be configured (%1). Unplug it and plug it in again.").arg(error));

    usb->readMeter(false);  // written again, refused again: logged, not told again
    usb->readMeter(true);
    EXPECT_TRUE(history().last().contains("NOT SENT"));
    cable->pushEmptyReports(1899);
    ASSERT_TRUE(SpinUntil([&] { return usb->emptyReportCount() >= 1899; }));
    EXPECT_FALSE(usb->checkSilentLink());
    cable->pushEmptyReports(1);
    ASSERT_TRUE(SpinUntil([&] { return usb->emptyReportCount() >= 1900; }));
    EXPECT_TRUE(usb->checkSilentLink());
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[1], "USB interface cable is securely connected, please check if the meter is ready.");
    EXPECT_FALSE(usb->meterReadingOn());

    // Accepted again: logged as sent, and a later refusal is told again.
    cable->refuseFeatureReports(0);
    usb->sendBridgeConfiguration();
    EXPECT_EQ(history().last(), "60 09 00 00 03 00 00 00 00 ");
    cable->refuseFeatureReports(EIO);
    usb->sendBridgeConfiguration();
    EXPECT_EQ(messages.size(), 3);
}

TEST_F(UsbConnectionTest, AnotherDevicePluggedWhileReadingLeavesTheCableBeingRead) {
    auto cable = plug();
    connectUsb();
    usb->readMeter(true);
    plug(SimulatedHidPlatform::otherDevice(u"Keyboard"));
    ASSERT_TRUE(historyHas("Arrival of Keyboard"));
    EXPECT_EQ(captions(), (QStringList{"USB to Serial", "Keyboard"}));
    EXPECT_EQ(usb->selectedRow(), 0);
    EXPECT_TRUE(usb->meterReadingOn());
    EXPECT_EQ(cable->featureReports().size(), 2u);  // the bridge is configured again
    ASSERT_TRUE(usb->selectedHidDevice());
    EXPECT_TRUE(usb->selectedHidDevice()->readerRunning());

    cable->feed(kMeterPacket);
    cable->pushEmptyReports(1);
    ASSERT_TRUE(SpinUntil([&] { return packets.size() == 1; }));
}

TEST_F(UsbConnectionTest, CablePulledWhileReadingIsAwaitedAndReadAgainWhenPluggedBack) {
    SimulatedHidDevice::Spec spec = QuietBridge();
    spec.portPath = "1-1.2";
    auto cable = plug(spec);
    connectUsb();
    QList<qint64> gaps;
    QObject::connect(usb.get(), &UsbConnection::cableBack, [&](const QString&, qint64 ms) { gaps << ms; });
    usb->readMeter(true);
    cable->feed(kMeterPacket);
    cable->pushEmptyReports(1);
    ASSERT_TRUE(SpinUntil([&] { return packets.size() == 1; }));

    platform->unplug(cable);
    ASSERT_TRUE(SpinUntil([&] { return usb->awaitingCable(); }));
    EXPECT_TRUE(historyHas("Removal of USB to Serial"));
    EXPECT_TRUE(historyHas("USB to Serial unplugged while being read: waiting for it to come back"));
    EXPECT_TRUE(usb->meterReadingOn());
    EXPECT_EQ(usb->selectedHidDevice(), nullptr);  // nothing is read or retried meanwhile
    EXPECT_FALSE(usb->checkSilentLink());
    EXPECT_TRUE(messages.isEmpty());

    // Another device coming and going is not the cable.
    auto keyboard = plug(SimulatedHidPlatform::otherDevice(u"Keyboard"));
    ASSERT_TRUE(SpinUntil([&] { return captions() == QStringList{"Keyboard"}; }));
    EXPECT_TRUE(usb->awaitingCable());

    auto back = plug(spec);
    ASSERT_TRUE(SpinUntil([&] { return !usb->awaitingCable(); }));
    EXPECT_EQ(captions(), (QStringList{"Keyboard", "USB to Serial"}));
    EXPECT_EQ(usb->selectedRow(), 1);
    EXPECT_EQ(back->featureReports().size(), 1u);  // configured again
    EXPECT_EQ(back->bitRate(), 2400u);
    ASSERT_TRUE(usb->selectedHidDevice());
    EXPECT_TRUE(usb->selectedHidDevice()->readerRunning());
    back->feed(kMeterPacket);
    back->pushEmptyReports(1);
    ASSERT_TRUE(SpinUntil([&] { return packets.size() == 2; }));
    EXPECT_EQ(packets[1], packets[0]);
    ASSERT_EQ(gaps.size(), 1);
    EXPECT_GE(gaps[0], 0);
    const QStringList lines = history();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const QString& l) { return l.contains("is back after a gap of"); }), 1);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const QString& l) { return l.contains("waiting for it"); }), 1);
    platform->unplug(keyboard);
    ASSERT_TRUE(SpinUntil([&] { return captions().size() == 1; }));
    EXPECT_TRUE(usb->selectedHidDevice() && usb->selectedHidDevice()->readerRunning());
}

TEST_F(UsbConnectionTest, OfTwoCablesOnlyTheOneInTheSamePortIsTakenBack) {
    SimulatedHidDevice::Spec a = QuietBridge(), b = QuietBridge();
    a.portPath = "1-1.2";
    b.portPath = "1-1.3";
    auto cableA = plug(a);
    auto cableB = plug(b);
    connectUsb();
    usb->selectDevice(0);
    usb->readMeter(true);
    EXPECT_EQ(cableA->featureReports().size(), 1u);

    platform->unplug(cableA);
    ASSERT_TRUE(SpinUntil([&] { return usb->awaitingCable(); }));
    EXPECT_TRUE(historyHas("USB to Serial at 1-1.2 unplugged while being read"));
    EXPECT_TRUE(cableB->featureReports().empty());  // the other cable is left alone

    SimulatedHidDevice::Spec elsewhere = QuietBridge();
    elsewhere.portPath = "2-1";  // a third cable plugged elsewhere meanwhile is a stranger too...
    plug(elsewhere);
    plug(QuietBridge());  // ...and so is a fourth
    SpinFor(50);
    EXPECT_TRUE(usb->awaitingCable());

    auto back = plug(a);
    ASSERT_TRUE(SpinUntil([&] { return !usb->awaitingCable(); }));
    EXPECT_EQ(usb->deviceListModel()->stringList()[usb->selectedRow()], "USB to Serial at 1-1.2");
    EXPECT_EQ(back->featureReports().size(), 1u);
    EXPECT_TRUE(cableB->featureReports().empty());
}

TEST_F(UsbConnectionTest, TheOnlyCablePluggedBackIntoAnotherPortIsTakenBack) {
    SimulatedHidDevice::Spec spec = QuietBridge();
    spec.portPath = "1-1.2";
    auto cable = plug(spec);
    connectUsb();
    usb->readMeter(true);
    platform->unplug(cable);
    ASSERT_TRUE(SpinUntil([&] { return usb->awaitingCable(); }));
    spec.portPath = "1-4";
    auto back = plug(spec);
    ASSERT_TRUE(SpinUntil([&] { return !usb->awaitingCable(); }));
    EXPECT_EQ(back->featureReports().size(), 1u);
    EXPECT_TRUE(usb->selectedHidDevice() && usb->selectedHidDevice()->readerRunning());
}

TEST_F(UsbConnectionTest, CablePulledAndConnectionEndedByTheUserIsNotTakenBack) {
    auto cable = plug();
    connectUsb();
    usb->readMeter(true);
    platform->unplug(cable);
    ASSERT_TRUE(SpinUntil([&] { return usb->awaitingCable(); }));
    usb->readMeter(false);
    EXPECT_FALSE(usb->awaitingCable());
    auto back = plug();
    SpinFor(50);
    EXPECT_FALSE(usb->meterReadingOn());
    EXPECT_TRUE(back->featureReports().empty());
    EXPECT_FALSE(historyHas("USB to Serial is back"));
}

TEST_F(UsbConnectionTest, AFailingPacketHandlerDropsThePacketAndReadingGoesOn) {
    auto cable = plug();
    connectUsb();
    int calls = 0;
    usb->setPacketHandler([&](std::string_view) {
        if (++calls == 1) throw std::invalid_argument("'?' is not a valid integer value");
    });
    usb->readMeter(true);
    for (int i = 0; i < 2; ++i) {
        cable->feed(kMeterPacket);
        cable->pushEmptyReports(1);
    }
    ASSERT_TRUE(SpinUntil([&] { return calls == 2; }));
    EXPECT_TRUE(historyHas("Packet dropped: '?' is not a valid integer value"));
    EXPECT_FALSE(usb->reassembly().packetOpen());
    EXPECT_TRUE(usb->reassembly().reportPayloadText().empty());
}

TEST_F(UsbConnectionTest, CableWithoutPermissionIsListedAndTheLogPointsToTheRule) {
    SimulatedHidDevice::Spec locked = QuietBridge();
    locked.readWrite = false;
    plug(locked);
    connectUsb();
    EXPECT_EQ(usb->selectedRow(), 0);
    EXPECT_TRUE(historyHas("No permission to use USB to Serial"));
    usb->clearHistory();
    EXPECT_TRUE(history().isEmpty());
    usb->readMeter(true);
    EXPECT_FALSE(usb->meterReadingOn());
    EXPECT_TRUE(history().last().contains("70-veska-usb-serial.rules"));
    const auto info = usb->selectedDeviceInfo();
    ASSERT_TRUE(info);
    EXPECT_FALSE(info->readWrite);
    EXPECT_EQ(info->caption, "USB to Serial");
    EXPECT_TRUE(info->toText().contains("Vendor ID: 1209"));
}

TEST_F(UsbConnectionTest, HistoryKeepsTheNewestTenThousandLines) {
    plug();
    connectUsb();
    usb->clearHistory();
    for (int i = 0; i < UsbConnection::kHistoryLimit; ++i) usb->sendBridgeConfiguration();
    usb->readMeter(true);  // one more line, different from the others: 60 09 ...
    EXPECT_EQ(history().size(), UsbConnection::kHistoryLimit);
    EXPECT_EQ(history().last(), "60 09 00 00 03 00 00 00 00 ");
}

TEST(UsbConnectionText, ReadErrorLineHasTheSystemTextAndHexCode) {
    EXPECT_EQ(UsbConnection::readErrorLine(ENODEV), "READ ERROR: No such device (13)");
}

}  // namespace
}  // namespace veska::test
