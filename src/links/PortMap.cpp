#include "links/PortMap.h"

namespace veska {

PortMap::PortMap() {
    for (int i = 0; i < kComPortCount; ++i) m_paths[static_cast<std::size_t>(i)] = QStringLiteral("/dev/ttyS%1").arg(i);
}

void PortMap::setPath(ComPortNumber port, const QString& path) {
    m_paths[static_cast<std::size_t>(portIndex(port))] = path;
}

QString PortMap::portName(ComPortNumber port) { return QStringLiteral("COM%1").arg(portNumber(port)); }

QString PortMap::hintText(ComPortNumber port) const {
    return QStringLiteral("%1: %2").arg(portName(port), path(port));
}

bool PortMap::parseOption(const QString& value, QString* errorText) {
    const auto fail = [&](const QString& why) {
        if (errorText) *errorText = QStringLiteral("Invalid port mapping '%1': %2").arg(value, why);
        return false;
    };
    const qsizetype eq = value.indexOf(QLatin1Char('='));
    if (eq < 0) return fail(QStringLiteral("expected COMn=PATH, for example COM1=/dev/ttyUSB0"));
    const QString name = value.left(eq).trimmed();
    const QString target = value.mid(eq + 1).trimmed();
    std::optional<ComPortNumber> port;
    if (name.size() == 4 && name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        port = portFromNumber(name.at(3).digitValue());
    if (!port) return fail(QStringLiteral("the port must be COM1, COM2, COM3 or COM4"));
    if (target.isEmpty()) return fail(QStringLiteral("the device path is empty"));
    setPath(*port, target);
    return true;
}

}  // namespace veska
