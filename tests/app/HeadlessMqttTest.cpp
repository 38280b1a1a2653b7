// The real program in a child process publishing a simulated meter to a real mosquitto:
// what a subscriber sees, and that a broker outage changes nothing for the run itself.
#include "MosquittoBroker.h"
#include "TestSubscriber.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <map>
#include <set>

namespace veska::test {
namespace {

using namespace std::chrono_literals;

const QString kPrefix = QStringLiteral("veska/e2e");

std::string topic(const char* leaf) { return (kPrefix + '/' + leaf).toStdString(); }

QJsonObject parseObject(const std::string& payload) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(payload), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << payload;
    EXPECT_TRUE(doc.isObject()) << payload;
    return doc.object();
}

// The data rows printed so far: "No\tTime\tDC/AC\tValue\tUnit\tAUTO".
QStringList rowsOf(const QByteArray& out) { return QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts); }

class HeadlessMqtt : public ::testing::Test {
protected:
    void SetUp() override {
        if (!MosquittoBroker::available())
            GTEST_SKIP() << "mosquitto is not installed at " << MosquittoBroker::kBinary
                         << " (Debian package \"mosquitto\"): MQTT tests skipped";
    }

    void startVeska(QProcess& veska, int port, const QStringList& more) {
        veska.setWorkingDirectory(m_dir.path());
        veska.setProgram(QStringLiteral(VESKA_PROGRAM));
        veska.setArguments(QStringList{"--headless", "--simulate", "--rate", "50", "--mqtt",
                                       QStringLiteral("mqtt://127.0.0.1:%1").arg(port), "--mqtt-topic", kPrefix} +
                           more);
        veska.start();
        ASSERT_TRUE(veska.waitForStarted(10000));
    }

    // Reads the child's standard output until `done` holds for the rows so far.
    static bool readUntil(QProcess& veska, QByteArray& out, const std::function<bool(const QStringList&)>& done) {
        const QDeadlineTimer deadline(60000);
        while (!done(rowsOf(out))) {
            if (deadline.hasExpired() || veska.state() == QProcess::NotRunning) return false;
            veska.waitForReadyRead(100);
            out += veska.readAllStandardOutput();
        }
        return true;
    }

    static void finish(QProcess& veska, QByteArray& out, QByteArray& err) {
        EXPECT_TRUE(veska.waitForFinished(60000));
        out += veska.readAllStandardOutput();
        err += veska.readAllStandardError();
        EXPECT_EQ(veska.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(veska.exitCode(), 0) << err.toStdString();
    }

    QTemporaryDir m_dir;
};

TEST_F(HeadlessMqtt, ReadingsAndRecordedRowsArriveInOrderAndStatusEndsOffline) {
    MosquittoBroker broker;
    std::string error;
    ASSERT_TRUE(broker.start(&error)) << error;
    TestSubscriber subscriber(broker.port(), {kPrefix.toStdString() + "/#", "homeassistant/#"});
    ASSERT_TRUE(subscriber.connect(&error)) << error;

    constexpr int kRows = 40;
    QProcess veska;
    startVeska(veska, broker.port(), {"--samples", QString::number(kRows)});
    QByteArray out, err;
    finish(veska, out, err);
    const QStringList rows = rowsOf(out);
    ASSERT_EQ(rows.size(), kRows);

    ASSERT_TRUE(subscriber.waitFor([](const std::vector<TestSubscriber::Message>& all) {
        return !all.empty() && all.back().topic == topic("status") && all.back().payload == "offline";
    })) << "status never went offline; stderr: " << err.toStdString();

    // Every recorded row, numbered as printed, with the printed value and unit.
    const std::vector<std::string> recorded = subscriber.payloadsOn(topic("recorded"));
    ASSERT_EQ(recorded.size(), std::size_t(kRows)) << err.toStdString();
    for (int i = 0; i < kRows; ++i) {
        SCOPED_TRACE(recorded[std::size_t(i)]);
        const QStringList fields = rows[i].split('\t');
        const QJsonObject row = parseObject(recorded[std::size_t(i)]);
        EXPECT_EQ(row.value("no").toInteger(-1), fields[0].toLongLong());
        EXPECT_EQ(row.value("value").toString(), fields[3]);
        EXPECT_EQ(row.value("mode").toString(), fields[2]);
    }

    // Readings: the JSON reading without a number, keys in the documented order, times
    // in order; each recorded row is one of them (same packet, same time), in order.
    static const QRegularExpression keyOrder(QStringLiteral(
        R"(^\{"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z","value":".*","unit":".*","si_value":.*,"base_unit":".*",)"
        R"("mode":".*","range":".*","overload":(true|false),"hold":(true|false),"rel":(true|false),)"
        R"("low_battery":(true|false),"no":null\}$)"));
    const std::vector<std::string> readings = subscriber.payloadsOn(topic("reading"));
    ASSERT_GE(readings.size(), std::size_t(kRows) / 2) << "readings published only while connected";
    QString previousTime;
    std::map<std::string, std::vector<std::size_t>> indexOf;  // equal readings in one burst share a time
    for (std::size_t i = 0; i < readings.size(); ++i) {
        EXPECT_TRUE(keyOrder.match(QString::fromStdString(readings[i])).hasMatch()) << readings[i];
        const QString time = parseObject(readings[i]).value("time").toString();
        EXPECT_GE(time, previousTime) << readings[i];
        previousTime = time;
        indexOf[readings[i]].push_back(i);
    }
    const QString firstReadingTime = parseObject(readings.front()).value("time").toString();
    std::size_t previousIndex = 0;
    int matched = 0;
    for (const std::string& row : recorded) {
        QString asReading = QString::fromStdString(row);
        asReading.replace(QRegularExpression(QStringLiteral(R"("no":\d+\}$)")), QStringLiteral("\"no\":null}"));
        const auto found = indexOf.find(asReading.toStdString());
        // Rows recorded before the connection came up had no reading published.
        if (found == indexOf.end() && parseObject(row).value("time").toString() <= firstReadingTime) continue;
        ASSERT_NE(found, indexOf.end()) << "no reading for the recorded row " << row;
        const auto next = std::lower_bound(found->second.begin(), found->second.end(), previousIndex);
        ASSERT_NE(next, found->second.end()) << "the recorded row " << row << " came before its reading";
        previousIndex = *next + 1;
        ++matched;
    }
    EXPECT_GT(matched, 0);

    // The last reading is kept as the retained state.
    TestSubscriber late(broker.port(), {topic("state"), topic("status")});
    ASSERT_TRUE(late.connect(&error)) << error;
    ASSERT_TRUE(late.waitForCount(topic("state"), 1));
    const std::vector<TestSubscriber::Message> kept = late.messages();
    for (const TestSubscriber::Message& m : kept) {
        EXPECT_TRUE(m.retained) << m.topic;
        if (m.topic == topic("state")) {
            EXPECT_EQ(m.payload, readings.back());
        }
    }

    // Home Assistant's config: valid JSON, the readings' base unit.
    std::string config;
    for (const TestSubscriber::Message& m : subscriber.messages()) {
        if (m.topic.rfind("homeassistant/sensor/", 0) == 0) config = m.payload;
    }
    ASSERT_FALSE(config.empty());
    EXPECT_EQ(parseObject(config).value("unit_of_measurement").toString(),
              parseObject(readings.back()).value("base_unit").toString());
    EXPECT_EQ(parseObject(config).value("availability_topic").toString(), QString::fromStdString(topic("status")));
}

TEST_F(HeadlessMqtt, ABrokerOutageStallsNothingAndLosesNoRecordedRow) {
    // The broker keeps the durable subscriber's session across its restart.
    MosquittoBroker broker("persistence true\npersistence_location BROKER_DIR/\n");
    std::string error;
    ASSERT_TRUE(broker.start(&error)) << error;
    TestSubscriber subscriber(broker.port(), {topic("recorded")}, "e2e-durable", false);
    ASSERT_TRUE(subscriber.connect(&error)) << error;

    QProcess veska;
    startVeska(veska, broker.port(), {});
    QByteArray out, err;
    ASSERT_TRUE(subscriber.waitForCount(topic("recorded"), 5, 30s));
    broker.stop();
    // While the broker is away the session goes on: 100 more rows (2 s of packets) are
    // recorded and printed. A session waiting on the network would never get there.
    veska.waitForReadyRead(100);
    out += veska.readAllStandardOutput();
    const int rowsAtOutage = int(rowsOf(out).size());
    ASSERT_TRUE(readUntil(veska, out, [&](const QStringList& rows) { return rows.size() >= rowsAtOutage + 100; }))
        << "the run stalled while the broker was down";
    ASSERT_TRUE(broker.start(&error)) << error;
    // Back: the queued rows go out and new ones follow.
    const int rowsAtReturn = int(rowsOf(out).size());
    ASSERT_TRUE(subscriber.waitFor(
        [&](const std::vector<TestSubscriber::Message>& all) {
            for (const TestSubscriber::Message& m : all) {
                if (QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object().value("no").toInteger() >
                    rowsAtReturn + 10)
                    return true;
            }
            return false;
        },
        60s))
        << "rows recorded after the broker came back never arrived";
    ::kill(pid_t(veska.processId()), SIGTERM);
    finish(veska, out, err);

    // QoS 1 is at least once: a row may come twice, but every printed row arrives.
    const QStringList rows = rowsOf(out);
    std::set<qint64> received;
    for (const std::string& payload : subscriber.payloadsOn(topic("recorded")))
        received.insert(parseObject(payload).value("no").toInteger(-1));
    for (const QString& row : rows) {
        const qint64 no = row.section('\t', 0, 0).toLongLong();
        EXPECT_TRUE(received.count(no)) << "row " << no << " never reached the broker";
    }
    EXPECT_EQ(received.size(), std::size_t(rows.size()));
    EXPECT_TRUE(err.contains("MQTT: broker unreachable, retrying")) << err.toStdString();
    EXPECT_FALSE(err.contains("not delivered")) << err.toStdString();
}

TEST_F(HeadlessMqtt, ABrokerThatNeverAnswersEndsTheRunWithTheRowsCounted) {
    const int port = MosquittoBroker::freePort();  // nobody listens there
    // Where the rows are is said as it is: printed only, or in the saved file.
    for (const QString& save : {QString(), QStringLiteral("kept.txt")}) {
        SCOPED_TRACE(save.toStdString());
        QProcess veska;
        startVeska(veska, port, QStringList{"--samples", "30"} + (save.isEmpty() ? QStringList() : QStringList{"--save", save}));
        QByteArray out, err;
        finish(veska, out, err);
        EXPECT_EQ(rowsOf(out).size(), 30);
        EXPECT_TRUE(err.contains("MQTT: 30 recorded rows were not delivered")) << err.toStdString();
        EXPECT_FALSE(err.contains("record table")) << err.toStdString();
        if (save.isEmpty()) {
            EXPECT_TRUE(err.contains("they were only printed")) << err.toStdString();
        } else {
            EXPECT_TRUE(err.contains("they are in kept.txt")) << err.toStdString();
            QFile saved(m_dir.filePath(save));
            ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
            EXPECT_EQ(saved.readAll().count('\n'), 31);  // the title line and every row
        }
    }
}

// A broker that wants a password: it comes from --mqtt-password-file or VESKA_MQTT_PASSWORD,
// never from the command line, which every user of the machine can read.
TEST_F(HeadlessMqtt, ThePasswordComesFromAFileOrTheEnvironment) {
    MosquittoBroker broker("allow_anonymous false\npassword_file BROKER_DIR/passwd\n");
    const QString passwd = QString::fromStdString(broker.path("passwd"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("mosquitto_passwd"), {"-b", "-c", passwd, "meter", "s3cret pass"}), 0);
    std::string error;
    ASSERT_TRUE(broker.start(&error)) << error;
    QFile file(m_dir.filePath("password"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("s3cret pass\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    struct Case {
        const char* name;
        QStringList args;
        const char* environment;  // VESKA_MQTT_PASSWORD, or none
        bool accepted;
    };
    const Case cases[] = {
        {"file", {"--mqtt-password-file", m_dir.filePath("password")}, nullptr, true},
        {"environment", {}, "s3cret pass", true},
        {"wrong password", {}, "guess", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess veska;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("VESKA_MQTT_PASSWORD"));
        if (c.environment) environment.insert(QStringLiteral("VESKA_MQTT_PASSWORD"), QString::fromUtf8(c.environment));
        veska.setProcessEnvironment(environment);
        veska.setWorkingDirectory(m_dir.path());
        veska.start(QStringLiteral(VESKA_PROGRAM),
                    QStringList{"--headless", "--simulate", "--rate", "50", "--samples", "25", "--mqtt",
                                QStringLiteral("mqtt://meter@127.0.0.1:%1").arg(broker.port())} +
                        c.args);
        ASSERT_TRUE(veska.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(veska.readAllStandardError());
        EXPECT_EQ(veska.exitCode(), 0) << err.toStdString();
        EXPECT_EQ(err.contains(QStringLiteral("MQTT: connected to mqtt://meter@127.0.0.1")), c.accepted)
            << err.toStdString();
        EXPECT_FALSE(err.contains(QStringLiteral("s3cret"))) << err.toStdString();
    }
}

}  // namespace
}  // namespace veska::test
