#pragma once

#include "network/MqttPublisher.h"
#include "network/MqttPublisherOptions.h"
#include "session/RecordedReading.h"
#include "session/RunPublisher.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace veska {

class MeterSession;
struct ReadingUpdate;

// Publishes a meter session over MQTT: every handled reading as the JSON reading (no record
// number) with the meter's base unit for Home Assistant, and every recorded row as the JSON
// reading with its number. All it does per packet on the session's thread is format the
// JSON and hand it to the publisher's queue; a recorded row waits until the record table
// has committed it to its journal, so no row reaches the broker that a crash could lose.
//
// A recorded row and the reading of the same packet carry the same time, so a subscriber
// can match them.
class SessionPublisher : public QObject, public RunPublisher {
    Q_OBJECT
public:
    SessionPublisher(MqttPublisherOptions options, MeterSession& session, QObject* parent = nullptr);
    ~SessionPublisher() override;  // detaches and stops without draining

    SessionPublisher(const SessionPublisher&) = delete;
    SessionPublisher& operator=(const SessionPublisher&) = delete;

    // Starts the publisher and attaches to the session. False, with errorText(), for
    // faults the user must correct (bad URL, unreadable CA file, unusable prefix).
    bool start() override;
    QString errorText() const override { return m_publisher.errorText(); }
    // Detaches from the session, then lets queued recorded rows go out within drainTimeout
    // and publishes "offline".
    void stop(std::chrono::milliseconds drainTimeout = std::chrono::milliseconds(2000)) override;

    MqttPublisher& publisher() { return m_publisher; }
    const MqttPublisher& publisher() const { return m_publisher; }

    // The broker state for the status line, e.g. "MQTT: connected to mqtt://host:1883" or
    // "MQTT: broker unreachable, retrying (3 rows queued, 0 dropped)".
    QString brokerStateText() const;
    static QString stateText(MqttPublisher::State state, const QString& broker, const QString& lastError,
                             const MqttPublisher::Counters& counters, bool started);

    // Milliseconds since the epoch for the readings' time (tests and benchmarks fix it).
    void setClock(std::function<std::int64_t()> clock) { m_clock = std::move(clock); }

    // The per-packet work, also callable directly (benchmarks): publishRecorded queues the
    // row at once, as the session's rows are once committed.
    void publishReading(const ReadingUpdate& update);
    void publishRecorded(const RecordedReading& recorded);

signals:
    // The text of brokerStateText() whenever it changes.
    void brokerStateChanged(const QString& text);

private:
    void updateStateText();
    void formatRecorded(const RecordedReading& recorded);  // into m_json
    void holdRecorded(const RecordedReading& recorded);    // until the table commits it
    void handOverCommittedRows();
    std::string_view timeFor(bool recorded);

    MeterSession& m_session;
    MqttPublisher m_publisher;
    bool m_started = false;
    bool m_stopped = false;
    QString m_stateText;
    std::function<std::int64_t()> m_clock;
    std::string m_json;               // reused: no allocation per reading once grown
    std::string m_time;
    bool m_timeFromRecordedRow = false;  // the packet's row was recorded: reuse its time
    const char* m_announcedUnit = nullptr;  // SiQuantity's static text last handed over
    QMetaObject::Connection m_readingConnection;
    QMetaObject::Connection m_recordedConnection;
    QMetaObject::Connection m_committedConnection;
    std::vector<QByteArray> m_uncommittedRows;  // recorded rows of the read in hand
};

}  // namespace veska
