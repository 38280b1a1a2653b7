#include "ui/LinkControls.h"

#include "session/MeterSession.h"

namespace veska {

LinkControls::LinkControls(MeterSession& session, QObject* parent) : QObject(parent), m_session(session) {
    m_buttons.addButton([this](bool down) {
        if (down) {
            m_session.connectSerial(m_session.serialPort());
        } else {
            stop();
        }
    });
    m_buttons.addButton([this](bool down) {
        if (down) {
            m_session.connectUsb(-1, LinkKind::Usb);
        } else {
            m_session.disconnectUsb(LinkKind::Usb);
        }
    });
    m_buttons.addButton([this](bool down) {
        if (down) {
            m_session.connectUsb(-1, LinkKind::UsbRawReports);
        } else {
            m_session.disconnectUsb(LinkKind::UsbRawReports);
        }
    });
    selectPort(m_session.serialPort());
    connect(&m_session, &MeterSession::linkStatusChanged, this, &LinkControls::onLinkStatus);
    connect(&m_session, &MeterSession::linkFailed, this, &LinkControls::onLinkFailed);
    connect(&m_session.serial(), &SerialConnection::changed, this, [this] { onLinkStatus(m_session.linkStatus()); });
}

void LinkControls::click(Button button) {
    m_buttons.click(button);
    followUsbButtons();
}

void LinkControls::selectPort(ComPortNumber port) {
    if (m_serialOpen) return;
    m_session.selectSerialPort(port);
    for (int i = 0; i < kComPortCount; ++i) {
        m_serial.comItemChecked[static_cast<std::size_t>(i)] = i == portIndex(port);
        m_serial.comPanelVisible[static_cast<std::size_t>(i)] = i == portIndex(port);
    }
    publishSerial();
}

void LinkControls::start() { m_session.connectSerial(m_session.serialPort()); }

void LinkControls::stop() {
    m_session.disconnectSerial();
    // A pressed COM Connect on a closed port would make its next press disconnect again.
    m_buttons.setPressed(ComConnect, false);
    showSerialDisconnected();
}

void LinkControls::setPortMap(const PortMap& map) {
    m_session.setPortMap(map);
    publishSerial();
}

void LinkControls::onLinkStatus(const LinkStatus& status) {
    const bool open = status.kind == LinkKind::Serial && status.isOpen();
    if (open != m_serialOpen) {
        m_serialOpen = open;
        if (open) {
            showSerialConnected();
        } else {
            m_buttons.setPressed(ComConnect, false);
            showSerialDisconnected();
        }
    }
    followUsbButtons();
}

void LinkControls::onLinkFailed(const LinkError& error) {
    if (error.link != LinkKind::Serial) return;
    // A port that never opened, or went away: the controls as after a disconnect.
    m_buttons.setPressed(ComConnect, false);
    showSerialDisconnected();
}

void LinkControls::followUsbButtons() {
    // The USB side raises its buttons itself (a silent meter, a removed cable): no command runs.
    const LinkStatus status = m_session.linkStatus();
    const bool reading = status.isOpen() && status.kind == LinkKind::Usb;
    const bool rawReading = status.isOpen() && status.kind == LinkKind::UsbRawReports;
    if (!reading) m_buttons.setPressed(UsbConnect, false);
    if (!rawReading) m_buttons.setPressed(UsbRead, false);
    if (reading) m_buttons.setPressed(UsbConnect, true);
    if (rawReading) m_buttons.setPressed(UsbRead, true);
}

void LinkControls::showSerialConnected() {
    m_serial.comSetupEnabled = false;
    m_serial.startChecked = true;
    m_serial.startEnabled = false;
    m_serial.stopEnabled = true;
    m_serial.stopChecked = false;
    m_serial.connectPanelVisible = false;
    m_serial.disconnectPanelVisible = true;
    m_serial.comPanelsEnabled = false;
    publishSerial();
}

void LinkControls::showSerialDisconnected() {
    m_serial.comSetupEnabled = true;
    m_serial.startChecked = false;
    m_serial.startEnabled = true;
    m_serial.stopEnabled = false;
    m_serial.stopChecked = true;
    m_serial.connectPanelVisible = true;
    m_serial.disconnectPanelVisible = false;
    m_serial.comPanelsEnabled = true;
    publishSerial();
}

void LinkControls::publishSerial() {
    for (int i = 0; i < kComPortCount; ++i)
        m_serial.portHints[static_cast<std::size_t>(i)] = m_session.portMap().hintText(static_cast<ComPortNumber>(i));
    emit serialStateChanged(m_serial);
}

}  // namespace veska
