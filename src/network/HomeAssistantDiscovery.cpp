#include "network/HomeAssistantDiscovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace veska {

QString HomeAssistantDiscovery::configTopic(const QString& discoveryPrefix, const QString& objectId) {
    return discoveryPrefix + QStringLiteral("/sensor/") + objectId + QStringLiteral("/config");
}

QByteArray HomeAssistantDiscovery::configPayload(const Sensor& sensor, const QString& baseUnit) {
    QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{sensor.objectId}},
        {QStringLiteral("name"), sensor.deviceName},
        {QStringLiteral("manufacturer"), QStringLiteral("Veska")},
        {QStringLiteral("model"), QStringLiteral("Multimeter logger")},
    };
    if (!sensor.softwareVersion.isEmpty()) device.insert(QStringLiteral("sw_version"), sensor.softwareVersion);

    // An overload reading carries null as its value; the template then renders "None",
    // which Home Assistant shows as unknown rather than as a bogus number.
    QJsonObject config{
        {QStringLiteral("name"), sensor.name},
        {QStringLiteral("unique_id"), sensor.objectId},
        {QStringLiteral("state_topic"), sensor.stateTopic},
        {QStringLiteral("value_template"), QStringLiteral("{{ value_json.") + sensor.siValueField + QStringLiteral(" }}")},
        {QStringLiteral("availability_topic"), sensor.availabilityTopic},
        {QStringLiteral("payload_available"), QStringLiteral("online")},
        {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
        {QStringLiteral("state_class"), QStringLiteral("measurement")},
        {QStringLiteral("device"), device},
    };
    if (!baseUnit.isEmpty()) config.insert(QStringLiteral("unit_of_measurement"), baseUnit);
    const QString deviceClass = deviceClassFor(baseUnit);
    if (!deviceClass.isEmpty()) config.insert(QStringLiteral("device_class"), deviceClass);
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

QString HomeAssistantDiscovery::deviceClassFor(const QString& baseUnit) {
    if (baseUnit == QLatin1String("V")) return QStringLiteral("voltage");
    if (baseUnit == QLatin1String("A")) return QStringLiteral("current");
    if (baseUnit == QLatin1String("Hz")) return QStringLiteral("frequency");
    if (baseUnit == QStringLiteral("°C") || baseUnit == QStringLiteral("°F")) return QStringLiteral("temperature");
    return {};
}

QString HomeAssistantDiscovery::objectIdFrom(const QString& text) {
    QString id = text;
    for (QChar& c : id) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '-';
        if (!ok) c = '_';
    }
    return id;
}

}  // namespace veska
