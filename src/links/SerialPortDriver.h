#pragma once

#include "links/ComPortTypes.h"
#include "links/PortMap.h"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace veska {

// Owns one serial port and polls it on a timer of the thread it lives on (the UI
// thread): each tick makes one read of up to ComPortInBufSize bytes and hands what
// arrived to OnReceiveData. It only receives, always as 8 data bits, no parity, one stop
// bit, no flow control, DTR raised on open.
//
// Reads either poll on the timer (the window: the link watchdog's timing assumes it) or,
// in ReadMode::OnData, run whenever the port has bytes, taking everything queued in reads
// of up to ComPortInBufSize bytes each; no timer runs then and a silent port costs nothing.
// Either way readBatchDone() follows each read pass that delivered bytes.
//
// The port names COM1 to COM4 are resolved through the PortMap. A port that goes away
// while open (a USB adapter pulled) is closed by the driver, which then emits portLost.
class SerialPortDriver : public QObject {
    Q_OBJECT
public:
    // The bytes are valid only during the call; size is at least 1.
    using ReceiveDataHandler = std::function<void(const std::uint8_t* data, std::size_t size)>;

    enum class ReadMode { Polling, OnData };

    explicit SerialPortDriver(QObject* parent = nullptr);
    ~SerialPortDriver() override;

    SerialPortDriver(const SerialPortDriver&) = delete;
    SerialPortDriver& operator=(const SerialPortDriver&) = delete;

    bool connectPort();
    void disconnectPort();
    bool isConnected() const { return m_port.isOpen(); }
    void applySettings();
    void purge(bool input, bool output);

    ComPortNumber comPort() const { return m_comPort; }
    void setComPort(ComPortNumber port);
    ComPortBaudRate comPortSpeed() const { return m_speed; }
    void setComPortSpeed(ComPortBaudRate speed);
    std::uint16_t comPortInBufSize() const { return m_inBufSize; }
    void setComPortInBufSize(std::uint16_t size);
    std::uint16_t comPortPollingDelay() const { return m_pollingDelay; }
    void setComPortPollingDelay(std::uint16_t ms);
    void setOnReceiveData(ReceiveDataHandler handler) { m_onReceiveData = std::move(handler); }
    ReadMode readMode() const { return m_readMode; }
    // Takes effect at the next connectPort (ignored while connected).
    void setReadMode(ReadMode mode);

    const PortMap& portMap() const { return m_portMap; }
    void setPortMap(const PortMap& map) { m_portMap = map; }
    // The device path the current ComPort stands for.
    QString portPath() const { return m_portMap.path(m_comPort); }

    // Why the last Connect failed or why the port was lost; empty after a good Connect.
    QString lastErrorText() const { return m_lastErrorText; }

    // Milliseconds to the next polling tick, -1 when polling is stopped.
    int pollRemainingTime() const { return m_pollTimer.remainingTime(); }

signals:
    // The open port failed under the driver (device removed); the driver has closed it.
    void portLost(const QString& reason);
    // A read pass handed bytes to OnReceiveData: what they completed has been handled
    // (a place to flush output gathered from them).
    void readBatchDone();

private:
    void pollTick();
    void readAvailable();
    bool deliverOneRead();
    void onPortError(QSerialPort::SerialPortError error);
    void closeFailedPort();
    void applyLineSettings();
    void startPolling();

    QSerialPort m_port;
    QTimer m_pollTimer;
    std::vector<std::uint8_t> m_receiveBuffer;
    PortMap m_portMap;
    ReceiveDataHandler m_onReceiveData;
    QString m_lastErrorText;

    ComPortNumber m_comPort = ComPortNumber::Com1;
    ComPortBaudRate m_speed = ComPortBaudRate::Baud9600;
    std::uint16_t m_inBufSize = 2048;
    std::uint16_t m_pollingDelay = 50;
    ReadMode m_readMode = ReadMode::Polling;
    QMetaObject::Connection m_readyReadConnection;
    bool m_closingFailedPort = false;
};

}  // namespace veska
