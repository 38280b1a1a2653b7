#include "session/PortSettings.h"

#include <QSettings>

namespace veska {

QString PortSettings::key(ComPortNumber port) { return QStringLiteral("serial/") + PortMap::portName(port); }

void PortSettings::load(const QSettings& settings, PortMap& map, const Fixed& fixed) {
    for (int i = 0; i < kComPortCount; ++i) {
        const auto port = static_cast<ComPortNumber>(i);
        const QString path = settings.value(key(port)).toString().trimmed();
        if (!fixed[static_cast<std::size_t>(i)] && !path.isEmpty()) map.setPath(port, path);
    }
}

void PortSettings::save(QSettings& settings, const PortMap& map, const Fixed& fixed) {
    for (int i = 0; i < kComPortCount; ++i) {
        const auto port = static_cast<ComPortNumber>(i);
        if (!fixed[static_cast<std::size_t>(i)]) settings.setValue(key(port), map.path(port));
    }
    settings.sync();
}

}  // namespace veska
