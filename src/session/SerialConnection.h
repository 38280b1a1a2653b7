#pragma once

#include "links/ComPortTypes.h"
#include "links/MeterLink.h"
#include "session/LinkStatus.h"

#include <QObject>
#include <QString>

namespace veska {

class LinkWatchdog;
class PortMap;
class SerialPortDriver;

// The serial link of a session: which of COM1..COM4 is chosen, connecting and
// disconnecting the driver, and a port that went away while open.
//
// A failed connect and a port lost while connected are reported through failed() with the
// text for the user; the port is closed then, so the user can pick a port and connect again.
class SerialConnection : public QObject, public MeterLink {
    Q_OBJECT
public:
    SerialConnection(SerialPortDriver& driver, LinkWatchdog& watchdog, QObject* parent = nullptr);

    // The link as the session sees it: open port; stopping disconnects.
    bool isLinkActive() const override;
    QString linkDescription() const override;
    void stopLink() override { disconnectSerial(); }

    // A port is chosen only while the driver is closed; otherwise nothing changes.
    void selectPort(ComPortNumber port);

    // True when the port is open now.
    bool connectSerial();
    void disconnectSerial();

    // Sets the devices COM1..COM4 stand for.
    void setPortMap(const PortMap& map);

signals:
    // Opened, closed, lost or another port chosen.
    void changed();
    // Emitted from within the polling tick when the port is lost, so show it without
    // blocking (a queued connection or a non-modal box).
    void failed(const veska::LinkError& error);

private:
    void onPortLost(const QString& reason);

    SerialPortDriver& m_driver;
    LinkWatchdog& m_watchdog;
};

}  // namespace veska
