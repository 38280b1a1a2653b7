#pragma once

#include "links/ComPortTypes.h"
#include "links/MeterLink.h"
#include "session/SerialControlState.h"

#include <QObject>
#include <QString>

namespace veska {

class ExclusiveToggleGroup;
class LinkWatchdog;
class PortMap;
class SerialPortDriver;

// The serial connection commands of the main window: choosing COM1 to COM4, connecting
// and disconnecting the driver, and keeping the port and connect controls in step.
// Each window handler hands over to the method of the same name.
//
// A failed Connect and a port lost while connected are reported through message() and
// leave the controls in the disconnected state with COMCon released, so the user can
// pick a port and connect again.
class SerialConnection : public QObject, public MeterLink {
    Q_OBJECT
public:
    SerialConnection(SerialPortDriver& driver, LinkWatchdog& watchdog, QObject* parent = nullptr);

    // The link as the session sees it: open port; stopping disconnects as "STOP" does.
    bool isLinkActive() const override;
    QString linkDescription() const override;
    void stopLink() override { disconnectSerial(); }

    // Port items COM1..COM4 of the menu, and the port panels (BtCOM4 selects COM1,
    // BtCOM1 COM2, BtCOM2 COM3, BtCOM3 COM4: each panel steps to the next port).
    void selectCom1() { selectPort(ComPortNumber::pnCOM1); }
    void selectCom2() { selectPort(ComPortNumber::pnCOM2); }
    void selectCom3() { selectPort(ComPortNumber::pnCOM3); }
    void selectCom4() { selectPort(ComPortNumber::pnCOM4); }
    // A port is chosen only while the driver is closed; otherwise nothing changes.
    void selectPort(ComPortNumber port);

    void connectSerial();     // "START" and BTCon: connect
    void disconnectSerial();  // "STOP" and BtDiscon: disconnect, COMCon raised
    void onComConnectToggled(bool pressed);  // connect when now pressed, disconnect when released

    // Makes 'id' of the group the COMCon button: its clicks run onComConnectToggled, and the
    // connection releases it when the link fails.
    void bindComCon(ExclusiveToggleGroup& group, int id);

    // Sets the devices COM1..COM4 stand for (driver and port hints).
    void setPortMap(const PortMap& map);

    const SerialControlState& state() const { return m_state; }

signals:
    void stateChanged(const veska::SerialControlState& state);
    // A text for the user; emitted from within the polling tick when the port is lost,
    // so show it without blocking (a queued connection or a non-modal box).
    void message(const QString& text);

private:
    // Returns the failure text for the user, empty when the port is open.
    QString applyConnect();
    void applyDisconnect();
    void onPortLost(const QString& reason);
    void releaseComCon();
    void refreshPortHints();
    void publish();

    SerialPortDriver& m_driver;
    LinkWatchdog& m_watchdog;
    ExclusiveToggleGroup* m_group = nullptr;
    int m_comConnectId = -1;
    SerialControlState m_state;
};

}  // namespace veska
