#pragma once

#include <QString>

#include <cstddef>

namespace veska {

// What MqttPublisher connects to and how it names things. Empty texts take the defaults
// named beside them.
struct MqttPublisherOptions {
    QString brokerUrl;    // mqtt://[user[:password]@]host[:port] or mqtts://...
    QString clientId;     // empty: "veska-<hostname>-<process id>"
    QString topicPrefix;  // empty: "veska/<hostname>"
    QString caFile;       // mqtts only; empty: the system's CA store
    QString user;         // when not empty, replaces the URL's user and password
    QString password;

    int keepAliveSeconds = 30;
    int reconnectDelayMinSeconds = 1;  // doubled after each failed attempt ...
    int reconnectDelayMaxSeconds = 30; // ... up to this
    std::size_t recordedQueueLimit = 10000;  // recorded rows kept while the broker is away

    // Home Assistant discovery; an empty prefix switches it off.
    QString discoveryPrefix = QStringLiteral("homeassistant");
    // The field of the JSON reading that holds the value in its base unit.
    QString siValueField = QStringLiteral("si_value");
    QString sensorName = QStringLiteral("Multimeter");
    QString deviceName;       // empty: "Veska <hostname>"
    QString softwareVersion;  // empty: left out of the device block
};

}  // namespace veska
