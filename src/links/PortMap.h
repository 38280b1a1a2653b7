#pragma once

#include "links/ComPortTypes.h"

#include <QString>

#include <array>

namespace veska {

// The device each of the names COM1 to COM4 stands for. COMn is /dev/ttyS<n-1> unless
// the command line maps it elsewhere (--port COM1=/dev/ttyUSB0).
class PortMap {
public:
    PortMap();

    QString path(ComPortNumber port) const { return m_paths[static_cast<std::size_t>(portIndex(port))]; }
    void setPath(ComPortNumber port, const QString& path);

    // "COM1" to "COM4".
    static QString portName(ComPortNumber port);

    // Text for the port's menu item and panel as hint or status tip: "COM1: /dev/ttyS0".
    QString hintText(ComPortNumber port) const;

    // Applies one option value of the form COMn=PATH (n = 1 to 4, name case-insensitive).
    // Returns false and leaves the map unchanged when the value does not have that form;
    // errorText then says why.
    bool parseOption(const QString& value, QString* errorText = nullptr);

private:
    std::array<QString, kComPortCount> m_paths;
};

}  // namespace veska
