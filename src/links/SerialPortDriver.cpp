#include "links/SerialPortDriver.h"

#include <algorithm>

namespace veska {

SerialPortDriver::SerialPortDriver(QObject* parent) : QObject(parent) {
    m_receiveBuffer.assign(m_inBufSize, 0);
    connect(&m_pollTimer, &QTimer::timeout, this, &SerialPortDriver::pollTick);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPortDriver::onPortError);
}

SerialPortDriver::~SerialPortDriver() { disconnectPort(); }

bool SerialPortDriver::connectPort() {
    if (isConnected()) return true;
    m_port.setPortName(portPath());
    // QSerialPort takes the port's lock file and TIOCEXCL: nobody else may use it meanwhile.
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_lastErrorText = QStringLiteral("%1 (%2): %3").arg(PortMap::portName(m_comPort), portPath(), m_port.errorString());
        m_port.clearError();
        return false;
    }
    m_lastErrorText.clear();
    applySettings();
    if (m_readMode == ReadMode::OnData) {
        m_readyReadConnection = connect(&m_port, &QSerialPort::readyRead, this, &SerialPortDriver::readAvailable);
        // Bytes queued before the connection was made raise no further notification.
        if (m_port.bytesAvailable() > 0)
            QMetaObject::invokeMethod(this, &SerialPortDriver::readAvailable, Qt::QueuedConnection);
    } else {
        startPolling();
    }
    return true;
}

void SerialPortDriver::disconnectPort() {
    if (!isConnected()) return;
    m_pollTimer.stop();
    disconnect(m_readyReadConnection);
    m_port.close();
    m_port.clearError();
}

void SerialPortDriver::applySettings() {
    if (!isConnected()) return;
    applyLineSettings();
    purge(true, true);
    // The driver's input queue: what arrives between two ticks waits here, the rest in the kernel.
    m_port.setReadBufferSize(m_inBufSize);
    // Modem-line ioctls fail on a pseudo-terminal; the port works regardless.
    m_port.clearError();
}

void SerialPortDriver::applyLineSettings() {
    m_port.setBaudRate(baudRateValue(m_speed));
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(false);
}

void SerialPortDriver::purge(bool input, bool output) {
    if (!isConnected()) return;
    QSerialPort::Directions directions;
    if (input) directions |= QSerialPort::Input;
    if (output) directions |= QSerialPort::Output;
    if (directions) m_port.clear(directions);
}

void SerialPortDriver::startPolling() { m_pollTimer.start(std::max<int>(1, m_pollingDelay)); }

void SerialPortDriver::pollTick() {
    if (!isConnected()) return;
    if (deliverOneRead()) emit readBatchDone();
}

void SerialPortDriver::readAvailable() {
    // Everything queued now, in reads of the buffer's size. The handler may disconnect.
    bool delivered = false;
    while (isConnected() && m_port.bytesAvailable() > 0 && deliverOneRead()) delivered = true;
    if (delivered) emit readBatchDone();
}

bool SerialPortDriver::deliverOneRead() {
    const qint64 count =
        m_port.read(reinterpret_cast<char*>(m_receiveBuffer.data()), static_cast<qint64>(m_receiveBuffer.size()));
    if (count <= 0) return false;
    if (m_onReceiveData) m_onReceiveData(m_receiveBuffer.data(), static_cast<std::size_t>(count));
    return true;
}

void SerialPortDriver::setReadMode(ReadMode mode) {
    if (isConnected()) return;
    m_readMode = mode;
}

void SerialPortDriver::onPortError(QSerialPort::SerialPortError error) {
    // A vanished device (pulled adapter, closed pty) leaves the port open but failing
    // on every read notification, over and over: close it from the event loop, not from
    // inside QSerialPort's own notification.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) return;
    if (m_closingFailedPort || !isConnected()) return;
    m_closingFailedPort = true;
    m_lastErrorText = QStringLiteral("%1 (%2): %3").arg(PortMap::portName(m_comPort), portPath(), m_port.errorString());
    QMetaObject::invokeMethod(this, &SerialPortDriver::closeFailedPort, Qt::QueuedConnection);
}

void SerialPortDriver::closeFailedPort() {
    m_closingFailedPort = false;
    if (!isConnected()) return;
    // What arrived before the failure is still handed on.
    bool delivered = false;
    while (isConnected() && m_port.bytesAvailable() > 0 && deliverOneRead()) delivered = true;
    if (delivered) emit readBatchDone();
    const QString reason = m_lastErrorText;
    disconnectPort();
    m_lastErrorText = reason;
    emit portLost(reason);
}

void SerialPortDriver::setComPort(ComPortNumber port) {
    if (isConnected()) return;
    m_comPort = port;
}

void SerialPortDriver::setComPortSpeed(ComPortBaudRate speed) {
    m_speed = speed;
    applySettings();
}

void SerialPortDriver::setComPortInBufSize(std::uint16_t size) {
    if (isConnected()) return;
    m_inBufSize = size;
    m_receiveBuffer.assign(std::max<std::size_t>(1, size), 0);
}

void SerialPortDriver::setComPortPollingDelay(std::uint16_t ms) {
    if (ms == m_pollingDelay) return;
    m_pollingDelay = ms;
    if (m_pollTimer.isActive()) startPolling();
}

}  // namespace veska
