#pragma once

#include <QMetaType>
#include <QString>

namespace veska {

// Which link of a session carries the meter's packets. One at a time.
enum class LinkKind {
    None,
    Serial,       // a serial port (COM1..COM4)
    Usb,          // the USB cable, its reports read as the model profile says
    UsbRawReports  // the USB cable, read report by report for diagnosis (the hidden Read command)
};

// What the link is doing, as a user would say it.
enum class LinkState {
    Disconnected,   // no link is open
    Connecting,     // the link is open, no packet has arrived yet
    Receiving,      // packets arrive
    Silent,         // the link is open but packets stopped coming
    Lost,           // the port or cable went away (or the meter fell silent) and the link ended
    AwaitingCable   // the cable being read was unplugged; reading goes on when it is back
};

struct LinkStatus {
    LinkKind kind = LinkKind::None;
    LinkState state = LinkState::Disconnected;

    bool isOpen() const {
        return state == LinkState::Connecting || state == LinkState::Receiving || state == LinkState::Silent ||
               state == LinkState::AwaitingCable;
    }
    bool operator==(const LinkStatus&) const = default;
};

// Something went wrong on a link; `text` is the message for the user, as shown today.
struct LinkError {
    enum class Kind {
        PortNotOpened,       // connecting a serial port failed
        PortLost,            // the open serial port went away
        NoCable,             // no USB cable is selected or connected
        CableNotConfigured,  // the cable refused its configuration report
        MeterSilent          // the cable delivers only empty reports: the meter is off or not sending
    };
    Kind kind = Kind::PortNotOpened;
    LinkKind link = LinkKind::None;
    QString text;
};

}  // namespace veska

Q_DECLARE_METATYPE(veska::LinkStatus)
Q_DECLARE_METATYPE(veska::LinkError)
