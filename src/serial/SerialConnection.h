#pragma once

#include "serial/ComPortTypes.h"
#include "serial/MeterLink.h"
#include "serial/SerialControlState.h"

#include <QObject>
#include <QString>

namespace veska {

class ExclusiveToggleGroup;
class LinkWatchdog;
class PortMap;
class TCommPortDriver;

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
    SerialConnection(TCommPortDriver& driver, LinkWatchdog& watchdog, QObject* parent = nullptr);

    // The link as the session sees it: open port; stopping disconnects as "STOP" does.
    bool isLinkActive() const override;
    QString linkDescription() const override;
    void stopLink() override { BtDiscon1Click(); }

    // Port items COM1..COM4 of the menu, and the port panels (BtCOM4 selects COM1,
    // BtCOM1 COM2, BtCOM2 COM3, BtCOM3 COM4: each panel steps to the next port).
    void COM11Click() { selectPort(TComPortNumber::pnCOM1); }
    void COM21Click() { selectPort(TComPortNumber::pnCOM2); }
    void COM31Click() { selectPort(TComPortNumber::pnCOM3); }
    void COM41Click() { selectPort(TComPortNumber::pnCOM4); }
    // A port is chosen only while the driver is closed; otherwise nothing changes.
    void selectPort(TComPortNumber port);

    void BTCon1Click();     // "START" and BTCon: connect
    void BtDiscon1Click();  // "STOP" and BtDiscon: disconnect, COMCon raised
    void COMConClick(bool pressed);  // connect when now pressed, disconnect when released

    // Makes 'id' of the group the COMCon button: its clicks run COMConClick, and the
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

    TCommPortDriver& m_driver;
    LinkWatchdog& m_watchdog;
    ExclusiveToggleGroup* m_group = nullptr;
    int m_comConId = -1;
    SerialControlState m_state;
};

}  // namespace veska
