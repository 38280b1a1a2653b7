#include "ui/RecordGridModel.h"

#include "storage/RecordTable.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"

#include <algorithm>

namespace veska {

const std::array<RecordGridModel::Column, 6>& RecordGridModel::columns() {
    static const std::array<Column, 6> kColumns{{{"No", 39, Qt::AlignLeft | Qt::AlignVCenter},
                                                 {"Time", 53, Qt::AlignHCenter | Qt::AlignVCenter},
                                                 {"DC/AC", 37, Qt::AlignHCenter | Qt::AlignVCenter},
                                                 {"Value", 43, Qt::AlignRight | Qt::AlignVCenter},
                                                 {"Unit", 36, Qt::AlignRight | Qt::AlignVCenter},
                                                 {"AUTO", 0, Qt::AlignLeft | Qt::AlignVCenter}}};
    return kColumns;
}

RecordGridModel::RecordGridModel(RecordTable& table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table), m_font(QStringLiteral("Arial")) {
    m_font.setPixelSize(12);
    connect(&m_table, &RecordTable::rowPosted, this, &RecordGridModel::onRowPosted);
    connect(&m_table, &RecordTable::tableReset, this, &RecordGridModel::onReset);
    onReset();
}

const TableEngine& RecordGridModel::source() const { return m_shown != nullptr ? *m_shown : m_table.engine(); }

void RecordGridModel::showTable(const TableEngine* shown) {
    m_shown = shown;
    onReset();
}

void RecordGridModel::onReset() {
    beginResetModel();
    m_blocks.clear();
    m_recent.clear();
    m_rows = int(std::min<qint64>(source().rowCount(), std::numeric_limits<int>::max()));
    for (std::size_t c = 0; c < columns().size(); ++c)
        m_fieldIndex[c] = source().fieldIndex(QString::fromLatin1(columns()[c].field));
    endResetModel();
}

void RecordGridModel::onRowPosted(qint64 position) {
    if (m_shown != nullptr) return;  // recorded into the record table, which is not shown now
    if (position != m_rows) {  // not the next row: read everything again
        onReset();
        return;
    }
    // The block that grows may be cached without its new row.
    const qint64 block = position / kBlockRows;
    if (m_blocks.erase(block) > 0) m_recent.remove(block);
    beginInsertRows(QModelIndex(), m_rows, m_rows);
    ++m_rows;
    endInsertRows();
}

const QStringList* RecordGridModel::row(int position) const {
    const qint64 block = position / kBlockRows;
    auto it = m_blocks.find(block);
    if (it == m_blocks.end()) {
        std::vector<QStringList> rows;
        try {
            rows = source().rowTexts(block * kBlockRows, kBlockRows);
        } catch (const TableError&) {
            return nullptr;  // a closed or failing table shows empty cells
        }
        m_rowsFetched += qint64(rows.size());
        if (m_blocks.size() >= kBlocks) {
            m_blocks.erase(m_recent.back());
            m_recent.pop_back();
        }
        it = m_blocks.emplace(block, std::move(rows)).first;
        m_recent.push_front(block);
    } else if (m_recent.front() != block) {
        m_recent.remove(block);
        m_recent.push_front(block);
    }
    const std::size_t offset = std::size_t(position % kBlockRows);
    return offset < it->second.size() ? &it->second[offset] : nullptr;
}

int RecordGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int RecordGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns().size());
}

QVariant RecordGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const std::size_t column = std::size_t(index.column());
    switch (role) {
    case Qt::DisplayRole: {
        const int field = m_fieldIndex[column];
        if (field < 0) return QString();
        const QStringList* texts = row(index.row());
        return texts != nullptr ? texts->value(field) : QString();
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columns()[column].alignment);
    case Qt::FontRole:
        return m_font;
    default:
        return {};
    }
}

QVariant RecordGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    if (role == Qt::DisplayRole && section >= 0 && section < int(columns().size()))
        return QString::fromLatin1(columns()[std::size_t(section)].field);
    if (role == Qt::FontRole) return m_font;
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags RecordGridModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace veska
