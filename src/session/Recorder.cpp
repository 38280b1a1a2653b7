#include "session/Recorder.h"

#include "storage/RecordTable.h"
#include "storage/TableError.h"

#include "session/NumberField.h"

#include "protocol/IsoTime.h"
#include "protocol/SiQuantity.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>

namespace veska {

namespace {

// The local time of day of a moment, whole seconds. Not QTime::currentTime(): that asks the
// time zone file again on every call, a system call per recorded row. The zone is the one
// in force at start (as for the CSV and JSON times).
QTime localTimeOfDay(qint64 msSinceEpoch) {
    const std::time_t seconds =
        static_cast<std::time_t>(msSinceEpoch >= 0 ? msSinceEpoch / 1000 : (msSinceEpoch - 999) / 1000);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) return QTime::currentTime();
    return QTime(local.tm_hour, local.tm_min, local.tm_sec);
}

}  // namespace

Recorder::Recorder(RecordTable& table, QObject* parent) : QObject(parent), m_table(table) {
    m_samplingTimer.setInterval(1000);
    connect(&m_samplingTimer, &QTimer::timeout, this, &Recorder::onSamplingTick);
    m_samplingTimer.start();
    connect(&m_table, &RecordTable::journalFailed, this, &Recorder::onJournalFailed);
    // Another table file may order its fields differently.
    connect(&m_table, &RecordTable::tableReset, this, [this] { m_fieldsResolved = false; });
}

QString Recorder::repeatKey(const MeterReading& r) {
    return QString::fromStdString(r.valueText + r.acDcText + r.unitText + r.rangeText);
}

void Recorder::offerReading(const MeterReading& reading) {
    // Without a table (it could not be opened, which was reported then) nothing is
    // recorded and nothing more is said: readings are still shown.
    if (!m_table.isOpen()) return;
    // A run records at most RecordLimit rows.
    if (m_recordedRows >= m_recordLimit) {
        if (!m_limitReported) {
            m_limitReported = true;
            emit recordLimitReached(m_recordLimit);
        }
        return;
    }
    // After a write failure, not every reading hammers a full disk again.
    if (m_paused && m_sinceFailure.isValid() && m_sinceFailure.elapsed() < m_retryMs) return;
    if (m_recordSI && m_sampleCountdown != 0) return;
    const QString key = repeatKey(reading);
    if (!m_repeatSet && key == m_lastRecordedKey) return;
    const QString keyBefore = m_lastRecordedKey;
    const int countdownBefore = m_sampleCountdown;
    const int noBefore = m_nextRecordNo;
    m_lastRecordedKey = key;
    m_sampleCountdown = m_interval;  // also while the interval is off
    ++m_recordedRows;
    const qint64 rowsBefore = m_table.rowCount();
    for (bool renumbered = false;;) {
        try {
            appendRow(reading);
            // A retry after a failure proves the disk again: the journal's held rows must go
            // out now, or recording stays paused (the row itself is held either way).
            if (m_paused) m_table.commitJournal();
            m_paused = false;
            return;
        } catch (const TableError& e) {
            m_table.cancel();
            // A table that refuses a number it already holds (a restored backup with its
            // index): numbering goes on after its highest, once.
            if (!renumbered && e.cause() == TableError::Cause::Constraint && m_table.rowCount() <= rowsBefore &&
                m_table.highestNo() >= noBefore) {
                renumbered = true;
                m_nextRecordNo = int(m_table.highestNo()) + 1;
                continue;
            }
            // A row that did not reach the table leaves no trace: not counted, its number and
            // key free for the next one (a journal failure after the post leaves the row held).
            // (Fewer rows than before: the write took the held rows along; the journal gives
            // them back with the next row, and this one was not among them.)
            if (m_table.rowCount() <= rowsBefore) {
                --m_recordedRows;
                m_nextRecordNo = renumbered ? m_nextRecordNo - 1 : noBefore;
                m_lastRecordedKey = keyBefore;
                m_sampleCountdown = countdownBefore;
            }
            writeFailed(e.message(), e.cause() == TableError::Cause::DiskFull);
            return;
        }
    }
}

void Recorder::continueNumbering() {
    if (!m_table.isOpen()) return;
    const qint64 highest = m_table.highestNo();
    if (highest >= m_nextRecordNo) m_nextRecordNo = int(std::min<qint64>(highest, kLimitless * 100LL) + 1);
}

void Recorder::onJournalFailed(const QString& message) {
    // The journal's messages carry the system's reason.
    bool full = false;
    for (const int cause : {ENOSPC, EFBIG, EDQUOT}) full = full || message.contains(QString::fromLocal8Bit(std::strerror(cause)));
    writeFailed(message, full);
}

void Recorder::writeFailed(const QString& message, bool diskFull) {
    m_sinceFailure.restart();
    if (m_paused) return;  // one report per failure, not one per reading
    m_paused = true;
    m_pauseReason = message;
    // Counted, not assumed: the rows the journal holds on disk and those held in memory only.
    // (Rows the table file held at open are in that file; the journal keeps the unsaved ones.)
    const qint64 inJournal = m_table.journalRows();
    const qint64 unsaved = m_table.unsavedRows();
    const QString journal = m_table.journalPath();
    QString kept = QStringLiteral("The %1 rows recorded so far are held").arg(m_recordedRows);
    if (!journal.isEmpty() && inJournal < unsaved)
        kept += QStringLiteral("; %1 of the %2 not yet saved are in the recovery journal %3, the other %4 in memory only")
                    .arg(inJournal)
                    .arg(unsaved)
                    .arg(journal)
                    .arg(unsaved - inJournal);
    else if (!journal.isEmpty())
        kept += QStringLiteral(", those not yet saved in the recovery journal %1").arg(journal);
    emit error(QStringLiteral("Recording paused: %1. %2; recording goes on by itself once the table can be written "
                              "again%3.")
                   .arg(message, kept, diskFull ? QStringLiteral(" (free some space)") : QString()));
}

const QString& Recorder::TextCache::of(const std::string& text) {
    // Coupling, unit and range repeat from row to row: convert only when they change.
    if (!valid || text != from) {
        from = text;
        converted = QString::fromStdString(text);
        valid = true;
    }
    return converted;
}

bool Recorder::resolveFields() {
    static constexpr const char* kNames[kFieldCount] = {"value", "Nval", "time", "no", "DC/AC", "unit", "Auto"};
    bool all = true;
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        m_fieldIndex[i] = m_table.engine().fieldIndex(QLatin1String(kNames[i]));
        all = all && m_fieldIndex[i] >= 0;
    }
    // Older tables have neither of these; their rows stay as they always were.
    m_utcIndex = m_table.engine().fieldIndex(RecordTable::utcField());
    m_siValueIndex = m_table.engine().fieldIndex(RecordTable::siValueField());
    m_fieldsResolved = true;
    return all;
}

void Recorder::appendRow(const MeterReading& r) {
    m_table.append();
    if (!m_fieldsResolved) m_allFields = resolveFields();
    // One moment for both the time of day and the UTC field, so they never disagree.
    const qint64 moment = m_momentClock();
    const QTime now = m_clock ? m_clock() : localTimeOfDay(moment);
    if (m_allFields) {
        // Fields by position, found once per opened table: no name lookups per row.
        m_table.setField(m_fieldIndex[0], QString::fromStdString(r.valueText));
        m_table.setField(m_fieldIndex[1], double(r.numericValue));
        m_table.setField(m_fieldIndex[2], QTime(now.hour(), now.minute(), now.second()));
        m_table.setField(m_fieldIndex[3], qint64(m_nextRecordNo));
        m_table.setField(m_fieldIndex[4], m_acDcText.of(r.acDcText));
        m_table.setField(m_fieldIndex[5], m_unitText.of(r.unitText));
        m_table.setField(m_fieldIndex[6], m_rangeText.of(r.rangeText));
    } else {
        // A table without one of the fields: by name, which reports the missing one.
        m_table.setField(QStringLiteral("value"), QString::fromStdString(r.valueText));
        m_table.setField(QStringLiteral("Nval"), double(r.numericValue));
        m_table.setField(QStringLiteral("time"), QTime(now.hour(), now.minute(), now.second()));
        m_table.setField(QStringLiteral("no"), qint64(m_nextRecordNo));
        m_table.setField(QStringLiteral("DC/AC"), QString::fromStdString(r.acDcText));
        m_table.setField(QStringLiteral("unit"), QString::fromStdString(r.unitText));
        m_table.setField(QStringLiteral("Auto"), QString::fromStdString(r.rangeText));
    }
    if (m_utcIndex >= 0) m_table.setField(m_utcIndex, QString::fromStdString(IsoTime::utc(moment)));
    if (m_siValueIndex >= 0) {
        const SiQuantity si = SiQuantity::fromReading(r);
        // Overload and unreadable texts have no value: NULL, never a made-up number.
        m_table.setField(m_siValueIndex, si.isNumber() ? TableEngine::Value(si.value) : TableEngine::Value(std::monostate{}));
    }
    m_lastRecorded = RecordedReading{m_nextRecordNo, moment, r};
    ++m_nextRecordNo;
    m_table.post();
}

void Recorder::countRowsHeld() {
    m_recordedRows = static_cast<int>(std::min<qint64>(m_table.rowCount(), std::numeric_limits<int>::max()));
    emit recordedRowsChanged(m_recordedRows);
}

void Recorder::onSamplingTick() {
    if (m_recordSI && m_sampleCountdown > 0) --m_sampleCountdown;
}

void Recorder::setIntervalText(const QString& text) {
    const auto value = NumberField::parse(text);
    if (!value) {
        emit error(NumberField::notAnIntegerMessage(text));
        return;
    }
    setInterval(*value);
}

void Recorder::setInterval(int seconds) {
    // A pasted negative number would hold recording back for ever: read it as 0.
    m_interval = std::max(0, seconds);
    m_sampleCountdown = m_interval;
}

bool Recorder::acceptsIntervalKey(QChar& key) {
    if (NumberField::acceptsKey(key, false)) return true;
    key = QChar(0);
    return false;
}

bool Recorder::newRecord() {
    if (m_table.unsavedRows() > 0) {
        const QString question = QStringLiteral("The record table holds %1 rows that have not been saved.\n"
                                                "Delete them?")
                                     .arg(m_table.unsavedRows());
        if (!m_confirm || !m_confirm(question)) return false;
    }
    try {
        // No table open is a failure too: nothing could be deleted.
        if (!m_table.isOpen() || m_table.rowCount() >= 1) m_table.empty();
    } catch (const TableError& e) {
        emit error(e.message());
        return false;
    }
    m_nextRecordNo = 1;
    m_recordedRows = 0;
    m_limitReported = false;
    // Told only once the rows are really gone.
    emit information(QStringLiteral(" Record deleted "));
    return true;
}

void Recorder::setRecordLimit(int limit) {
    if (limit == m_recordLimit) return;
    m_recordLimit = limit;
    m_limitReported = false;
    emit recordLimitChanged(limit);
}

}  // namespace veska
