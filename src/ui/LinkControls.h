#pragma once

#include "session/LinkStatus.h"
#include "session/SerialConnection.h"
#include "ui/ExclusiveToggleGroup.h"
#include "ui/SerialControlState.h"

#include <QObject>

namespace veska {

class MeterSession;
class PortMap;

// The window's link controls as the session's link state shows them: the three toggle
// buttons of which at most one is pressed (COM Connect, USB Connect and the hidden Read),
// and the serial port's menu checks, port panels and Connect/Disconnect panels. Widgets
// forward their clicks here; each command goes to the session, and the controls follow
// what the session then reports.
class LinkControls : public QObject {
    Q_OBJECT
public:
    enum Button { ComConnect, UsbConnect, UsbRead };

    explicit LinkControls(MeterSession& session, QObject* parent = nullptr);

    // A toggle button clicked: it toggles, and connects or disconnects its link.
    void click(Button button);
    bool isPressed(Button button) const { return m_buttons.isPressed(button); }
    // The buttons' pressed states (the window sets its buttons from pressedChanged).
    ExclusiveToggleGroup& buttons() { return m_buttons; }

    // Port items and panels: choose the port while none is open.
    void selectPort(ComPortNumber port);
    // "START" and the Connect panel: connect the chosen port (the toggle buttons stay as they are).
    void start();
    // "STOP" and the Disconnect panel: disconnect the serial port, COM Connect raised.
    void stop();
    void setPortMap(const PortMap& map);

    const SerialControlState& serialState() const { return m_serial; }

signals:
    void serialStateChanged(const veska::SerialControlState& state);

private:
    void onLinkStatus(const LinkStatus& status);
    void onLinkFailed(const LinkError& error);
    void followUsbButtons();
    void showSerialConnected();
    void showSerialDisconnected();
    void publishSerial();

    MeterSession& m_session;
    ExclusiveToggleGroup m_buttons;
    SerialControlState m_serial;
    bool m_serialOpen = false;
};

}  // namespace veska
