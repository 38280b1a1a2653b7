// The window's "Publish (MQTT)..." dialog: what it remembers, and that OK starts and
// stops publishing the window's readings to a real broker.
#include "links/HidDeviceMonitor.h"
#include "MosquittoBroker.h"
#include "TestSubscriber.h"
#include "support/FakeDialogs.h"

#include "links/SimulatedHidPlatform.h"
#include "network/SessionPublisher.h"
#include "ui/MainMenu.h"
#include "ui/MainWindow.h"
#include "ui/MqttDialog.h"
#include "ui/MqttPasswordKeeper.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QSettings>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace veska::test {
namespace {

using namespace std::chrono_literals;

MqttDialog::Settings Sample(bool remember) {
    MqttDialog::Settings s;
    s.enabled = true;
    s.brokerUrl = QStringLiteral("mqtt://broker.lan:1884");
    s.topicPrefix = QStringLiteral("lab/dmm");
    s.user = QStringLiteral("logger");
    s.password = QStringLiteral("s3cret:pw");
    s.tls = true;
    s.caFile = QStringLiteral("/etc/lab-ca.pem");
    s.rememberPassword = remember;
    return s;
}

TEST(MqttDialog, SettingsRoundTripWithoutThePassword) {
    QTemporaryDir dir;
    const QString file = dir.filePath("settings.ini");
    for (const bool remember : {true, false}) {
        SCOPED_TRACE(remember ? "remembered" : "not remembered");
        {
            QSettings settings(file, QSettings::IniFormat);
            Sample(remember).save(settings);
        }
        QFile raw(file);
        ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
        // The keeper decides where a remembered password goes; the settings never hold it.
        EXPECT_FALSE(raw.readAll().contains("s3cret"));
        const QSettings settings(file, QSettings::IniFormat);
        const MqttDialog::Settings back = MqttDialog::Settings::load(settings);
        const MqttDialog::Settings expected = Sample(remember);
        EXPECT_EQ(back.enabled, expected.enabled);
        EXPECT_EQ(back.brokerUrl, expected.brokerUrl);
        EXPECT_EQ(back.topicPrefix, expected.topicPrefix);
        EXPECT_EQ(back.user, expected.user);
        EXPECT_EQ(back.password, QString());
        EXPECT_EQ(back.tls, expected.tls);
        EXPECT_EQ(back.caFile, expected.caFile);
        EXPECT_EQ(back.rememberPassword, remember);
    }
}

MainWindow::Options WindowOptions(FakeDialogs& dialogs, QSettings& settings) {
    MainWindow::Options o;
    o.dialogs = &dialogs;
    o.deviceMonitor = std::make_shared<HidDeviceMonitor>(std::make_shared<SimulatedHidPlatform>());
    o.settings = &settings;
    return o;
}

QFileDevice::Permissions GroupOrOthers() {
    return QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
           QFileDevice::WriteOther | QFileDevice::ExeOther;
}

// No desktop keyring runs here: a remembered password goes to the settings file, which
// only its owner may read, and the user is told; it comes back from there, and goes when
// it is not to be remembered any more.
TEST(MqttDialog, WithoutAKeyringTheRememberedPasswordIsKeptInAPrivateFileWithAWarning) {
    QTemporaryDir dir;
    const QString file = dir.filePath("settings.ini");
    QFile loose(file);
    ASSERT_TRUE(loose.open(QIODevice::WriteOnly));
    loose.close();
    loose.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    QSettings settings(file, QSettings::IniFormat);
    FakeDialogs dialogs;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());  // the window's record table goes there
    {
        MainWindow window(WindowOptions(dialogs, settings));
        EXPECT_EQ(QFileInfo(file).permissions() & GroupOrOthers(), 0) << "an older, looser file is tightened";
        MqttPasswordKeeper& keeper = *window.findChild<MqttPasswordKeeper*>();
        QSignalSpy kept(&keeper, &MqttPasswordKeeper::kept);
        QSignalSpy warnings(&keeper, &MqttPasswordKeeper::warning);
        window.menu().publishItem->trigger();
        ASSERT_NE(window.mqttDialog(), nullptr);
        MqttDialog& dialog = *window.mqttDialog();
        dialog.findChild<QLineEdit*>("url")->setText(QStringLiteral("mqtt://127.0.0.1:1"));
        dialog.findChild<QLineEdit*>("user")->setText(QStringLiteral("lab"));
        dialog.findChild<QLineEdit*>("password")->setText(QStringLiteral("s3cret:pw"));
        dialog.findChild<QCheckBox*>("remember")->setChecked(true);
        dialog.accept();
        ASSERT_TRUE(kept.wait(10000));
        ASSERT_EQ(warnings.size(), 1);
        EXPECT_TRUE(warnings.front().at(0).toString().contains(file)) << warnings.front().at(0).toString().toStdString();
    }
    QDir::setCurrent(previous);
    QFile raw(file);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    EXPECT_TRUE(raw.readAll().contains("s3cret"));
    EXPECT_EQ(QFileInfo(file).permissions() & GroupOrOthers(), 0);

    // The next start has it back.
    MqttPasswordKeeper keeper(settings);
    QSignalSpy fetched(&keeper, &MqttPasswordKeeper::fetched);
    keeper.fetch();
    ASSERT_TRUE(fetched.wait(10000));
    EXPECT_EQ(fetched.front().at(0).toString(), QStringLiteral("s3cret:pw"));

    // Not remembered any more: gone from the file, and nothing to fetch.
    QSignalSpy kept(&keeper, &MqttPasswordKeeper::kept);
    keeper.keep(false, QString());
    ASSERT_TRUE(kept.wait(10000));
    settings.sync();
    QFile after(file);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_FALSE(after.readAll().contains("s3cret"));
    fetched.clear();
    keeper.setTimeoutMs(1000);  // a keyring that does not answer is given up on
    keeper.fetch();
    ASSERT_TRUE(fetched.wait(10000));
    EXPECT_EQ(fetched.front().at(0).toString(), QString());
}

TEST(MqttDialog, ShowsAndReturnsTheSettingsAndRefusesABadAddressOnlyWhenOn) {
    MqttDialog dialog(Sample(false));
    const MqttDialog::Settings shown = dialog.settings();
    EXPECT_EQ(shown.password, QStringLiteral("s3cret:pw"));  // kept for this run, not stored
    EXPECT_EQ(shown.brokerUrl, QStringLiteral("mqtt://broker.lan:1884"));
    EXPECT_TRUE(shown.tls);

    // TLS ticked turns the address into mqtts://; the user field replaces the URL's.
    const auto options = shown.toOptions(nullptr);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->brokerUrl, QStringLiteral("mqtts://broker.lan:1884"));
    EXPECT_EQ(options->user, QStringLiteral("logger"));

    dialog.findChild<QLineEdit*>("url")->setText(QStringLiteral("http://broker.lan"));
    dialog.show();
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible()) << "a bad address closed the dialog";
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    dialog.findChild<QCheckBox*>("enabled")->setChecked(false);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(MqttDialog, TheWindowPublishesWhileSwitchedOn) {
    if (!MosquittoBroker::available()) GTEST_SKIP() << "mosquitto is not installed: broker test skipped";
    MosquittoBroker broker;
    std::string error;
    ASSERT_TRUE(broker.start(&error)) << error;
    TestSubscriber subscriber(broker.port(), {"veska/window/#"});
    ASSERT_TRUE(subscriber.connect(&error)) << error;

    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    FakeDialogs dialogs;
    {
        MainWindow window(WindowOptions(dialogs, settings));
        window.setBeep([] {});
        window.startUp();
        EXPECT_EQ(window.mqttPublisher(), nullptr);
        QSignalSpy states(&window, &MainWindow::brokerStateChanged);

        window.menu().publishItem->trigger();
        ASSERT_NE(window.mqttDialog(), nullptr);
        MqttDialog& dialog = *window.mqttDialog();
        dialog.findChild<QCheckBox*>("enabled")->setChecked(true);
        dialog.findChild<QLineEdit*>("url")->setText(QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()));
        dialog.findChild<QLineEdit*>("topic")->setText(QStringLiteral("veska/window"));
        dialog.accept();
        ASSERT_NE(window.mqttPublisher(), nullptr) << dialogs.errors.join('\n').toStdString();
        const QString connected = QStringLiteral("MQTT: connected to mqtt://127.0.0.1:%1").arg(broker.port());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !states.isEmpty() && states.last().at(0).toString() == connected; },
                                    10000));

        // -1.234 V DC AUTO
        window.handlePacket(std::string("2D") + "31323334" + "20" + "31" + "30000080" + "00" + "0D");
        ASSERT_TRUE(subscriber.waitForCount("veska/window/reading", 1));
        const QJsonObject reading =
            QJsonDocument::fromJson(QByteArray::fromStdString(subscriber.payloadsOn("veska/window/reading").front()))
                .object();
        EXPECT_EQ(reading.value("value").toString(), QStringLiteral("-1.234"));
        EXPECT_EQ(reading.value("base_unit").toString(), QStringLiteral("V"));

        // Switched off: "offline", and no publisher left.
        window.menu().publishItem->trigger();
        ASSERT_NE(window.mqttDialog(), nullptr);
        window.mqttDialog()->findChild<QCheckBox*>("enabled")->setChecked(false);
        window.mqttDialog()->accept();
        EXPECT_EQ(window.mqttPublisher(), nullptr);
        EXPECT_EQ(states.last().at(0).toString(), QStringLiteral("MQTT: off"));
        ASSERT_TRUE(subscriber.waitFor([](const std::vector<TestSubscriber::Message>& all) {
            return !all.empty() && all.back().topic == "veska/window/status" && all.back().payload == "offline";
        }));
        EXPECT_FALSE(MqttDialog::Settings::load(settings).enabled);
        EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    }
    QDir::setCurrent(previous);
}

}  // namespace
}  // namespace veska::test
