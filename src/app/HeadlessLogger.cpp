#include "HeadlessLogger.h"

#include "SimulatedMeters.h"
#include "hid/EControllerError.h"
#include "hid/HidapiPlatform.h"
#include "hid/UsbConnection.h"
#include "protocol/ScaleSet.h"
#include "records/DataFileCommands.h"
#include "records/RecordColumns.h"
#include "records/RecordTable.h"
#include "records/Recorder.h"
#include "records/TableError.h"
#include "serial/TCommPortDriver.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <csignal>

namespace veska {

namespace {

std::atomic<bool> g_stopRequested{false};  // set from the signal handler only

extern "C" void OnStopSignal(int) { g_stopRequested = true; }

// Saving as the window's Save command does: a copy for ".db", text otherwise.
QString SaveLikeTheWindow(RecordTable& table, const QString& file) {
    DataFileCommands commands(table);
    QString failure;
    QObject::connect(&commands, &DataFileCommands::error, [&failure](const QString& m) { failure = m; });
    if (!commands.saveTo(file) && failure.isEmpty()) failure = QStringLiteral("could not save to %1").arg(file);
    return failure;
}

void Print(std::FILE* f, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), f);
    std::fflush(f);
}

}  // namespace

HeadlessLogger::HeadlessLogger(const CommandLine& options, Saver saver, std::FILE* out, std::FILE* err,
                               QObject* parent)
    : QObject(parent),
      m_options(options),
      m_saver(saver ? std::move(saver) : Saver(SaveLikeTheWindow)),
      m_out(out),
      m_err(err),
      m_framing([this](std::string_view packet) { onPacket(packet); }) {}

HeadlessLogger::~HeadlessLogger() {
    if (m_driver) m_driver->Disconnect();
    m_usb.reset();
}

int HeadlessLogger::run() {
    g_stopRequested = false;
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);

    if (!openTable()) return finish();
    configureRecorder();
    const bool usb = m_options.usb || m_options.simulate == CommandLine::Simulate::Usb;
    if (!(usb ? connectUsb() : connectSerial())) return finish();

    QTimer stopPoll;
    connect(&stopPoll, &QTimer::timeout, this, [this] {
        if (g_stopRequested) requestStop();
    });
    stopPoll.start(100);
    QCoreApplication::exec();
    return finish();
}

void HeadlessLogger::requestStop() {
    m_stopping = true;  // packets still in hand are not recorded any more
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

bool HeadlessLogger::openTable() {
    m_table = std::make_unique<RecordTable>();
    try {
        m_table->openDefault();
    } catch (const TableError& e) {
        fail(QStringLiteral("cannot open the record table: %1").arg(QString::fromUtf8(e.what())));
        return false;
    }
    if (!m_table->isWritable()) {
        fail(m_table->notWritableReason());
        return false;
    }
    while (m_table->hasLeftoverJournal()) {
        // Never mix another run's rows into this one, never overwrite them. A journal that
        // cannot be kept aside safely stays where it is; this run journals under another name.
        try {
            const QString kept = m_table->moveJournalAside();
            Print(m_err, QStringLiteral("veska: rows of a run that did not end normally were kept in %1\n").arg(kept));
        } catch (const TableError& e) {
            Print(m_err, "veska: " + e.message() + "\n");
        }
    }
    connect(m_table.get(), &RecordTable::rowPosted, this, &HeadlessLogger::onRowPosted);
    return true;
}

void HeadlessLogger::configureRecorder() {
    m_recorder = std::make_unique<Recorder>(*m_table);
    connect(m_recorder.get(), &Recorder::error, this, [this](const QString& m) { Print(m_err, "veska: " + m + "\n"); });
    m_recorder->setNextRecordNo(1);
    m_recorder->setRecordLimit(m_options.limit.value_or(Recorder::kDefaultLimit));
    m_recorder->setRepeatSet(!m_options.noRepeat);
    if (m_options.interval && *m_options.interval > 0) {
        m_recorder->RecordSITimeChange(QString::number(*m_options.interval));
        m_recorder->setRecordSI(true);
    }
}

bool HeadlessLogger::connectSerial() {
    PortMap map;
    for (const auto& [n, path] : m_options.portMap) map.setPath(*PortFromNumber(n), path);
    TComPortNumber port = TComPortNumber::pnCOM1;
    if (m_options.simulate == CommandLine::Simulate::Serial) {
        m_simulated = std::make_unique<SimulatedMeters>();
        if (!m_simulated->startSerial(m_options.rate)) {
            fail(QStringLiteral("cannot start the simulated meter: %1").arg(m_simulated->errorText()));
            return false;
        }
        map.setPath(TComPortNumber::pnCOM1, m_simulated->serialPath());
    } else if (m_options.port) {
        const QString p = *m_options.port;
        if (p.size() == 4 && p.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) && PortFromNumber(p.at(3).digitValue())) {
            port = *PortFromNumber(p.at(3).digitValue());
        } else {
            map.setPath(TComPortNumber::pnCOM1, p);
        }
    }
    m_driver = std::make_unique<TCommPortDriver>();
    m_driver->setPortMap(map);
    m_driver->setComPort(port);
    m_driver->setComPortSpeed(TComPortBaudRate::br2400);
    m_driver->setComPortPollingDelay(100);
    m_driver->setOnReceiveData([this](const std::uint8_t* d, std::size_t n) { m_framing.feed(d, n); });
    connect(m_driver.get(), &TCommPortDriver::portLost, this, [this](const QString& reason) {
        fail(QStringLiteral("the port %1 was lost: %2").arg(m_driver->portPath(), reason));
        requestStop();
    });
    if (!m_driver->Connect()) {
        fail(QStringLiteral("cannot open %1: %2").arg(m_driver->portPath(), m_driver->lastErrorText()));
        return false;
    }
    return true;
}

bool HeadlessLogger::connectUsb() {
    std::shared_ptr<HidPlatform> platform;
    if (m_options.simulate == CommandLine::Simulate::Usb) {
        m_simulated = std::make_unique<SimulatedMeters>();
        platform = m_simulated->startUsb(m_options.rate);
    } else {
        platform = std::make_shared<HidapiPlatform>();
    }
    try {
        m_usb = std::make_unique<UsbConnection>(platform, UsbReportRoute::HidVeskaData, 2400);
    } catch (const EControllerError& e) {
        fail(QString::fromUtf8(e.what()));
        return false;
    }
    connect(m_usb.get(), &UsbConnection::message, this, [this](const QString& m) { Print(m_err, "veska: " + m + "\n"); });
    m_usb->setPacketHandler([this](std::string_view packet) { onPacket(packet); });
    if (m_usb->selectedRow() < 0) {
        fail(QStringLiteral("no \"USB to Serial\" cable found (see packaging/udev for access rights)"));
        return false;
    }
    m_usb->USBConClick(true);
    return true;
}

void HeadlessLogger::onPacket(std::string_view packetText) {
    if (m_stopping) return;
    DecodePacket(packetText, m_fullScaleCount, m_decoded);
    if (!m_decoded.ok) {
        Print(m_err, QStringLiteral("veska: packet not decoded: %1\n").arg(QString::fromStdString(m_decoded.error)));
        return;
    }
    // The scale follows the reading's unit, as the window's gauge does; it gives the next
    // overload's value.
    m_fullScaleCount = ScaleSetForUnit(m_decoded.reading.unitText).fullScaleCount;
    m_recorder->INDataToTable(m_decoded.reading);
}

void HeadlessLogger::onRowPosted(qint64 position) {
    // The record table's fields start with the six the text export writes, in its order.
    const QStringList texts = m_table->rowTexts(position);
    Print(m_out, texts.mid(0, RecordColumns::kCount).join(QLatin1Char('\t')) + QLatin1Char('\n'));
    ++m_rowsWritten;
    if (m_options.samples && m_rowsWritten >= *m_options.samples) requestStop();
}

void HeadlessLogger::fail(const QString& message) {
    Print(m_err, "veska: " + message + "\n");
    m_status = 1;
}

int HeadlessLogger::finish() {
    if (m_driver) m_driver->Disconnect();
    if (m_usb && m_usb->usbConDown()) m_usb->USBConClick(false);
    if (m_table && m_table->isOpen() && m_options.save && m_saver) {
        const QString error = m_saver(*m_table, *m_options.save);
        if (!error.isEmpty()) fail(error);
    }
    if (m_table) m_table->close();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return m_status;
}

}  // namespace veska
