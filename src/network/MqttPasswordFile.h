#pragma once

#include <QString>

namespace veska {

// A broker password kept in a file (--mqtt-password-file, a systemd credential), so it never
// shows in the process list: the file's first line, without its line break.
class MqttPasswordFile {
public:
    // Reads the password into `password`; returns the error text, empty on success.
    static QString read(const QString& path, QString& password);
    // Whether users other than the owner may read the file.
    static bool othersMayRead(const QString& path);
};

}  // namespace veska
