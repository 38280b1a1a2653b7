#include "app/HeadlessLogger.h"

#include "links/SimulatedMeters.h"
#include "links/HidDeviceMonitor.h"
#include "links/HidapiPlatform.h"
#include "links/UsbConnection.h"
#include "storage/RecordColumns.h"
#include "storage/RecordTable.h"
#include "storage/SafeFileWriter.h"
#include "session/Recorder.h"
#include "storage/TableError.h"
#include "links/SerialPortDriver.h"
#include "session/MeterSession.h"
#include "network/MqttBrokerUrl.h"
#include "network/MqttPasswordFile.h"
#include "session/RunPolicy.h"
#include "network/SessionPublisher.h"
#include "storage/TableStatistics.h"
#include "protocol/IsoTime.h"
#include "protocol/ReadingCsv.h"
#include "protocol/ReadingJson.h"
#include "protocol/SiQuantity.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace veska {

namespace {

std::atomic<int> g_stopSignal{0};  // set from the signal handler only: the signal that asked to stop

extern "C" void onStopSignal(int signal) { g_stopSignal = signal; }

// The broker's password for a URL that names the user only: kept out of the process list.
constexpr const char* kPasswordVariable = "VESKA_MQTT_PASSWORD";

// The signals that end a run the normal way: Ctrl-C, kill, a closed terminal, a closed pipe.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Saving as the window's Save command does: a copy for ".db", CSV or text otherwise.
QString saveLikeTheWindow(RecordTable& table, const QString& file) {
    try {
        const TextExport::Result result = table.saveTo(file);
        if (!result.ok) return result.message;
    } catch (const TableError& e) {
        return e.message();
    }
    try {
        table.markSaved();
    } catch (const TableError& e) {
        // The file is saved but the journal could not be emptied: told, and it keeps its rows.
        return e.message();
    }
    return QString();
}

// Writes all of `bytes`; false with errno set when the stream failed.
bool printBytes(std::FILE* f, const char* bytes, std::size_t size) {
    errno = 0;
    const std::size_t n = std::fwrite(bytes, 1, size, f);
    const bool flushed = std::fflush(f) == 0;
    if (n == size && flushed) return true;
    if (errno == 0) errno = EIO;
    std::clearerr(f);
    return false;
}

bool print(std::FILE* f, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return printBytes(f, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

HeadlessLogger::HeadlessLogger(const CommandLine& options, Saver saver, std::FILE* out, std::FILE* err,
                               QObject* parent)
    : QObject(parent),
      m_options(options),
      m_saver(saver ? std::move(saver) : Saver(saveLikeTheWindow)),
      m_out(out),
      m_err(err),
      m_output(out) {
    SessionSetup setup;
    if (m_options.usb || m_options.simulate == CommandLine::Simulate::Usb) {
        // The process's one device monitor, over the machine's HID devices or the simulated cable.
        std::shared_ptr<HidPlatform> platform;
        if (m_options.simulate == CommandLine::Simulate::Usb) {
            m_simulated = std::make_unique<SimulatedMeters>();
            platform = m_simulated->startUsb(m_options.rate);
        } else {
            platform = std::make_shared<HidapiPlatform>();
        }
        setup.deviceMonitor = std::make_shared<HidDeviceMonitor>(std::move(platform));
    }
    m_session = std::make_unique<MeterSession>(std::move(setup));
    m_run = std::make_unique<RunPolicy>(*m_session);
    m_session->setChartHistoryKept(false);  // no chart to show it
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(0);
    connect(&m_flushTimer, &QTimer::timeout, this, &HeadlessLogger::flushOut);
    m_session->startUp();
    connect(m_session.get(), &MeterSession::rowRecorded, this, &HeadlessLogger::printRow);
    connect(m_session.get(), &MeterSession::readingRecorded, this, &HeadlessLogger::onReadingRecorded);
    connect(m_session.get(), &MeterSession::readingHandled, this, &HeadlessLogger::onReadingHandled);
    connect(m_session.get(), &MeterSession::decodeFailed, this, [this](const QString& error) {
        print(m_err, QStringLiteral("veska: packet not decoded: %1\n").arg(error));
    });
}

HeadlessLogger::~HeadlessLogger() {
    m_publisher = nullptr;
    m_run.reset();
    m_session.reset();
}

int HeadlessLogger::run() {
    g_stopSignal = 0;
    // A closed pipe or terminal ends the run like SIGTERM, with the save, instead of killing it.
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    sigemptyset(&stop.sa_mask);
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &stop, &m_previousActions[i]);

    if (m_options.save) {
        // Known before the first row: a run whose save could only be refused at its end.
        if (const QString what = SafeFileWriter::neverWritten(*m_options.save); !what.isEmpty()) {
            fail(QStringLiteral("--save %1: it is %2; name another file").arg(*m_options.save, what));
            return finish();
        }
    }
    if (!openTable()) return finish();
    if (m_options.format == CommandLine::Format::Csv) writeOut(std::string(ReadingCsv::header()));
    configureRecorder();
    if (!startPublishing()) return finish();
    const bool usb = m_options.usb || m_options.simulate == CommandLine::Simulate::Usb;
    if (!(usb ? connectUsb() : connectSerial())) return finish();
    m_started = true;

    QTimer stopPoll;
    connect(&stopPoll, &QTimer::timeout, this, [this] {
        const int signal = g_stopSignal.exchange(0);
        if (signal == SIGPIPE && m_status == 0) m_status = kBrokenPipeStatus;
        if (signal != 0) requestStop();
    });
    stopPoll.start(100);
    QCoreApplication::exec();
    return finish();
}

void HeadlessLogger::requestStop() {
    m_stopping = true;
    m_session->setAcceptingPackets(false);  // packets still in hand are not recorded any more
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

bool HeadlessLogger::openTable() {
    const RunPolicy::TableOpening opening = m_run->openTable();
    if (opening.state == RunPolicy::TableState::NotOpened) {
        fail(QStringLiteral("cannot open the record table: %1").arg(opening.reason));
        return false;
    }
    if (opening.state == RunPolicy::TableState::NotWritable) {
        fail(opening.reason);
        return false;
    }
    // Without anybody to ask, another run's rows are kept aside, never mixed into this run.
    m_run->answerLeftoverJournals([](const RunPolicy::LeftoverJournal&) { return false; },
                                  [this](RunPolicy::LeftoverOutcome outcome, const QString& detail) {
                                      if (outcome == RunPolicy::LeftoverOutcome::MovedAside) {
                                          print(m_err, QStringLiteral("veska: rows of a run that did not end normally were kept in %1\n").arg(detail));
                                      } else {
                                          print(m_err, "veska: " + detail + "\n");
                                      }
                                  });
    return true;
}

void HeadlessLogger::configureRecorder() {
    Recorder& recorder = m_session->recorder();
    connect(&recorder, &Recorder::error, this, &HeadlessLogger::onRecordingError);
    connect(&recorder, &Recorder::recordLimitReached, this, &HeadlessLogger::onRecordLimit);
    recorder.setRecordLimit(m_options.limit.value_or(Recorder::kDefaultLimit));
    recorder.setRepeatSet(!m_options.noRepeat);
    if (m_options.interval && *m_options.interval > 0) {
        recorder.setIntervalText(QString::number(*m_options.interval));
        recorder.setRecordSI(true);
    }
}

bool HeadlessLogger::connectSerial() {
    PortMap map;
    for (const auto& [n, path] : m_options.portMap) map.setPath(*portFromNumber(n), path);
    ComPortNumber port = ComPortNumber::Com1;
    if (m_options.simulate == CommandLine::Simulate::Serial) {
        m_simulated = std::make_unique<SimulatedMeters>();
        if (!m_simulated->startSerial(m_options.rate)) {
            fail(QStringLiteral("cannot start the simulated meter: %1").arg(m_simulated->errorText()));
            return false;
        }
        map.setPath(ComPortNumber::Com1, m_simulated->serialPath());
    } else if (!m_options.port && m_options.portMap.size() == 1) {
        // One port mapped and none named: that is the port to read.
        port = *portFromNumber(m_options.portMap.front().first);
    } else if (m_options.port) {
        const QString p = *m_options.port;
        if (p.size() == 4 && p.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) && portFromNumber(p.at(3).digitValue())) {
            port = *portFromNumber(p.at(3).digitValue());
        } else {
            map.setPath(ComPortNumber::Com1, p);
        }
    }
    // The session's driver has the model's speed and framing; only the port is chosen here.
    SerialPortDriver& driver = m_session->serialDriver();
    // No window, no watchdog picture to keep in step: read when bytes arrive, not on a tick,
    // and write each read's rows together.
    driver.setReadMode(SerialPortDriver::ReadMode::OnData);
    connect(&driver, &SerialPortDriver::readBatchDone, this, &HeadlessLogger::flushOut);
    driver.setPortMap(map);
    driver.setComPort(port);
    connect(&driver, &SerialPortDriver::portLost, this, [this](const QString& reason) {
        fail(QStringLiteral("the port %1 was lost: %2").arg(m_session->serialDriver().portPath(), reason));
        requestStop();
    });
    if (!driver.connectPort()) {
        fail(QStringLiteral("cannot open %1: %2").arg(driver.portPath(), driver.lastErrorText()));
        return false;
    }
    return true;
}

bool HeadlessLogger::connectUsb() {
    // Report handling and bridge speed follow the model profile, as in the window.
    connect(m_session.get(), &MeterSession::linkFailed, this,
            [this](const LinkError& e) { print(m_err, "veska: " + e.text + "\n"); });
    connect(m_run.get(), &RunPolicy::cableLost, this, [this](const QString& text) { print(m_err, "veska: " + text + "\n"); });
    connect(m_run.get(), &RunPolicy::cableBack, this,
            [this](const QString& text) { print(m_err, "veska: " + text + "; recording goes on\n"); });
    if (m_session->selectedUsbCable() < 0) {
        fail(QStringLiteral("no \"USB to Serial\" cable found (see packaging/udev for access rights)"));
        return false;
    }
    m_session->connectUsb();
    return true;
}

bool HeadlessLogger::brokerPassword(MqttPublisherOptions& options) {
    const std::optional<MqttBrokerUrl> url = MqttBrokerUrl::parse(options.brokerUrl);
    if (!url) return true;  // the publisher names the mistake
    QString password;
    if (!m_options.mqttPasswordFile.isEmpty()) {
        const QString why = MqttPasswordFile::read(m_options.mqttPasswordFile, password);
        if (!why.isEmpty()) {
            fail(why);
            return false;
        }
        if (MqttPasswordFile::othersMayRead(m_options.mqttPasswordFile))
            print(m_err, QStringLiteral("veska: warning: other users can read %1 (chmod 600 it)\n")
                             .arg(m_options.mqttPasswordFile));
    } else if (qEnvironmentVariableIsSet(kPasswordVariable)) {
        if (url->hasPassword) return true;  // the URL's own password is the one asked for
        if (url->user.isEmpty()) {
            print(m_err, QStringLiteral("veska: %1 is not used: the broker URL names no user (mqtt://USER@host)\n")
                             .arg(QLatin1String(kPasswordVariable)));
            return true;
        }
        password = qEnvironmentVariable(kPasswordVariable);
    } else {
        if (url->hasPassword)
            print(m_err, QStringLiteral("veska: warning: the password in the broker URL shows in the process list; "
                                        "use --mqtt-password-file FILE or %1\n")
                             .arg(QLatin1String(kPasswordVariable)));
        return true;
    }
    options.user = url->user;
    options.password = password;
    return true;
}

bool HeadlessLogger::startPublishing() {
    if (!m_options.mqttUrl) return true;
    MqttPublisherOptions options;
    options.brokerUrl = *m_options.mqttUrl;
    options.topicPrefix = m_options.mqttTopic;
    options.caFile = m_options.mqttCa;
    if (!brokerPassword(options)) return false;
    auto publisher = std::make_unique<SessionPublisher>(options, *m_session);
    SessionPublisher* started = publisher.get();
    if (!m_run->startPublishing(std::move(publisher), std::chrono::milliseconds(2000))) {
        fail(QStringLiteral("cannot publish over MQTT: %1").arg(m_run->publishError()));
        return false;
    }
    m_publisher = started;
    // Connection changes only; the backlog's every step would flood the terminal.
    connect(&m_publisher->publisher(), &MqttPublisher::stateChanged, this, [this] {
        const QString text = m_publisher->brokerStateText();
        if (text == m_lastBrokerText) return;
        m_lastBrokerText = text;
        print(m_err, "veska: " + text + "\n");
    });
    return true;
}

void HeadlessLogger::stopPublishing() {
    if (!m_publisher) return;
    m_publisher->publisher().disconnect(this);
    const std::unique_ptr<RunPublisher> stopped = m_run->stopPublishing(std::chrono::milliseconds(2000));
    m_publisher = nullptr;
    const auto* publisher = static_cast<const SessionPublisher*>(stopped.get());
    const MqttPublisher::Counters c = publisher->publisher().counters();
    // Said once the save has shown where the rows are.
    if (c.recordedQueued > 0 || c.recordedDropped > 0)
        m_undelivered = QStringLiteral("MQTT: %1 recorded rows were not delivered to %2 (%3 dropped from the full queue)")
                            .arg(c.recordedQueued + c.recordedDropped)
                            .arg(publisher->publisher().brokerDisplayText())
                            .arg(c.recordedDropped);
}

void HeadlessLogger::reportUndelivered(const QString& rowsAreIn) {
    if (m_undelivered.isEmpty()) return;
    const QString where = rowsAreIn.isEmpty()
                              ? QStringLiteral("they were only printed (--save FILE keeps a run's rows)")
                              : QStringLiteral("they are in %1").arg(rowsAreIn);
    print(m_err, QStringLiteral("veska: %1; %2\n").arg(m_undelivered, where));
}

QString HeadlessLogger::saveAtEnd() {
    // A run that never started keeps its hands off the save file: an earlier run's file of
    // that name must not be replaced by a table this run added nothing to.
    if (!m_options.save || !m_saver || !m_started) return QString();
    const RunPolicy::FinalSave saved =
        m_run->saveAndClose([this](RecordTable& table) { return m_saver(table, *m_options.save); });
    if (saved.error.isEmpty()) return *m_options.save;
    fail(saved.error);
    if (saved.keptIn.isEmpty() || saved.recordedRows == 0) return QString();
    // The rows are safe nowhere else: they wait in the journal, as many as are counted there.
    if (saved.keptRows >= saved.recordedRows) {
        print(m_err, QStringLiteral("veska: the run's %1 rows are kept in %2\n").arg(saved.keptRows).arg(saved.keptIn));
    } else {
        const QString why = m_session->recorder().pauseReason();
        print(m_err, QStringLiteral("veska: %1 of the run's %2 rows are kept in %3; the other %4 could not be written "
                                    "there%5\n")
                         .arg(saved.keptRows)
                         .arg(saved.recordedRows)
                         .arg(saved.keptIn)
                         .arg(saved.recordedRows - saved.keptRows)
                         .arg(why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why)));
    }
    return saved.keptRows > 0 ? saved.keptIn : QString();
}

void HeadlessLogger::printRow(const QStringList& texts) {
    // The record table's fields start with the six the text export writes, in its order.
    if (m_options.format == CommandLine::Format::Tsv && !m_outClosed) {
        const qsizetype n = std::min<qsizetype>(texts.size(), RecordColumns::kCount);
        for (qsizetype i = 0; i < n; ++i) {
            if (i > 0) m_output.append('\t');
            m_output.append(texts[i]);
        }
        m_output.append('\n');
        if (!m_flushTimer.isActive()) m_flushTimer.start();
    }
    ++m_rowsWritten;
    if (m_options.samples && m_rowsWritten >= *m_options.samples) requestStop();
}

void HeadlessLogger::onReadingRecorded(const RecordedReading& recorded) {
    const SiQuantity quantity = SiQuantity::fromReading(recorded.reading);
    const std::string time = IsoTime::local(recorded.utcMs);
    m_statistics.add(quantity, recorded.reading.acDcText, time);
    if (m_options.format == CommandLine::Format::Csv) {
        m_line.clear();
        ReadingCsv::appendRow(m_line, recorded.reading, quantity, time, recorded.no);
        writeOut(m_line);
    }
    // The packet's readingHandled follows at once and carries the record number.
    m_justRecorded = recorded;
}

void HeadlessLogger::onReadingHandled(const ReadingUpdate& update) {
    std::optional<RecordedReading> recorded;
    recorded.swap(m_justRecorded);
    if (m_options.format != CommandLine::Format::Jsonl) return;
    const std::int64_t moment = recorded ? recorded->utcMs : QDateTime::currentMSecsSinceEpoch();
    m_line.clear();
    ReadingJson::appendObject(m_line, update.reading, update.lcd, IsoTime::utc(moment),
                              recorded ? std::optional<std::int64_t>(recorded->no) : std::nullopt);
    m_line += '\n';
    writeOut(m_line);
}

void HeadlessLogger::writeOut(const QString& text) {
    if (m_outClosed) return;
    m_output.append(text);
    if (!m_flushTimer.isActive()) m_flushTimer.start();
}

void HeadlessLogger::writeOut(const std::string& bytes) {
    if (m_outClosed) return;
    m_output.append(std::string_view(bytes));
    if (!m_flushTimer.isActive()) m_flushTimer.start();
}

void HeadlessLogger::flushOut() {
    if (m_outClosed) {
        m_output.discard();
        return;
    }
    // A printed row is in the journal: when it cannot be committed (a full disk), the rows
    // wait here with the table's until it can, or until the run ends.
    if (!m_session->recordTable().commitRows() && !m_finishing) return;
    if (m_output.flush()) return;
    // The reader went away (`| head`) or the output cannot be written: the rows are still in
    // the table, so end the run the normal way and save them.
    m_outClosed = true;
    if (errno == EPIPE) {
        if (m_status == 0) m_status = kBrokenPipeStatus;
    } else {
        fail(QStringLiteral("cannot write to standard output (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    requestStop();
}

void HeadlessLogger::onRecordingError(const QString& message) {
    const Recorder& recorder = m_session->recorder();
    if (recorder.paused() && m_rowsWritten == 0) {
        // Not a single row could be written: running on would record nothing.
        fail(QStringLiteral("cannot record into %1: %2").arg(m_session->recordTable().filePath(), recorder.pauseReason()));
        requestStop();
        return;
    }
    print(m_err, "veska: " + message + "\n");
}

void HeadlessLogger::onRecordLimit(int limit) {
    if (m_stopping) return;
    const QString before = m_options.samples ? QStringLiteral(" before %1 samples").arg(*m_options.samples) : QString();
    print(m_err, QStringLiteral("veska: the record limit of %1 rows stopped recording%2; use --limit N to change it\n")
                     .arg(limit)
                     .arg(before));
    requestStop();  // as if the samples were reached: save and end normally
}

void HeadlessLogger::fail(const QString& message) {
    print(m_err, "veska: " + message + "\n");
    m_status = 1;
}

int HeadlessLogger::finish() {
    m_session->serialDriver().disconnectPort();
    m_finishing = true;
    flushOut();  // rows printed in the last turn of the event loop
    if (m_session->linkStatus().kind == LinkKind::Usb && m_session->linkStatus().isOpen()) m_session->disconnectUsb();
    stopPublishing();  // after the links: every recorded row is queued before the drain
    reportUndelivered(saveAtEnd());
    m_run->closeTable(RunPolicy::UnsavedRows::Decided);
    if (m_started) print(m_err, QStringLiteral("veska: statistics of this run:\n") + TableStatistics::text(m_statistics));
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &m_previousActions[i], nullptr);
    if (const int signal = g_stopSignal.exchange(0); signal == SIGPIPE && m_status == 0) m_status = kBrokenPipeStatus;
    return m_status;
}

}  // namespace veska
