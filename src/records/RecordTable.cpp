#include "RecordTable.h"

#include "SqliteFiles.h"
#include "TableError.h"

#include <QFile>
#include <QFileInfo>

namespace veska {

std::vector<TableEngine::Field> RecordTable::recordFields() {
    using K = TableEngine::FieldKind;
    return {{QStringLiteral("No"), QStringLiteral("INTEGER"), K::Integer},
            {QStringLiteral("Time"), QStringLiteral("TIME"), K::Time},
            {QStringLiteral("DC/AC"), QStringLiteral("CHAR(2)"), K::Text},
            {QStringLiteral("Value"), QStringLiteral("CHAR(6)"), K::Text},
            {QStringLiteral("Unit"), QStringLiteral("CHAR(2)"), K::Text},
            {QStringLiteral("AUTO"), QStringLiteral("CHAR(4)"), K::Text},
            {QStringLiteral("Nval"), QStringLiteral("FLOAT"), K::Float}};
}

RecordTable::RecordTable(QObject* parent) : QObject(parent), m_journal(this) {}

RecordTable::~RecordTable() { close(); }

void RecordTable::openDefault() {
    const QString path = TableEngine::resolvePath(defaultTableName());
    // A missing scratch table is no reason to fail: start with an empty one.
    if (!QFileInfo::exists(path)) TableEngine::createTable(path, recordFields(), defaultTableName());
    openTable(defaultTableName());
}

void RecordTable::openTable(const QString& name) {
    close();
    m_engine.setTableName(name);
    m_engine.setExclusive(true);
    m_engine.setCachedUpdates(true);
    try {
        m_engine.open();
    } catch (const TableError&) {
        emit tableReset();
        throw;
    }
    detectLeftover();
    emit tableReset();
}

void RecordTable::detectLeftover() {
    m_leftover.clear();
    const QString journal = RecoveryJournal::pathFor(m_engine.filePath());
    if (!QFileInfo::exists(journal)) return;
    // An interrupted run that had recorded nothing leaves nothing to offer.
    TableEngine probe;
    probe.setTableName(journal);
    probe.setExclusive(true);
    try {
        probe.open();
        if (probe.rowCount() == 0) {
            probe.close();
            QFile::remove(journal);
            SqliteFiles::removeSideFiles(journal);
            return;
        }
    } catch (const TableError&) {
        // Not readable as a table: keep it for the user to decide.
    }
    m_leftover = journal;
}

void RecordTable::close() {
    const bool wasOpen = m_engine.isOpen();
    m_journal.finish();
    m_engine.close();
    m_leftover.clear();
    if (m_unsaved != 0) {
        m_unsaved = 0;
        emit unsavedRowsChanged(0);
    }
    if (wasOpen) emit tableReset();
}

qint64 RecordTable::leftoverJournalRows() const {
    return m_leftover.isEmpty() ? 0 : RecoveryJournal::rowsIn(m_leftover);
}

qint64 RecordTable::restoreJournal() {
    if (m_leftover.isEmpty()) return 0;
    TableEngine source;
    source.setTableName(m_leftover);
    source.setExclusive(true);
    source.open();
    std::vector<std::pair<int, int>> map;  // journal field -> table field
    for (std::size_t i = 0; i < source.fields().size(); ++i) {
        const int target = m_engine.fieldIndex(source.fields()[i].name);
        if (target >= 0) map.emplace_back(int(i), target);
    }
    qint64 restored = 0;
    for (source.first(); !source.eof(); source.next()) {
        m_engine.append();
        for (const auto& [from, to] : map) {
            const auto& name = source.fields()[std::size_t(from)].name;
            m_engine.setField(m_engine.fields()[std::size_t(to)].name, source.fieldValue(name));
        }
        m_engine.post();
        ++restored;
    }
    source.close();
    // The journal already holds these rows: keep writing to it.
    m_journal.resume(m_leftover);
    m_leftover.clear();
    m_unsaved += restored;
    emit unsavedRowsChanged(m_unsaved);
    emit tableReset();
    return restored;
}

QString RecordTable::moveJournalAside() {
    if (m_leftover.isEmpty()) return QString();
    const QString moved = RecoveryJournal::moveAside(m_leftover, m_now());
    m_leftover.clear();
    return moved;
}

void RecordTable::append() { m_engine.append(); }

void RecordTable::setField(const QString& name, const TableEngine::Value& value) { m_engine.setField(name, value); }

void RecordTable::ensureJournal() {
    if (m_journal.isActive()) return;
    // Rows must never overwrite another run's journal; an unanswered one is kept aside.
    if (!m_leftover.isEmpty()) moveJournalAside();
    m_journal.start(m_engine.filePath(), m_engine.fields());
}

void RecordTable::post() {
    m_engine.post();
    const qint64 position = m_engine.rowCount() - 1;
    ++m_unsaved;
    emit rowPosted(position);
    emit unsavedRowsChanged(m_unsaved);
    ensureJournal();
    m_journal.append(m_engine.lastPosted());
}

void RecordTable::cancel() { m_engine.cancel(); }

void RecordTable::empty() {
    m_engine.empty();
    m_journal.clear();
    m_unsaved = 0;
    emit unsavedRowsChanged(0);
    emit tableReset();
}

QStringList RecordTable::rowTexts(qint64 position) const {
    const auto rows = m_engine.rowTexts(position, 1);
    return rows.empty() ? QStringList() : rows.front();
}

void RecordTable::markSaved() {
    m_journal.clear();
    m_unsaved = 0;
    emit unsavedRowsChanged(0);
}

}  // namespace veska
