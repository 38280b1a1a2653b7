#include "session/SerialConnection.h"

#include "session/ExclusiveToggleGroup.h"
#include "session/LinkWatchdog.h"
#include "links/PortMap.h"
#include "links/SerialPortDriver.h"

namespace veska {

SerialConnection::SerialConnection(SerialPortDriver& driver, LinkWatchdog& watchdog, QObject* parent)
    : QObject(parent), m_driver(driver), m_watchdog(watchdog) {
    refreshPortHints();
    connect(&m_driver, &SerialPortDriver::portLost, this, &SerialConnection::onPortLost);
}

void SerialConnection::selectPort(ComPortNumber port) {
    if (m_driver.isConnected()) return;
    for (int i = 0; i < kComPortCount; ++i) {
        m_state.comItemChecked[static_cast<std::size_t>(i)] = i == portIndex(port);
        m_state.comPanelVisible[static_cast<std::size_t>(i)] = i == portIndex(port);
    }
    m_driver.setComPort(port);
    publish();
}

void SerialConnection::connectSerial() {
    const QString failure = applyConnect();
    publish();
    if (!failure.isEmpty()) emit message(failure);
}

void SerialConnection::disconnectSerial() {
    applyDisconnect();
    // A pressed COMCon on a closed port would make its next press disconnect again.
    releaseComCon();
    publish();
}

bool SerialConnection::isLinkActive() const { return m_driver.isConnected(); }

QString SerialConnection::linkDescription() const {
    return QStringLiteral("serial port COM%1").arg(portNumber(m_driver.comPort()));
}

void SerialConnection::onComConnectToggled(bool pressed) {
    if (pressed)
        connectSerial();
    else
        disconnectSerial();
}

void SerialConnection::bindComCon(ExclusiveToggleGroup& group, int id) {
    m_group = &group;
    m_comConnectId = id;
    group.setHandler(id, [this](bool pressed) { onComConnectToggled(pressed); });
}

void SerialConnection::setPortMap(const PortMap& map) {
    m_driver.setPortMap(map);
    refreshPortHints();
    publish();
}

QString SerialConnection::applyConnect() {
    m_state.comSetupEnabled = false;
    m_state.startChecked = true;
    m_state.startEnabled = false;
    m_state.stopEnabled = true;
    m_state.stopChecked = false;
    if (!m_driver.connectPort()) {
        // Showing the connected state for a port that never opened would hide the failure.
        const QString why = m_driver.lastErrorText();
        applyDisconnect();
        releaseComCon();
        return QStringLiteral("Could not open the serial port %1").arg(why);
    }
    m_state.btConVisible = false;
    m_state.btDisconVisible = true;
    m_state.comPanelsEnabled = false;
    return {};
}

void SerialConnection::applyDisconnect() {
    m_state.comSetupEnabled = true;
    m_state.startChecked = false;
    m_state.startEnabled = true;
    m_state.stopEnabled = false;
    m_state.stopChecked = true;
    m_driver.disconnectPort();
    m_state.btConVisible = true;
    m_state.btDisconVisible = false;
    m_state.comPanelsEnabled = true;
}

void SerialConnection::onPortLost(const QString& reason) {
    applyDisconnect();
    releaseComCon();
    m_watchdog.linkDown();
    publish();
    emit message(QStringLiteral("The serial port was lost: %1. Connect again when the device is back.").arg(reason));
}

void SerialConnection::releaseComCon() {
    if (m_group) m_group->setPressed(m_comConnectId, false);
}

void SerialConnection::refreshPortHints() {
    for (int i = 0; i < kComPortCount; ++i)
        m_state.portHints[static_cast<std::size_t>(i)] = m_driver.portMap().hintText(static_cast<ComPortNumber>(i));
}

void SerialConnection::publish() { emit stateChanged(m_state); }

}  // namespace veska
