#pragma once

#include <QAbstractTableModel>
#include <QFont>

#include <array>
#include <list>
#include <unordered_map>
#include <vector>

namespace veska {

class RecordTable;
class TableEngine;

// Read-only model of the record table for recordGrid: the columns No, Time, DC/AC, Value,
// Unit and AUTO. Rows are fetched from the table engine on demand, a block at a time, and
// a few blocks are cached; the table is never copied into memory, so a table of millions
// of rows costs no more than one of ten.
class RecordGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        const char* field;
        int width;  // pixels; 0: the grid's default
        Qt::Alignment alignment;
    };
    static const std::array<Column, 6>& columns();

    explicit RecordGridModel(RecordTable& table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Rows read from the engine so far (tests watch that a view reads only what it shows).
    qint64 rowsFetched() const { return m_rowsFetched; }

    // Shows `shown` (a record file only read, such as a Paradox table) instead of the record
    // table, until it is called with nullptr; rows recorded meanwhile go to the record table
    // and show once it is back. `shown` must outlive its showing.
    void showTable(const TableEngine* shown);
    const TableEngine* shownTable() const { return m_shown; }

private:
    static constexpr int kBlockRows = 128;
    static constexpr std::size_t kBlocks = 16;

    void onRowPosted(qint64 position);
    void onReset();
    const QStringList* row(int position) const;

    const TableEngine& source() const;

    RecordTable& m_table;
    const TableEngine* m_shown = nullptr;
    int m_rows = 0;
    std::array<int, 6> m_fieldIndex{};
    QFont m_font;
    mutable std::unordered_map<qint64, std::vector<QStringList>> m_blocks;
    mutable std::list<qint64> m_recent;  // most recently used block first
    mutable qint64 m_rowsFetched = 0;
};

}  // namespace veska
