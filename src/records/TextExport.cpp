#include "TextExport.h"

#include "RecordColumns.h"
#include "TableEngine.h"
#include "TableError.h"

#include <QSaveFile>

namespace veska {

namespace {

constexpr int kBlockRows = 4096;
constexpr qsizetype kFlushBytes = 1 << 18;

void appendLine(QByteArray& out, const QStringList& row, const RecordColumns::Indexes& columns) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) out += '\t';
        out += row[columns[i]].toLatin1();
    }
    out += "\r\n";
}

}  // namespace

QByteArray TextExport::headerLine() { return RecordColumns::names().join(QLatin1Char('\t')).toLatin1() + "\r\n"; }

QString TextExport::successMessage(const QString& fileName) {
    return QStringLiteral("save table to specified file: ") + fileName + QStringLiteral(" Scuss!");
}

QString TextExport::failureMessage(const QString& fileName) {
    return QStringLiteral("Could not save table to specified file: ") + fileName;
}

TextExport::Result TextExport::ExportTableAsText(const TableEngine& table, const QString& fileName) {
    if (!table.isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    const RecordColumns::Indexes columns = RecordColumns::indexesIn(table);

    QSaveFile file(fileName);
    auto failed = [&] {
        const QString reason = file.errorString();
        file.cancelWriting();
        return Result{false, failureMessage(fileName), reason};
    };
    if (!file.open(QIODevice::WriteOnly)) return failed();

    QByteArray buffer = headerLine();
    buffer.reserve(kFlushBytes + 4096);
    for (qint64 position = 0; position < table.rowCount(); position += kBlockRows) {
        const std::vector<QStringList> rows = table.rowTexts(position, kBlockRows);
        if (rows.empty()) break;
        for (const QStringList& row : rows) appendLine(buffer, row, columns);
        if (buffer.size() >= kFlushBytes) {
            if (file.write(buffer) != buffer.size()) return failed();
            buffer.resize(0);
        }
    }
    if (file.write(buffer) != buffer.size()) return failed();
    if (!file.commit()) return Result{false, failureMessage(fileName), file.errorString()};
    return Result{true, successMessage(fileName), QString()};
}

}  // namespace veska
