#include "links/SerialTestSupport.h"

#include "links/HidDeviceMonitor.h"
#include "links/SimulatedHidPlatform.h"
#include "links/UsbConnection.h"
#include "session/LinkWatchdog.h"
#include "session/MeterSession.h"
#include "ui/LinkControls.h"

#include <QSignalSpy>

using namespace veska;
using namespace veska::test;

namespace {

SerialControlState Connected(SerialControlState s) {
    s.comSetupEnabled = false;
    s.startEnabled = false;
    s.startChecked = true;
    s.stopEnabled = true;
    s.stopChecked = false;
    s.connectPanelVisible = false;
    s.disconnectPanelVisible = true;
    s.comPanelsEnabled = false;
    return s;
}

SerialControlState Disconnected(SerialControlState s) {
    s.comSetupEnabled = true;
    s.startEnabled = true;
    s.startChecked = false;
    s.stopEnabled = false;
    s.stopChecked = true;
    s.connectPanelVisible = true;
    s.disconnectPanelVisible = false;
    s.comPanelsEnabled = true;
    return s;
}

// The window's link controls over a session with a serial meter on a pty and a simulated
// USB cable, as the window binds them.
struct ConnectionFixture : ::testing::Test {
    PtyMeter pty;
    std::shared_ptr<SimulatedHidPlatform> hid = std::make_shared<SimulatedHidPlatform>();
    std::shared_ptr<SimulatedHidDevice> cable = hid->plug(SimulatedHidPlatform::bridge());
    MeterSession session{SessionSetup{ModelSwitches::thisBuild(), std::make_shared<HidDeviceMonitor>(hid), {}, {}}};
    LinkControls connection{session};
    ExclusiveToggleGroup& toggles = connection.buttons();
    SerialPortDriver& driver = session.serialDriver();
    LinkWatchdog& watchdog = session.watchdog();
    const LinkControls::Button comConnect = LinkControls::ComConnect;
    const LinkControls::Button usbConnect = LinkControls::UsbConnect;
    const LinkControls::Button usbRead = LinkControls::UsbRead;
    QSignalSpy messages{&session, &MeterSession::linkFailed};

    void SetUp() override { connection.setPortMap(pty.map); }

    QString errorText(int i) const { return messages.at(i).at(0).value<LinkError>().text; }
    // The port panels, as the window binds them: each one selects the next port.
    void clickVisiblePanel() {
        const auto& visible = connection.serialState().comPanelVisible;
        if (visible[0]) connection.selectPort(ComPortNumber::Com2);
        else if (visible[1]) connection.selectPort(ComPortNumber::Com3);
        else if (visible[2]) connection.selectPort(ComPortNumber::Com4);
        else connection.selectPort(ComPortNumber::Com1);
    }
};

}  // namespace

TEST_F(ConnectionFixture, StartStateAndPortHints) {
    const SerialControlState& s = connection.serialState();
    SerialControlState initial;
    initial.portHints = s.portHints;
    EXPECT_EQ(s, initial);
    EXPECT_EQ(s.portHints[0], "COM1: " + pty.meter.slavePath());
    EXPECT_EQ(s.portHints[3], "COM4: /dev/ttyS3");
    EXPECT_FALSE(toggles.isPressed(comConnect));
}

TEST_F(ConnectionFixture, PortPanelsStepThroughTheFourPorts) {
    const ComPortNumber order[] = {ComPortNumber::Com2, ComPortNumber::Com3, ComPortNumber::Com4,
                                    ComPortNumber::Com1};
    for (ComPortNumber expected : order) {
        clickVisiblePanel();
        const int n = portIndex(expected);
        for (int i = 0; i < kComPortCount; ++i) {
            EXPECT_EQ(connection.serialState().comItemChecked[static_cast<std::size_t>(i)], i == n);
            EXPECT_EQ(connection.serialState().comPanelVisible[static_cast<std::size_t>(i)], i == n);
        }
        EXPECT_EQ(driver.comPort(), expected);
    }
}

TEST_F(ConnectionFixture, StartThenComConKeepsTheLinkAndTheSecondPressDisconnects) {
    QSignalSpy changes(&connection, &LinkControls::serialStateChanged);
    const SerialControlState start = connection.serialState();
    connection.start();
    EXPECT_TRUE(driver.isConnected());
    const SerialControlState connected = Connected(start);
    EXPECT_EQ(connection.serialState(), connected);
    EXPECT_FALSE(toggles.isPressed(comConnect));  // START leaves the button alone

    connection.click(comConnect);
    EXPECT_TRUE(toggles.isPressed(comConnect));
    EXPECT_TRUE(driver.isConnected());
    EXPECT_EQ(connection.serialState(), connected);

    connection.click(comConnect);
    EXPECT_FALSE(toggles.isPressed(comConnect));
    EXPECT_FALSE(driver.isConnected());
    EXPECT_EQ(connection.serialState(), Disconnected(connected));
    EXPECT_EQ(changes.count(), 3);
    EXPECT_EQ(messages.count(), 0);
}

TEST_F(ConnectionFixture, ComConThenStopRaisesTheButton) {
    connection.click(comConnect);
    EXPECT_TRUE(driver.isConnected());
    connection.stop();
    EXPECT_FALSE(driver.isConnected());
    EXPECT_FALSE(toggles.isPressed(comConnect));
    EXPECT_TRUE(connection.serialState().stopChecked);
    EXPECT_FALSE(connection.serialState().stopEnabled);
    EXPECT_TRUE(connection.serialState().startEnabled);
    EXPECT_FALSE(connection.serialState().startChecked);
    EXPECT_FALSE(session.serial().isLinkActive());
    EXPECT_EQ(session.linkStatus().state, LinkState::Disconnected);

    connection.click(comConnect);  // the next press connects at once
    EXPECT_TRUE(toggles.isPressed(comConnect));
    EXPECT_TRUE(driver.isConnected());
    EXPECT_TRUE(session.serial().isLinkActive());
    EXPECT_EQ(session.linkStatus(), (LinkStatus{LinkKind::Serial, LinkState::Connecting}));
}

TEST_F(ConnectionFixture, PortChoiceWhileConnectedIsIgnored) {
    connection.start();
    const SerialControlState before = connection.serialState();
    connection.selectPort(ComPortNumber::Com3);
    EXPECT_EQ(connection.serialState(), before);
    EXPECT_EQ(driver.comPort(), ComPortNumber::Com1);
}

TEST_F(ConnectionFixture, ComConReleasesUsbConWithoutRunningItsHandler) {
    QSignalSpy pressed(&toggles, &ExclusiveToggleGroup::pressedChanged);
    connection.click(usbConnect);
    EXPECT_EQ(session.linkStatus().kind, LinkKind::Usb);
    connection.click(comConnect);
    // The serial link stopped the USB reading; USB Connect's own release did not run.
    EXPECT_EQ(session.usbLog()->stringList().last(), "USB reading stopped: the serial link was connected");
    EXPECT_EQ(session.linkStatus().kind, LinkKind::Serial);
    EXPECT_FALSE(toggles.isPressed(usbConnect));
    EXPECT_TRUE(toggles.isPressed(comConnect));
    EXPECT_FALSE(toggles.isPressed(usbRead));
    ASSERT_EQ(pressed.count(), 3);  // usbConnect down, usbConnect up, comConnect down
    EXPECT_EQ(pressed.at(1).at(0).toInt(), usbConnect);
    EXPECT_FALSE(pressed.at(1).at(1).toBool());
}

TEST_F(ConnectionFixture, AFailedConnectIsReportedAndLeavesTheControlsDisconnected) {
    PortMap map;
    map.setPath(ComPortNumber::Com1, "/dev/veska-no-such-port");
    connection.setPortMap(map);
    connection.click(comConnect);
    EXPECT_FALSE(driver.isConnected());
    EXPECT_FALSE(toggles.isPressed(comConnect));
    EXPECT_TRUE(connection.serialState().connectPanelVisible);
    EXPECT_TRUE(connection.serialState().comSetupEnabled);
    ASSERT_EQ(messages.count(), 1);
    EXPECT_TRUE(errorText(0).contains("/dev/veska-no-such-port"));
    EXPECT_EQ(messages.at(0).at(0).value<LinkError>().kind, LinkError::Kind::PortNotOpened);
    EXPECT_EQ(session.linkStatus().state, LinkState::Disconnected);
}

TEST_F(ConnectionFixture, APulledDeviceTurnsTheLinkOffAndCanBeConnectedAgain) {
    connection.click(comConnect);
    watchdog.packetHandled();
    ASSERT_TRUE(watchdog.linkAlive());
    EXPECT_EQ(session.linkStatus(), (LinkStatus{LinkKind::Serial, LinkState::Receiving}));
    pty.meter.closeMaster();
    ASSERT_TRUE(WaitUntil([&] { return messages.count() == 1; }));
    EXPECT_FALSE(driver.isConnected());
    EXPECT_FALSE(watchdog.linkAlive());
    EXPECT_FALSE(toggles.isPressed(comConnect));
    EXPECT_TRUE(connection.serialState().connectPanelVisible);
    EXPECT_TRUE(connection.serialState().comPanelsEnabled);
    EXPECT_EQ(session.linkStatus(), (LinkStatus{LinkKind::Serial, LinkState::Lost}));
    EXPECT_EQ(messages.at(0).at(0).value<LinkError>().kind, LinkError::Kind::PortLost);

    PtyMeter replugged;
    connection.setPortMap(replugged.map);
    connection.click(comConnect);
    EXPECT_TRUE(driver.isConnected());
    EXPECT_EQ(messages.count(), 1);
}
