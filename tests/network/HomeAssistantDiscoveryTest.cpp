#include "network/HomeAssistantDiscovery.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace veska {
namespace {

TEST(HomeAssistantDiscovery, DeviceClassFollowsTheBaseUnit) {
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("V"), QStringLiteral("voltage")},
        {QStringLiteral("A"), QStringLiteral("current")},
        {QStringLiteral("Hz"), QStringLiteral("frequency")},
        {QStringLiteral("°C"), QStringLiteral("temperature")},
        {QStringLiteral("°F"), QStringLiteral("temperature")},
        {QStringLiteral("Ω"), QString()},
        {QStringLiteral("F"), QString()},
        {QStringLiteral("%"), QString()},
        {QString(), QString()},
        // Prefixed units never reach the sensor: it shows base units only.
        {QStringLiteral("mV"), QString()},
    };
    for (const auto& [unit, deviceClass] : cases) {
        SCOPED_TRACE(unit.toStdString());
        EXPECT_EQ(HomeAssistantDiscovery::deviceClassFor(unit), deviceClass);
    }
}

TEST(HomeAssistantDiscovery, ConfigNamesTopicsTemplateUnitAndDevice) {
    HomeAssistantDiscovery::Sensor sensor;
    sensor.objectId = QStringLiteral("veska_bench");
    sensor.name = QStringLiteral("Multimeter");
    sensor.deviceName = QStringLiteral("Veska bench");
    sensor.stateTopic = QStringLiteral("veska/bench/state");
    sensor.availabilityTopic = QStringLiteral("veska/bench/status");
    sensor.siValueField = QStringLiteral("value_si");

    QJsonParseError error{};
    const QJsonObject ohm =
        QJsonDocument::fromJson(HomeAssistantDiscovery::configPayload(sensor, QStringLiteral("Ω")), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_EQ(ohm.value("unique_id").toString(), "veska_bench");
    EXPECT_EQ(ohm.value("state_topic").toString(), "veska/bench/state");
    EXPECT_EQ(ohm.value("availability_topic").toString(), "veska/bench/status");
    EXPECT_EQ(ohm.value("value_template").toString(), "{{ value_json.value_si }}");
    EXPECT_EQ(ohm.value("unit_of_measurement").toString(), QStringLiteral("Ω"));
    EXPECT_FALSE(ohm.contains("device_class"));  // Home Assistant has no resistance class
    EXPECT_EQ(ohm.value("device").toObject().value("name").toString(), "Veska bench");
    EXPECT_FALSE(ohm.value("device").toObject().contains("sw_version"));

    sensor.softwareVersion = QStringLiteral("1.0");
    const QJsonObject celsius =
        QJsonDocument::fromJson(HomeAssistantDiscovery::configPayload(sensor, QStringLiteral("°C"))).object();
    EXPECT_EQ(celsius.value("unit_of_measurement").toString(), QStringLiteral("°C"));
    EXPECT_EQ(celsius.value("device_class").toString(), "temperature");
    EXPECT_EQ(celsius.value("device").toObject().value("sw_version").toString(), "1.0");

    const QJsonObject none = QJsonDocument::fromJson(HomeAssistantDiscovery::configPayload(sensor, QString())).object();
    EXPECT_FALSE(none.contains("unit_of_measurement"));
    EXPECT_FALSE(none.contains("device_class"));
}

TEST(HomeAssistantDiscovery, ObjectIdKeepsOnlyCharactersHomeAssistantAccepts) {
    EXPECT_EQ(HomeAssistantDiscovery::objectIdFrom(QStringLiteral("veska/bench-pi.local #2_ü")),
              QStringLiteral("veska_bench-pi_local__2__"));
}

}  // namespace
}  // namespace veska
