#include "session/RunPolicy.h"

#include "session/MeterSession.h"
#include "session/Recorder.h"
#include "storage/RecordTable.h"
#include "storage/TableError.h"

#include <QScopeGuard>

namespace veska {

RunPolicy::RunPolicy(MeterSession& session, QObject* parent) : QObject(parent), m_session(session) {
    connect(&m_session, &MeterSession::cableLost, this,
            [this](const QString& caption) { emit cableLost(cableLostText(caption)); });
    connect(&m_session, &MeterSession::cableBack, this,
            [this](const QString& caption, qint64 gapMs) { emit cableBack(cableBackText(caption, gapMs), gapMs); });
}

RunPolicy::~RunPolicy() = default;

RunPolicy::TableOpening RunPolicy::openTable() {
    RecordTable& table = m_session.recordTable();
    try {
        table.openDefault(m_session.tablePath());
    } catch (const TableError& e) {
        return {TableState::NotOpened, QString::fromUtf8(e.what()), e.cause() == TableError::Cause::Held};
    }
    m_session.recorder().countRowsHeld();  // a table that already holds rows shows them
    if (!table.isWritable()) return {TableState::NotWritable, table.notWritableReason()};
    m_session.recorder().continueNumbering();
    return {TableState::Recordable, QString()};
}

void RunPolicy::answerLeftoverJournals(const std::function<bool(const LeftoverJournal&)>& restore,
                                       const std::function<void(LeftoverOutcome, const QString&)>& told) {
    RecordTable& table = m_session.recordTable();
    if (!table.isOpen() || !table.isWritable()) return;
    m_session.setAcceptingPackets(false);
    const auto acceptAgain = qScopeGuard([this] { m_session.setAcceptingPackets(true); });
    // Never mix another run's rows into this one unasked, never overwrite them. A journal
    // that cannot be kept aside safely stays where it is; this run journals under another name.
    while (table.hasLeftoverJournal()) {
        try {
            if (restore(LeftoverJournal{table.leftoverJournalPath(), table.leftoverJournalRows()})) {
                table.restoreJournal();
                m_session.recorder().setNextRecordNo(int(table.highestRestoredNo()) + 1);
                m_session.recorder().continueNumbering();
                m_session.recorder().countRowsHeld();
                told(LeftoverOutcome::Restored, QString());
            } else {
                told(LeftoverOutcome::MovedAside, table.moveJournalAside());
            }
        } catch (const TableError& e) {
            told(LeftoverOutcome::Failed, e.message());
        }
    }
}

QString RunPolicy::cableLostText(const QString& caption) {
    return QStringLiteral("%1 unplugged: waiting for it to come back").arg(caption);
}

QString RunPolicy::cableBackText(const QString& caption, qint64 gapMs) {
    return QStringLiteral("%1 is back after a gap of %2 s").arg(caption).arg(static_cast<double>(gapMs) / 1000.0, 0, 'f', 1);
}

bool RunPolicy::startPublishing(std::unique_ptr<RunPublisher> publisher, std::chrono::milliseconds drainTimeout) {
    stopPublishing(drainTimeout);
    m_publishError.clear();
    if (!publisher) return false;
    if (!publisher->start()) {
        m_publishError = publisher->errorText();
        return false;
    }
    m_publisher = std::move(publisher);
    return true;
}

std::unique_ptr<RunPublisher> RunPolicy::stopPublishing(std::chrono::milliseconds drainTimeout) {
    if (m_publisher) m_publisher->stop(drainTimeout);
    return std::move(m_publisher);
}

RunPolicy::FinalSave RunPolicy::saveAndClose(const Saver& save) {
    RecordTable& table = m_session.recordTable();
    FinalSave result;
    if (table.isOpen()) result.error = save(table);
    if (!result.error.isEmpty()) {
        // The rows are safe nowhere else: leave them where the next start finds them.
        // Counted in the file once it is closed: what a message claims is what is there.
        result.recordedRows = table.unsavedRows();
        result.keptIn = table.closeKeepingJournal();
        if (!result.keptIn.isEmpty()) result.keptRows = RecoveryJournal::rowsIn(result.keptIn);
    }
    table.close();
    return result;
}

void RunPolicy::closeTable(UnsavedRows rows) {
    if (rows == UnsavedRows::Decided) {
        m_session.recordTable().close();
    } else {
        m_session.recordTable().closeKeepingJournal();
    }
}

}  // namespace veska
