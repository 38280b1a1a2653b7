#include "network/MqttPasswordFile.h"

#include <QFile>
#include <QFileInfo>

namespace veska {

namespace {
// A password, not a document: a longer file is a wrong path.
constexpr qint64 kMostBytes = 4096;
}  // namespace

QString MqttPasswordFile::read(const QString& path, QString& password) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the MQTT password from %1: %2").arg(path, file.errorString());
    QByteArray text = file.read(kMostBytes + 1);
    if (text.size() > kMostBytes)
        return QStringLiteral("%1 is no password file: longer than %2 bytes").arg(path).arg(kMostBytes);
    if (const qsizetype end = text.indexOf('\n'); end >= 0) text.truncate(end);
    if (text.endsWith('\r')) text.chop(1);
    password = QString::fromUtf8(text);
    return QString();
}

bool MqttPasswordFile::othersMayRead(const QString& path) {
    const QFileDevice::Permissions p = QFileInfo(path).permissions();
    return (p & (QFileDevice::ReadGroup | QFileDevice::ReadOther)) != 0;
}

}  // namespace veska
