#pragma once

#include <QString>

#include <optional>

namespace veska {

// A broker address as the user types it: mqtt://[user[:password]@]host[:port] or
// mqtts://... (TLS). Without a scheme the text is taken as mqtt://. User and password may
// carry percent escapes ("%40" for "@", "%3A" for ":"), so any character can be given.
struct MqttBrokerUrl {
    static constexpr int kDefaultPort = 1883;
    static constexpr int kDefaultTlsPort = 8883;

    QString host;  // without brackets for an IPv6 literal
    int port = kDefaultPort;
    bool tls = false;
    QString user;  // empty: no user name sent
    QString password;
    bool hasPassword = false;  // "user:@host" sends an empty password, "user@host" none

    // The parsed URL, or nothing with a sentence for the user in *error.
    static std::optional<MqttBrokerUrl> parse(const QString& text, QString* error = nullptr);

    // The URL to show in the status line: the user but never the password.
    QString displayText() const;
};

}  // namespace veska
