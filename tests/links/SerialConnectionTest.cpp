#include "SerialTestSupport.h"

#include "session/ExclusiveToggleGroup.h"
#include "session/LinkWatchdog.h"
#include "session/SerialConnection.h"

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
    s.btConVisible = false;
    s.btDisconVisible = true;
    s.comPanelsEnabled = false;
    return s;
}

SerialControlState Disconnected(SerialControlState s) {
    s.comSetupEnabled = true;
    s.startEnabled = true;
    s.startChecked = false;
    s.stopEnabled = false;
    s.stopChecked = true;
    s.btConVisible = true;
    s.btDisconVisible = false;
    s.comPanelsEnabled = true;
    return s;
}

struct ConnectionFixture : ::testing::Test {
    PtyMeter pty;
    SerialPortDriver driver;
    LinkWatchdog watchdog;
    ExclusiveToggleGroup toggles;
    SerialConnection connection{driver, watchdog};
    int usbRuns = 0;
    const int COMCon = toggles.addButton();
    const int USBCon = toggles.addButton([this](bool) { ++usbRuns; });
    const int ReadBtn = toggles.addButton();
    QSignalSpy messages{&connection, &SerialConnection::message};

    void SetUp() override {
        connection.setPortMap(pty.map);
        connection.bindComCon(toggles, COMCon);
    }

    // The port panels, as the window binds them: each one selects the next port.
    void clickVisiblePanel() {
        const auto& visible = connection.state().comPanelVisible;
        if (visible[0]) connection.selectCom2();
        else if (visible[1]) connection.selectCom3();
        else if (visible[2]) connection.selectCom4();
        else connection.selectCom1();
    }
};

}  // namespace

TEST_F(ConnectionFixture, StartStateAndPortHints) {
    const SerialControlState& s = connection.state();
    SerialControlState initial;
    initial.portHints = s.portHints;
    EXPECT_EQ(s, initial);
    EXPECT_EQ(s.portHints[0], "COM1: " + pty.meter.slavePath());
    EXPECT_EQ(s.portHints[3], "COM4: /dev/ttyS3");
    EXPECT_FALSE(toggles.isPressed(COMCon));
}

TEST_F(ConnectionFixture, PortPanelsStepThroughTheFourPorts) {
    const ComPortNumber order[] = {ComPortNumber::pnCOM2, ComPortNumber::pnCOM3, ComPortNumber::pnCOM4,
                                    ComPortNumber::pnCOM1};
    for (ComPortNumber expected : order) {
        clickVisiblePanel();
        const int n = portIndex(expected);
        for (int i = 0; i < kComPortCount; ++i) {
            EXPECT_EQ(connection.state().comItemChecked[static_cast<std::size_t>(i)], i == n);
            EXPECT_EQ(connection.state().comPanelVisible[static_cast<std::size_t>(i)], i == n);
        }
        EXPECT_EQ(driver.comPort(), expected);
    }
}

TEST_F(ConnectionFixture, StartThenComConKeepsTheLinkAndTheSecondPressDisconnects) {
    QSignalSpy changes(&connection, &SerialConnection::stateChanged);
    const SerialControlState start = connection.state();
    connection.connectSerial();
    EXPECT_TRUE(driver.isConnected());
    const SerialControlState connected = Connected(start);
    EXPECT_EQ(connection.state(), connected);
    EXPECT_FALSE(toggles.isPressed(COMCon));  // START leaves the button alone

    toggles.click(COMCon);
    EXPECT_TRUE(toggles.isPressed(COMCon));
    EXPECT_TRUE(driver.isConnected());
    EXPECT_EQ(connection.state(), connected);

    toggles.click(COMCon);
    EXPECT_FALSE(toggles.isPressed(COMCon));
    EXPECT_FALSE(driver.isConnected());
    EXPECT_EQ(connection.state(), Disconnected(connected));
    EXPECT_EQ(changes.count(), 3);
    EXPECT_EQ(messages.count(), 0);
}

TEST_F(ConnectionFixture, ComConThenStopRaisesTheButton) {
    toggles.click(COMCon);
    EXPECT_TRUE(driver.isConnected());
    connection.disconnectSerial();
    EXPECT_FALSE(driver.isConnected());
    EXPECT_FALSE(toggles.isPressed(COMCon));
    EXPECT_TRUE(connection.state().stopChecked);
    EXPECT_FALSE(connection.state().stopEnabled);
    EXPECT_TRUE(connection.state().startEnabled);
    EXPECT_FALSE(connection.state().startChecked);
    EXPECT_FALSE(connection.isLinkActive());

    toggles.click(COMCon);  // the next press connects at once
    EXPECT_TRUE(toggles.isPressed(COMCon));
    EXPECT_TRUE(driver.isConnected());
    EXPECT_TRUE(connection.isLinkActive());
}

TEST_F(ConnectionFixture, PortChoiceWhileConnectedIsIgnored) {
    connection.connectSerial();
    const SerialControlState before = connection.state();
    connection.selectCom3();
    EXPECT_EQ(connection.state(), before);
    EXPECT_EQ(driver.comPort(), ComPortNumber::pnCOM1);
}

TEST_F(ConnectionFixture, ComConReleasesUsbConWithoutRunningItsHandler) {
    QSignalSpy pressed(&toggles, &ExclusiveToggleGroup::pressedChanged);
    toggles.click(USBCon);
    EXPECT_EQ(usbRuns, 1);
    toggles.click(COMCon);
    EXPECT_EQ(usbRuns, 1);
    EXPECT_FALSE(toggles.isPressed(USBCon));
    EXPECT_TRUE(toggles.isPressed(COMCon));
    EXPECT_FALSE(toggles.isPressed(ReadBtn));
    ASSERT_EQ(pressed.count(), 3);  // USBCon down, USBCon up, COMCon down
    EXPECT_EQ(pressed.at(1).at(0).toInt(), USBCon);
    EXPECT_FALSE(pressed.at(1).at(1).toBool());
}

TEST_F(ConnectionFixture, AFailedConnectIsReportedAndLeavesTheControlsDisconnected) {
    PortMap map;
    map.setPath(ComPortNumber::pnCOM1, "/dev/veska-no-such-port");
    connection.setPortMap(map);
    toggles.click(COMCon);
    EXPECT_FALSE(driver.isConnected());
    EXPECT_FALSE(toggles.isPressed(COMCon));
    EXPECT_TRUE(connection.state().btConVisible);
    EXPECT_TRUE(connection.state().comSetupEnabled);
    ASSERT_EQ(messages.count(), 1);
    EXPECT_TRUE(messages.at(0).at(0).toString().contains("/dev/veska-no-such-port"));
}

TEST_F(ConnectionFixture, APulledDeviceTurnsTheLinkOffAndCanBeConnectedAgain) {
    toggles.click(COMCon);
    watchdog.packetHandled();
    ASSERT_TRUE(watchdog.linkAlive());
    pty.meter.closeMaster();
    ASSERT_TRUE(WaitUntil([&] { return messages.count() == 1; }));
    EXPECT_FALSE(driver.isConnected());
    EXPECT_FALSE(watchdog.linkAlive());
    EXPECT_FALSE(toggles.isPressed(COMCon));
    EXPECT_TRUE(connection.state().btConVisible);
    EXPECT_TRUE(connection.state().comPanelsEnabled);

    PtyMeter replugged;
    connection.setPortMap(replugged.map);
    toggles.click(COMCon);
    EXPECT_TRUE(driver.isConnected());
    EXPECT_EQ(messages.count(), 1);
}

TEST(LinkWatchdog, ThreeSilentTicksTurnTheIndicatorAndAPacketTurnsItBack) {
    LinkWatchdog watchdog;
    QSignalSpy indicator(&watchdog, &LinkWatchdog::linkIndicatorChanged);
    int hookRuns = 0;
    watchdog.setSilentLinkHook([&] { ++hookRuns; });
    EXPECT_FALSE(watchdog.linkAlive());

    watchdog.packetHandled();
    EXPECT_TRUE(watchdog.linkAlive());
    for (int i = 0; i < 10; ++i) {  // a packet between every two ticks
        watchdog.onWatchdogTick();
        watchdog.packetHandled();
    }
    EXPECT_TRUE(watchdog.linkAlive());
    EXPECT_EQ(hookRuns, 0);

    watchdog.onWatchdogTick();
    watchdog.onWatchdogTick();
    EXPECT_TRUE(watchdog.linkAlive());
    EXPECT_EQ(watchdog.linkIdleTicks(), 2);
    watchdog.onWatchdogTick();
    EXPECT_FALSE(watchdog.linkAlive());
    EXPECT_EQ(watchdog.linkIdleTicks(), 0);
    EXPECT_EQ(hookRuns, 1);

    for (int i = 0; i < 6; ++i) watchdog.onWatchdogTick();  // the silent branch on every third tick
    EXPECT_EQ(hookRuns, 3);

    watchdog.packetHandled();
    EXPECT_TRUE(watchdog.linkAlive());
    ASSERT_EQ(indicator.count(), 3);  // on, off, on: no repeats
    EXPECT_TRUE(indicator.at(2).at(0).toBool());
}
