#pragma once

#include <QByteArray>
#include <QString>

namespace veska {

// The Home Assistant MQTT discovery message for one meter: a sensor whose unit and device
// class follow the meter's current base unit, available while the status topic says
// "online".
class HomeAssistantDiscovery {
public:
    struct Sensor {
        QString objectId;     // [A-Za-z0-9_-] only; also the unique id
        QString name;         // sensor name
        QString deviceName;
        QString softwareVersion;  // empty: left out
        QString stateTopic;
        QString availabilityTopic;
        QString siValueField;  // field of the JSON reading holding the base-unit value
    };

    // "<discoveryPrefix>/sensor/<objectId>/config"
    static QString configTopic(const QString& discoveryPrefix, const QString& objectId);

    // The retained config for the sensor showing values in baseUnit ("V", "A", "Ω", "F",
    // "Hz", "°C", "°F", "%"); an empty unit gives a sensor without unit.
    static QByteArray configPayload(const Sensor& sensor, const QString& baseUnit);

    // Home Assistant's sensor device class for a base unit, empty where none fits
    // (resistance and capacitance have none; "%" on a meter is a duty cycle).
    static QString deviceClassFor(const QString& baseUnit);

    // Text usable as an object id: every character outside [A-Za-z0-9_-] becomes '_'.
    static QString objectIdFrom(const QString& text);
};

}  // namespace veska
