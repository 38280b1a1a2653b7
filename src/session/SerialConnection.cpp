#include "session/SerialConnection.h"

#include "session/LinkWatchdog.h"
#include "links/PortMap.h"
#include "links/SerialPortDriver.h"

namespace veska {

SerialConnection::SerialConnection(SerialPortDriver& driver, LinkWatchdog& watchdog, QObject* parent)
    : QObject(parent), m_driver(driver), m_watchdog(watchdog) {
    connect(&m_driver, &SerialPortDriver::portLost, this, &SerialConnection::onPortLost);
}

void SerialConnection::selectPort(ComPortNumber port) {
    if (m_driver.isConnected()) return;
    m_driver.setComPort(port);
    emit changed();
}

bool SerialConnection::connectSerial() {
    if (!m_driver.connectPort()) {
        const QString why = m_driver.lastErrorText();
        // A half-open port would hide the failure.
        m_driver.disconnectPort();
        emit changed();
        emit failed(LinkError{LinkError::Kind::PortNotOpened, LinkKind::Serial,
                              QStringLiteral("Could not open the serial port %1").arg(why)});
        return false;
    }
    emit changed();
    return true;
}

void SerialConnection::disconnectSerial() {
    m_driver.disconnectPort();
    emit changed();
}

bool SerialConnection::isLinkActive() const { return m_driver.isConnected(); }

QString SerialConnection::linkDescription() const {
    return QStringLiteral("serial port COM%1").arg(portNumber(m_driver.comPort()));
}

void SerialConnection::setPortMap(const PortMap& map) {
    m_driver.setPortMap(map);
    emit changed();
}

void SerialConnection::onPortLost(const QString& reason) {
    m_driver.disconnectPort();
    m_watchdog.linkDown();
    emit failed(LinkError{LinkError::Kind::PortLost, LinkKind::Serial,
                          QStringLiteral("The serial port was lost: %1. Connect again when the device is back.").arg(reason)});
    emit changed();
}

}  // namespace veska
