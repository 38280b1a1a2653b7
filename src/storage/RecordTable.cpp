#include "storage/RecordTable.h"

#include "storage/ParadoxTable.h"
#include "storage/TableFiles.h"
#include "storage/TableError.h"
#include "storage/TableSaver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace veska {

namespace {

// The system's reason why `path` cannot be written (empty when it can). faccessat with the
// effective ids also reports a read-only mount ("Read-only file system"), also for root.
QString writeDenied(const QString& path) {
    if (::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0) return QString();
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The path a table name means, without looking for one that differs only in letter case.
QString exactTablePath(const QString& name) {
    QString path = QDir::fromNativeSeparators(name);
    if (QFileInfo(path).suffix().isEmpty()) path += QLatin1String(".db");
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

qint64 wholeNumber(const TableEngine::Value& value) {
    if (const auto* n = std::get_if<qint64>(&value)) return *n;
    if (const auto* d = std::get_if<double>(&value)) return qint64(*d);
    if (const auto* s = std::get_if<QString>(&value)) return s->trimmed().toLongLong();
    return 0;
}

}  // namespace

std::vector<TableEngine::Field> RecordTable::recordFields() {
    using K = TableEngine::FieldKind;
    return {{QStringLiteral("No"), QStringLiteral("INTEGER"), K::Integer},
            {QStringLiteral("Time"), QStringLiteral("TIME"), K::Time},
            {QStringLiteral("DC/AC"), QStringLiteral("CHAR(2)"), K::Text},
            {QStringLiteral("Value"), QStringLiteral("CHAR(6)"), K::Text},
            {QStringLiteral("Unit"), QStringLiteral("CHAR(2)"), K::Text},
            {QStringLiteral("AUTO"), QStringLiteral("CHAR(4)"), K::Text},
            {QStringLiteral("Nval"), QStringLiteral("FLOAT"), K::Float},
            // Not declared TIME: that would read as a time of day and lose the date.
            {utcField(), QStringLiteral("CHAR(24)"), K::Text},
            {siValueField(), QStringLiteral("REAL"), K::Float}};
}

RecordTable::RecordTable(QObject* parent) : QObject(parent), m_journal(this) {
    connect(&m_journal, &RecoveryJournal::failed, this, &RecordTable::journalFailed);
    connect(&m_journal, &RecoveryJournal::committed, this, [this] {
        if (m_unjournalled.empty()) emit rowsCommitted();
    });
}

RecordTable::~RecordTable() {
    // Nobody decided about unsaved rows: they stay in the journal for the next start.
    if (m_unsaved > 0) {
        closeKeepingJournal();
    } else {
        close();
    }
}

void RecordTable::openDefault(const QString& name) {
    QString path = TableEngine::resolvePath(name);
    // The meter's Windows program kept its record table under this name as a Paradox table
    // (KESTODB.DB): that one is only read, and recording goes into a Veska table of exactly
    // the name asked for beside it (a Paradox file of that very name is refused below).
    if (ParadoxTable::hasParadoxHeader(path)) path = exactTablePath(name);
    // A missing scratch table is no reason to fail: start with an empty one. Another copy
    // starting at the same moment may make it first; then that one is opened (and refused
    // while that copy holds it).
    if (!QFileInfo::exists(path)) {
        try {
            TableEngine::createTable(path, recordFields(), defaultTableName());
        } catch (const TableError&) {
            if (!QFileInfo::exists(path)) throw;
        }
    }
    openTable(path);
}

void RecordTable::openTable(const QString& name) {
    close();
    // Rows are never recorded into a Paradox table: it is read, never written.
    if (const QString path = TableEngine::resolvePath(name); ParadoxTable::hasParadoxHeader(path)) {
        emit tableReset();
        throw TableError(ParadoxTable::notRecordableMessage(path));
    }
    m_engine.setTableName(name);
    m_engine.setExclusive(true);
    m_engine.setCachedUpdates(true);
    // Two copies started together both reach for the lock: the one that gets it keeps it,
    // the other is refused once the moment has passed, never both.
    m_engine.setLockWait(kStartLockWaitMs);
    try {
        m_engine.open();
    } catch (const TableError&) {
        emit tableReset();
        throw;
    }
    m_highestRestoredNo = 0;
    checkWritable();
    detectLeftover();
    emit tableReset();
}

void RecordTable::checkWritable() {
    m_notWritable.clear();
    const QString path = m_engine.filePath();
    const QString dir = QFileInfo(path).absolutePath();
    QString why = writeDenied(path);
    if (why.isEmpty() && m_engine.isReadOnly()) why = QStringLiteral("the file is read-only");
    if (!why.isEmpty()) {
        m_notWritable = QStringLiteral("Rows cannot be recorded into %1: the file cannot be written (%2)").arg(path, why);
        return;
    }
    why = writeDenied(dir);
    if (!why.isEmpty())
        m_notWritable = QStringLiteral("Rows cannot be recorded into %1: its folder %2 cannot be written (%3)")
                            .arg(path, dir, why);
}

void RecordTable::detectLeftover() {
    m_leftovers.clear();
    for (const QString& journal : TableFiles::liveJournalPaths(m_engine.filePath())) {
        // Another copy of the program is writing it: not ours to touch.
        if (RecoveryJournal::inUse(journal)) continue;
        try {
            // An interrupted run that had recorded nothing leaves nothing to offer.
            if (RecoveryJournal::countRows(journal) == 0) {
                RecoveryJournal::remove(journal);
                continue;
            }
        } catch (const TableError&) {
            // Not readable as a table: keep it for the user to decide.
        }
        m_leftovers << journal;
    }
}

void RecordTable::closeEngine() {
    const bool wasOpen = m_engine.isOpen();
    m_reloadRows = false;
    m_engine.close();
    m_leftovers.clear();
    m_notWritable.clear();
    if (m_unsaved != 0) {
        m_unsaved = 0;
        emit unsavedRowsChanged(0);
    }
    if (wasOpen) emit tableReset();
}

void RecordTable::close() {
    m_journal.finish();
    m_unjournalled.clear();
    closeEngine();
}

QString RecordTable::closeKeepingJournal() {
    const QString kept = m_journal.release();
    m_unjournalled.clear();
    closeEngine();
    return kept;
}

qint64 RecordTable::highestNo() const {
    if (!isOpen() || m_engine.fieldIndex(QStringLiteral("No")) < 0) return 0;
    try {
        return std::max(m_engine.highestWholeNumber(QStringLiteral("No")), m_highestRestoredNo);
    } catch (const TableError&) {
        return m_highestRestoredNo;
    }
}

qint64 RecordTable::leftoverJournalRows() const {
    return m_leftovers.isEmpty() ? 0 : RecoveryJournal::rowsIn(m_leftovers.front());
}

qint64 RecordTable::restoreJournal() {
    if (m_leftovers.isEmpty()) return 0;
    // Answered, whatever comes of it: a failure leaves the journal where it is.
    const QString leftover = m_leftovers.takeFirst();
    if (RecoveryJournal::inUse(leftover))
        throw TableError(QStringLiteral("The recovery journal %1 is in use by another program; it was left alone")
                             .arg(leftover));
    const qint64 expected = RecoveryJournal::countRows(leftover);
    // Fold the log into the file while nothing holds it; without space for that the rows are
    // still read through the log and the journal goes on with it, so this is not required.
    if (!m_journal.isActive()) {
        try {
            RecoveryJournal::checkpoint(leftover);
        } catch (const TableError&) {
        }
    }
    TableEngine source;
    source.setTableName(leftover);
    source.setExclusive(true);
    source.open();
    std::vector<std::pair<int, int>> map;  // journal field -> table field
    int noField = -1;
    for (std::size_t i = 0; i < source.fields().size(); ++i) {
        const int target = m_engine.fieldIndex(source.fields()[i].name);
        if (target >= 0) map.emplace_back(int(i), target);
        if (source.fields()[i].name.compare(QLatin1String("No"), Qt::CaseInsensitive) == 0) noField = int(i);
    }
    const bool intoActive = m_journal.isActive();
    qint64 restored = 0;
    qint64 highest = m_highestRestoredNo;
    try {
        for (source.first(); !source.eof(); source.next()) {
            m_engine.append();
            for (const auto& [from, to] : map) {
                const auto& name = source.fields()[std::size_t(from)].name;
                m_engine.setField(m_engine.fields()[std::size_t(to)].name, source.fieldValue(name));
            }
            if (noField >= 0)
                highest = std::max(highest, wholeNumber(source.fieldValue(source.fields()[std::size_t(noField)].name)));
            m_engine.post();
            ++restored;
            if (intoActive) m_journal.hold(m_engine.lastPosted());
        }
        source.close();
        if (restored != expected)
            throw TableError(QStringLiteral("The recovery journal %1 holds %2 rows but %3 were read")
                                 .arg(leftover)
                                 .arg(expected)
                                 .arg(restored));
        if (intoActive) {
            // The rows are in this run's journal now: only then the old one may go.
            m_journal.commit();
            RecoveryJournal::remove(leftover);
        } else {
            // The journal already holds these rows: keep writing to it.
            m_journal.resume(leftover);
        }
    } catch (const TableError&) {
        m_engine.cancel();
        if (m_engine.heldRowsLost()) m_reloadRows = true;
        m_unsaved += restored;
        emit unsavedRowsChanged(m_unsaved);
        emit tableReset();
        throw;
    }
    m_highestRestoredNo = highest;
    m_unsaved += restored;
    emit unsavedRowsChanged(m_unsaved);
    emit tableReset();
    return restored;
}

QString RecordTable::moveJournalAside() {
    if (m_leftovers.isEmpty()) return QString();
    return RecoveryJournal::moveAside(m_leftovers.takeFirst(), m_now());
}

void RecordTable::append() {
    if (m_reloadRows) reloadLostRows();
    m_engine.append();
}

void RecordTable::restoreLostRows() {
    if (!m_reloadRows) return;
    try {
        reloadLostRows();
    } catch (const TableError& e) {
        throw TableError(QStringLiteral("The rows of this run are in the recovery journal %1 only, and cannot be "
                                        "put back into the table yet (%2)")
                             .arg(m_journal.path(), e.message()));
    }
}

TextExport::Result RecordTable::saveTo(const QString& fileName) {
    restoreLostRows();
    return TableSaver::save(m_engine, fileName);
}

void RecordTable::reloadLostRows() {
    const auto put = [this](const std::vector<TableEngine::Value>& values) {
        m_engine.append();
        const std::size_t n = std::min(values.size(), m_engine.fields().size());
        for (std::size_t i = 0; i < n; ++i) m_engine.setField(int(i), TableEngine::Value(values[i]));
        m_engine.post();
    };
    try {
        m_journal.forEachRow(put);
        for (const auto& row : m_unjournalled) put(row);
    } catch (const TableError&) {
        // Some of the rows back would double them at the next try: none, or all of them.
        m_engine.cancel();
        try {
            m_engine.discardCachedRows();
        } catch (const TableError&) {
        }
        emit tableReset();
        throw;
    }
    m_reloadRows = false;
    emit tableReset();
}

void RecordTable::setField(const QString& name, const TableEngine::Value& value) { m_engine.setField(name, value); }

void RecordTable::ensureJournal() {
    if (m_journal.isActive()) return;
    // Rows must never overwrite another run's journal: an unanswered one is kept aside when
    // that can be done safely, and stays where it is otherwise (the new journal then takes
    // another free name).
    while (!m_leftovers.isEmpty()) {
        try {
            moveJournalAside();
        } catch (const TableError&) {
        }
    }
    m_journal.start(m_engine.filePath(), m_engine.fields());
}

bool RecordTable::commitRows() {
    if (!m_unjournalled.empty()) {
        try {
            ensureJournal();
            m_journalStartFailure.clear();
        } catch (const TableError& e) {
            if (e.message() != m_journalStartFailure) {
                m_journalStartFailure = e.message();
                emit journalFailed(e.message());
            }
            return false;
        }
        for (const auto& row : m_unjournalled) m_journal.hold(row);
        m_unjournalled.clear();
    }
    return m_journal.tryCommit();
}

void RecordTable::post() {
    if (!m_notWritable.isEmpty()) {
        m_engine.cancel();
        throw TableError(m_notWritable);
    }
    try {
        m_engine.post();
    } catch (const TableError&) {
        if (m_engine.heldRowsLost()) {
            // Every cached row of the run went with the failed write; the journal still holds
            // them and they come back with the next row that can be written.
            m_reloadRows = true;
            emit tableReset();
        }
        throw;
    }
    const qint64 position = m_engine.rowCount() - 1;
    ++m_unsaved;
    emit rowPosted(position);
    emit unsavedRowsChanged(m_unsaved);
    if (m_unjournalled.empty() && m_journal.isActive()) {
        // The usual case: straight into the journal, one copy of the row.
        m_journal.hold(m_engine.lastPosted());
    } else {
        m_unjournalled.push_back(m_engine.lastPosted());
        ensureJournal();
        for (const auto& row : m_unjournalled) m_journal.hold(row);
        m_unjournalled.clear();
    }
    m_journal.commitIfDue();
}

void RecordTable::cancel() { m_engine.cancel(); }

void RecordTable::empty() {
    m_engine.empty();
    m_reloadRows = false;
    // The user chose to drop these rows; a new journal starts with the next row.
    m_journal.finish();
    m_unjournalled.clear();
    m_unsaved = 0;
    emit unsavedRowsChanged(0);
    emit tableReset();
}

QStringList RecordTable::rowTexts(qint64 position) const {
    const auto rows = m_engine.rowTexts(position, 1);
    return rows.empty() ? QStringList() : rows.front();
}

void RecordTable::markSaved() {
    // A table without all its rows was not what got saved: the journal keeps them.
    if (m_reloadRows) return;
    // The rows are in a saved file: their journal may go. Removing needs no disk space,
    // unlike deleting its rows would.
    m_journal.finish();
    m_unjournalled.clear();
    m_unsaved = 0;
    emit unsavedRowsChanged(0);
}

}  // namespace veska
