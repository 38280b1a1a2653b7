#include "serial/PortMap.h"

namespace veska {

PortMap::PortMap() {
    for (int i = 0; i < kComPortCount; ++i) m_paths[static_cast<std::size_t>(i)] = QStringLiteral("/dev/ttyS%1").arg(i);
}

void PortMap::setPath(TComPortNumber port, const QString& path) {
    m_paths[static_cast<std::size_t>(PortIndex(port))] = path;
}

QString PortMap::portName(TComPortNumber port) { return QStringLiteral("COM%1").arg(PortNumber(port)); }

QString PortMap::hintText(TComPortNumber port) const {
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
    std::optional<TComPortNumber> port;
    if (name.size() == 4 && name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        port = PortFromNumber(name.at(3).digitValue());
    if (!port) return fail(QStringLiteral("the port must be COM1, COM2, COM3 or COM4"));
    if (target.isEmpty()) return fail(QStringLiteral("the device path is empty"));
    setPath(*port, target);
    return true;
}

}  // namespace veska
