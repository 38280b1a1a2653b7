#pragma once

#include "links/PortMap.h"

#include <array>

class QSettings;

namespace veska {

// Where the device paths of COM1 to COM4 are remembered between runs. Ports given on the
// command line ('fixed') are neither read from nor written to the settings.
class PortSettings {
public:
    using Fixed = std::array<bool, kComPortCount>;

    static void load(const QSettings& settings, PortMap& map, const Fixed& fixed);
    static void save(QSettings& settings, const PortMap& map, const Fixed& fixed);
    static QString key(ComPortNumber port);
};

}  // namespace veska
