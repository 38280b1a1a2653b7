#pragma once
// Shared fixture pieces of the data-file tests.
#include "storage/RecordTable.h"
#include "storage/TableEngine.h"

#include <QFile>
#include <QStringList>
#include <QTime>

namespace veska::test {

struct Row {
    qint64 no;
    QTime time;
    QString acdc, value, unit, range;
    double nval;
};

inline Row row(qint64 no, const QString& unit = QStringLiteral("k*")) {
    return Row{no, QTime(14, 5, 9).addSecs(int(no)), QStringLiteral("DC"), QStringLiteral("%1.234").arg(no % 10), unit,
               QStringLiteral("AUTO"), double(no)};
}

inline void setRow(RecordTable& t, const Row& r) {
    t.append();
    t.setField(QStringLiteral("no"), r.no);
    t.setField(QStringLiteral("time"), r.time);
    t.setField(QStringLiteral("DC/AC"), r.acdc);
    t.setField(QStringLiteral("value"), r.value);
    t.setField(QStringLiteral("unit"), r.unit);
    t.setField(QStringLiteral("Auto"), r.range);
    t.setField(QStringLiteral("Nval"), r.nval);
    t.post();
}

// The seven fields of record files written before the moment and SI value were kept.
inline std::vector<TableEngine::Field> sevenFields() {
    auto fields = RecordTable::recordFields();
    fields.resize(7);
    return fields;
}

// A record file on disk holding the given rows (committed, as an earlier run saved it), of
// the seven fields files people already have hold.
inline void writeRecordFile(const QString& path, const std::vector<Row>& rows) {
    TableEngine::createTable(path, sevenFields(), RecordTable::defaultTableName());
    TableEngine e;
    e.setTableName(path);
    e.open();
    for (const Row& r : rows) {
        e.append();
        e.setField(QStringLiteral("No"), r.no);
        e.setField(QStringLiteral("Time"), r.time);
        e.setField(QStringLiteral("DC/AC"), r.acdc);
        e.setField(QStringLiteral("Value"), r.value);
        e.setField(QStringLiteral("Unit"), r.unit);
        e.setField(QStringLiteral("AUTO"), r.range);
        e.setField(QStringLiteral("Nval"), r.nval);
        e.post();
    }
    e.close();
}

inline std::vector<Row> rows(qint64 first, qint64 count, const QString& unit = QStringLiteral("k*")) {
    std::vector<Row> out;
    for (qint64 i = 0; i < count; ++i) out.push_back(row(first + i, unit));
    return out;
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace veska::test
