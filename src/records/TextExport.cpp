#include "TextExport.h"

#include "RecordColumns.h"
#include "SafeFileWriter.h"
#include "TableEngine.h"
#include "TableError.h"


namespace veska {

namespace {

constexpr qsizetype kFlushBytes = 1 << 18;

bool isAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// One line in the 8-bit code page; record texts are ASCII, anything else is converted.
void appendLine(QByteArray& out, const std::vector<std::string_view>& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) out += '\t';
        const std::string_view text = texts[i];
        if (isAscii(text)) {
            out.append(text.data(), qsizetype(text.size()));
        } else {
            out += QString::fromUtf8(text.data(), qsizetype(text.size())).toLatin1();
        }
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

QString TextExport::failureMessage(const QString& fileName, const QString& reason) {
    return failureMessage(fileName) + QStringLiteral(" (") + reason + QLatin1Char(')');
}

TextExport::Result TextExport::ExportTableAsText(const TableEngine& table, const QString& fileName) {
    if (!table.isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    const RecordColumns::Indexes columns = RecordColumns::indexesIn(table);

    SafeFileWriter file(fileName);
    file.protectTable(table.filePath());
    auto failed = [&] {
        file.cancel();
        return Result{false, failureMessage(fileName, file.reason()), file.reason()};
    };
    if (!file.open(QIODevice::WriteOnly)) return failed();

    QByteArray buffer = headerLine();
    buffer.reserve(kFlushBytes + 4096);
    bool writeFailed = false;
    table.forEachRowText(std::vector<int>(columns.begin(), columns.end()),
                         [&](const std::vector<std::string_view>& texts) {
                             if (writeFailed) return;
                             appendLine(buffer, texts);
                             if (buffer.size() < kFlushBytes) return;
                             writeFailed = file.write(buffer) != buffer.size();
                             buffer.resize(0);
                         });
    if (writeFailed || file.write(buffer) != buffer.size() || !file.commit()) return failed();
    return Result{true, successMessage(fileName), QString()};
}

}  // namespace veska
