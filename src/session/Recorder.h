#pragma once

#include "protocol/MeterReading.h"
#include "session/RecordedReading.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTime>
#include <QTimer>

#include <array>
#include <functional>
#include <string>

namespace veska {

class RecordTable;

// The recording rules: which readings become rows of the record table, the sampling timer
// the record limit and "New". Owns the module values of recording. The recording
// row's controls feed it through setRepeatSet, setRecordSI and setIntervalText
// (RecordingRow wires real widgets to them).
class Recorder : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultLimit = 10000;
    static constexpr int kLimitless = 10000000;

    explicit Recorder(RecordTable& table, QObject* parent = nullptr);

    // valueText + acDcText + unitText + rangeText, no separator.
    static QString repeatKey(const MeterReading& reading);

    // One decoded reading, from the per-packet cycle. Appends a row when the rules allow.
    // Never blocks and never throws: a table failure is reported through error(), once, and
    // recording pauses; it tries again with a reading at most once a second and goes on by
    // itself when writing works again (space freed). Rows already held stay held.
    void offerReading(const MeterReading& reading);
    // Recording is paused by a write failure.
    bool paused() const { return m_paused; }
    QString pauseReason() const { return m_pauseReason; }  // the engine's message
    // Retry pause after a failure, in milliseconds (tests shorten it).
    void setRetryInterval(int ms) { m_retryMs = ms; }
    // One tick of samplingTimer (the recorder's own 1 s timer calls it).
    void onSamplingTick();
    // Change of the interval text. A text that is not a whole number is reported once here
    // and the last valid interval stays in force.
    void setIntervalText(const QString& text);
    // Change of the interval to a number of seconds (a negative one counts as 0).
    void setInterval(int seconds);
    // Key filter of intervalField (and of the chart's points-per-page field): digits and
    // backspace pass, anything else becomes the null character. Returns whether it passed.
    static bool acceptsIntervalKey(QChar& key);
    // "New": asks first when the table holds unsaved rows (No: nothing happens, returns
    // false), shows " Record deleted ", empties the table, restarts numbering and count.
    bool newRecord();

    // --- controls of the recording row ---
    void setRepeatSet(bool checked) { m_repeatSet = checked; }
    bool repeatSet() const { return m_repeatSet; }
    void setRecordSI(bool checked) { m_recordSI = checked; }
    bool recordSI() const { return m_recordSI; }
    int interval() const { return m_interval; }  // seconds, the last valid interval text

    // --- module values ---
    int nextRecordNo() const { return m_nextRecordNo; }
    void setNextRecordNo(int no) { m_nextRecordNo = no; }  // start-up sets 1
    // A table that already holds rows (a restored backup, a copied run, restored journal
    // rows) records on: the next number comes after its highest `No`.
    void continueNumbering();
    // The rows the table holds now count as recorded, as the grid shows them: rows put back
    // from a journal, and those of a table that already held rows at start. They count in the
    // status line and against the record limit.
    void countRowsHeld();
    int recordedRows() const { return m_recordedRows; }
    int recordLimit() const { return m_recordLimit; }
    void setRecordLimit(int limit);  // also moves the limit menu's check mark
    int sampleCountdown() const { return m_sampleCountdown; }
    QString lastRecordedKey() const { return m_lastRecordedKey; }

    // --- hooks ---
    // Time of day for the Time field (tests give a fake clock).
    void setClock(std::function<QTime()> clock) { m_clock = std::move(clock); }
    // The moment for the UTC field, milliseconds since 1970 UTC (tests give a fake clock).
    void setMomentClock(std::function<qint64()> clock) { m_momentClock = std::move(clock); }
    // The reading of the row appended last (valid from its table's rowPosted on).
    const RecordedReading& lastRecorded() const { return m_lastRecorded; }
    // Yes/No question before "New" removes unsaved rows; without a hook the answer is No.
    void setConfirmHook(std::function<bool(const QString&)> confirm) { m_confirm = std::move(confirm); }
    // The 1 s sampling timer, running from construction (tests stop it and tick by hand).
    QTimer& samplingTimer() { return m_samplingTimer; }

signals:
    void information(const QString& text);  // an information box: " Record deleted "
    void error(const QString& text);        // an error box: the engine's or the field's message
    void recordLimitChanged(int limit);
    // The limit turned a reading away for the first time since the limit or the count changed.
    void recordLimitReached(int limit);
    // The count of recorded rows was set from the table (countRowsHeld).
    void recordedRowsChanged(int count);

private:
    void appendRow(const MeterReading& reading);
    void writeFailed(const QString& message, bool diskFull);
    void onJournalFailed(const QString& message);

    // Last text converted for a field whose text seldom changes.
    struct TextCache {
        std::string from;
        QString converted;
        bool valid = false;
        const QString& of(const std::string& text);
    };
    static constexpr std::size_t kFieldCount = 7;
    bool resolveFields();

    RecordTable& m_table;
    std::array<int, kFieldCount> m_fieldIndex{};
    int m_utcIndex = -1;      // the moment's field, -1 in older tables
    int m_siValueIndex = -1;  // the SI value's field, -1 in older tables
    bool m_fieldsResolved = false;
    bool m_allFields = false;
    TextCache m_acDcText;
    TextCache m_unitText;
    TextCache m_rangeText;
    bool m_repeatSet = true;
    bool m_recordSI = false;
    int m_interval = 10;
    int m_nextRecordNo = 1;
    int m_recordedRows = 0;
    int m_recordLimit = kDefaultLimit;
    int m_sampleCountdown = 0;
    QString m_lastRecordedKey;
    bool m_paused = false;  // a failing table is reported once until a row posts again
    QString m_pauseReason;
    bool m_limitReported = false;
    int m_retryMs = 1000;
    QElapsedTimer m_sinceFailure;
    std::function<QTime()> m_clock;  // empty: the local time of day of the row's moment
    std::function<qint64()> m_momentClock = [] { return QDateTime::currentMSecsSinceEpoch(); };
    RecordedReading m_lastRecorded;
    std::function<bool(const QString&)> m_confirm;
    QTimer m_samplingTimer;
};

}  // namespace veska
