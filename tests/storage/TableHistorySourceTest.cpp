#include "storage/RecordTable.h"
#include "storage/TableEngine.h"
#include "storage/TableHistorySource.h"

#include <QTemporaryDir>
#include <QTime>

#include <gtest/gtest.h>

#include <string>

namespace veska {
namespace {

// A record file of `rows` rows (seven fields, or the fields Veska creates now); row i reads
// i volts at 10:00:00 + i seconds.
void writeTable(const QString& path, int rows, bool withUtc) {
    std::vector<TableEngine::Field> fields = RecordTable::recordFields();
    if (!withUtc) fields.resize(7);
    TableEngine::createTable(path, fields);
    TableEngine table;
    table.setTableName(path);
    table.open();
    for (int i = 0; i < rows; ++i) {
        table.append();
        table.setField(QStringLiteral("No"), qint64(i + 1));
        table.setField(QStringLiteral("Time"), QTime(10, 0, 0).addSecs(i));
        table.setField(QStringLiteral("DC/AC"), QStringLiteral("DC"));
        table.setField(QStringLiteral("Value"), QString::number(i));
        table.setField(QStringLiteral("Unit"), QStringLiteral("V"));
        if (withUtc) table.setField(QStringLiteral("UTC"), QStringLiteral("2026-12-10T09:00:%1.000Z").arg(i, 2, 10, QLatin1Char('0')));
        table.post();
    }
}

TEST(TableHistorySource, ReadsRangesOfRowsWithTheirPositions) {
    QTemporaryDir dir;
    for (const bool withUtc : {true, false}) {
        const QString path = dir.filePath(withUtc ? QStringLiteral("new.db") : QStringLiteral("old.db"));
        writeTable(path, 10, withUtc);
        TableEngine table;
        table.setTableName(path);
        table.setReadOnly(true);
        table.open();
        const TableHistorySource source(table);
        EXPECT_EQ(source.rowCount(), 10);
        struct Case {
            std::int64_t first, count;
            std::vector<std::int64_t> want;
        };
        for (const Case& c : std::vector<Case>{{3, 2, {3, 4}}, {8, 5, {8, 9}}, {12, 3, {}}, {0, 0, {}}}) {
            std::vector<std::int64_t> seen;
            source.readRows(c.first, c.count, [&](std::int64_t position, const HistoryRowTexts& row) {
                seen.push_back(position);
                EXPECT_EQ(row.value, std::to_string(position));
                EXPECT_EQ(row.unit, "V");
                EXPECT_EQ(row.acDc, "DC");
                EXPECT_EQ(row.timeOfDay, QTime(10, 0, 0).addSecs(int(position)).toString(QStringLiteral("hh:mm:ss")).toStdString());
                EXPECT_EQ(row.utc.empty(), !withUtc);
            });
            EXPECT_EQ(seen, c.want) << c.first << "+" << c.count;
        }
    }
}

}  // namespace
}  // namespace veska
