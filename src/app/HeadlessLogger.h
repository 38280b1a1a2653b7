#pragma once

#include "app/BatchedOutput.h"
#include "app/CommandLine.h"
#include "links/PortMap.h"
#include "protocol/ReadingStatistics.h"
#include "session/RecordedReading.h"
#include "session/ReadingUpdate.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace veska {

class MeterSession;
struct MqttPublisherOptions;
class RecordTable;
class RunPolicy;
class SessionPublisher;
class SimulatedMeters;

// Logging without a window: a meter session like the window's, connected at once, plus a
// printer that writes to standard output in the chosen format: every recorded row as a line
// of the text export (tsv), every recorded row as CSV after a header (csv), or every
// decoded reading as a JSON object with the record number of those recorded (jsonl). The
// lines of a read go out together at its end, after its rows are committed to the recovery
// journal: a row that was printed survives the process being killed. The run's statistics go to standard error at the end. Stops after the asked number of rows, when the record limit ends recording, or on
// SIGINT, SIGTERM, SIGHUP or SIGPIPE (standard output closed). Each stop saves when asked;
// when that save fails the run's rows stay in the recovery journal. With --mqtt every
// reading and row also goes to a broker; the broker's state never holds the run up.
// Exit status: 0; 1 after a failure (no table, no port, a failed save, a table that cannot
// be written); 141 (128 + SIGPIPE, as a shell reports it) when standard output was closed.
class HeadlessLogger : public QObject {
    Q_OBJECT
public:
    // Saves the record table to a file (copy for ".db", text otherwise); returns the
    // error text, empty on success. Empty: as the window's Save command does.
    using Saver = std::function<QString(RecordTable& table, const QString& file)>;

    HeadlessLogger(const CommandLine& options, Saver saver, std::FILE* out = stdout, std::FILE* err = stderr,
                   QObject* parent = nullptr);
    ~HeadlessLogger() override;

    // Runs until done; returns the process exit status.
    int run();

    // Ends the run at the next turn of the event loop (signals, tests).
    void requestStop();

    static constexpr int kBrokenPipeStatus = 128 + 13;

    // The session the logger prints from (tests drive it directly).
    MeterSession& session() const { return *m_session; }

private:
    bool openTable();
    void configureRecorder();
    bool connectSerial();
    bool connectUsb();
    // Takes the broker's password from --mqtt-password-file or VESKA_MQTT_PASSWORD; false
    // (after fail()) when the file cannot be read.
    bool brokerPassword(MqttPublisherOptions& options);
    bool startPublishing();
    void stopPublishing();
    // Where the run's rows are at the end, counted there: printed, and the MQTT rows the
    // broker did not get told of with the place they are in.
    QString saveAtEnd();
    void reportUndelivered(const QString& rowsAreIn);
    void printRow(const QStringList& texts);
    void onReadingRecorded(const RecordedReading& recorded);
    void onReadingHandled(const ReadingUpdate& update);
    void writeOut(const std::string& bytes);
    void onRecordingError(const QString& message);
    void onRecordLimit(int limit);
    void writeOut(const QString& text);
    // Writes the rows gathered since the last flush with one system call.
    void flushOut();
    void fail(const QString& message);
    int finish();

    CommandLine m_options;
    Saver m_saver;
    std::FILE* m_out;
    std::FILE* m_err;
    // Rows of the packets read together, written at the end of that read (or of the turn
    // of the event loop that printed them).
    BatchedOutput m_output;
    QTimer m_flushTimer;
    std::unique_ptr<SimulatedMeters> m_simulated;
    std::unique_ptr<MeterSession> m_session;
    std::unique_ptr<RunPolicy> m_run;
    SessionPublisher* m_publisher = nullptr;  // --mqtt: readings and rows to a broker (held by m_run)
    QString m_lastBrokerText;                        // the broker state last printed
    QString m_undelivered;                           // "N recorded rows were not delivered to ..."
    int m_rowsWritten = 0;
    ReadingStatistics m_statistics;
    std::optional<RecordedReading> m_justRecorded;  // the packet in hand was recorded as this row
    std::string m_line;
    int m_status = 0;
    bool m_stopping = false;
    bool m_finishing = false;  // the run is ending: what is printed goes out, committed or not
    bool m_started = false;  // the meter was connected: the run is under way, with statistics to tell
    bool m_outClosed = false;  // standard output failed: no more rows go there
    std::array<struct sigaction, 4> m_previousActions{};  // restored when the run ends
};

}  // namespace veska
