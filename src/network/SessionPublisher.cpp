#include "network/SessionPublisher.h"

#include "protocol/IsoTime.h"
#include "protocol/ReadingJson.h"
#include "protocol/SiQuantity.h"
#include "session/MeterSession.h"
#include "session/ReadingUpdate.h"
#include "storage/RecordTable.h"

#include <QDateTime>

#include <optional>

namespace veska {

SessionPublisher::SessionPublisher(MqttPublisherOptions options, MeterSession& session, QObject* parent)
    : QObject(parent),
      m_session(session),
      m_publisher(std::move(options)),
      m_clock([] { return QDateTime::currentMSecsSinceEpoch(); }) {
    m_json.reserve(512);
    connect(&m_publisher, &MqttPublisher::stateChanged, this, &SessionPublisher::updateStateText);
    connect(&m_publisher, &MqttPublisher::countersChanged, this, &SessionPublisher::updateStateText);
}

SessionPublisher::~SessionPublisher() {
    disconnect(m_readingConnection);
    disconnect(m_recordedConnection);
    disconnect(m_committedConnection);
}

bool SessionPublisher::start() {
    if (m_started) return true;
    if (!m_publisher.start()) return false;
    m_started = true;
    m_readingConnection = connect(&m_session, &MeterSession::readingHandled, this, &SessionPublisher::publishReading);
    m_recordedConnection = connect(&m_session, &MeterSession::readingRecorded, this, &SessionPublisher::holdRecorded);
    m_committedConnection = connect(&m_session.recordTable(), &RecordTable::rowsCommitted, this,
                                    &SessionPublisher::handOverCommittedRows);
    updateStateText();
    return true;
}

void SessionPublisher::stop(std::chrono::milliseconds drainTimeout) {
    disconnect(m_readingConnection);
    disconnect(m_recordedConnection);
    disconnect(m_committedConnection);
    // A normal end: the last rows are saved or kept in the journal by the table's close.
    handOverCommittedRows();
    if (m_stopped) return;
    m_stopped = true;
    m_publisher.stop(drainTimeout);
    updateStateText();
}

std::string_view SessionPublisher::timeFor(bool recorded) {
    if (!recorded && m_timeFromRecordedRow) {
        m_timeFromRecordedRow = false;
        return m_time;
    }
    m_time = IsoTime::utc(m_clock());
    m_timeFromRecordedRow = recorded;
    return m_time;
}

void SessionPublisher::publishReading(const ReadingUpdate& update) {
    const SiQuantity quantity = SiQuantity::fromReading(update.reading);
    // An unknown unit says nothing about the sensor: keep announcing the last one.
    if (quantity.unitKnown && quantity.baseUnit.data() != m_announcedUnit) {
        m_announcedUnit = quantity.baseUnit.data();
        m_publisher.setUnit(QString::fromUtf8(quantity.baseUnit.data(), qsizetype(quantity.baseUnit.size())));
    }
    m_json.clear();
    ReadingJson::appendObject(m_json, update.reading, quantity, update.lcd, timeFor(false), std::nullopt);
    m_publisher.publishReading(QByteArray(m_json.data(), qsizetype(m_json.size())));
}

void SessionPublisher::formatRecorded(const RecordedReading& recorded) {
    // The row's own moment; the reading of the same packet, published next, carries it too.
    m_time = IsoTime::utc(recorded.utcMs);
    m_timeFromRecordedRow = true;
    m_json.clear();
    ReadingJson::appendObject(m_json, recorded.reading, SiQuantity::fromReading(recorded.reading),
                              m_session.lastUpdate().lcd, m_time, recorded.no);
}

void SessionPublisher::publishRecorded(const RecordedReading& recorded) {
    formatRecorded(recorded);
    m_publisher.publishRecorded(QByteArray(m_json.data(), qsizetype(m_json.size())));
}

void SessionPublisher::holdRecorded(const RecordedReading& recorded) {
    formatRecorded(recorded);
    m_uncommittedRows.emplace_back(m_json.data(), qsizetype(m_json.size()));
}

void SessionPublisher::handOverCommittedRows() {
    for (QByteArray& row : m_uncommittedRows) m_publisher.publishRecorded(std::move(row));
    m_uncommittedRows.clear();
}

QString SessionPublisher::stateText(MqttPublisher::State state, const QString& broker, const QString& lastError,
                                    const MqttPublisher::Counters& counters, bool started) {
    const QString backlog = QStringLiteral("%1 rows queued, %2 dropped").arg(counters.recordedQueued).arg(counters.recordedDropped);
    const bool anyBacklog = counters.recordedQueued > 0 || counters.recordedDropped > 0;
    switch (state) {
    case MqttPublisher::State::Connected:
        return QStringLiteral("MQTT: connected to %1").arg(broker) +
               (anyBacklog ? QStringLiteral(" (%1)").arg(backlog) : QString());
    case MqttPublisher::State::Connecting:
        if (lastError.isEmpty()) return QStringLiteral("MQTT: connecting to %1").arg(broker);
        return QStringLiteral("MQTT: broker unreachable, retrying (%1): %2").arg(backlog, lastError);
    case MqttPublisher::State::Disconnected:
        break;
    }
    if (!started) return QStringLiteral("MQTT: off");
    return QStringLiteral("MQTT: stopped") + (anyBacklog ? QStringLiteral(" (%1 not sent)").arg(backlog) : QString());
}

QString SessionPublisher::brokerStateText() const {
    return stateText(m_publisher.state(), m_publisher.brokerDisplayText(), m_publisher.lastError(),
                     m_publisher.counters(), m_started);
}

void SessionPublisher::updateStateText() {
    const QString text = brokerStateText();
    if (text == m_stateText) return;
    m_stateText = text;
    emit brokerStateChanged(text);
}

}  // namespace veska
