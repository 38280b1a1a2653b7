#include "storage/TextExport.h"

#include "storage/RecordColumns.h"
#include "storage/SafeFileWriter.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"


namespace veska {

namespace {

constexpr qsizetype kFlushBytes = 1 << 18;

// True when a field can be written as it stands: ASCII without tabs, line breaks or NULs.
bool isPlain(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\t' || c == '\r' || c == '\n' || c == '\0') return false;
    return true;
}

// One field in the 8-bit code page; record texts are ASCII, anything else is converted. A tab
// or line break inside a field would split its row into more columns or lines, so each
// becomes a blank; a NUL (which ends the text for many readers) is dropped.
void appendField(QByteArray& out, std::string_view text) {
    if (isPlain(text)) {
        out.append(text.data(), qsizetype(text.size()));
        return;
    }
    QByteArray field = QString::fromUtf8(text.data(), qsizetype(text.size())).toLatin1();
    field.replace('\t', ' ').replace('\r', ' ').replace('\n', ' ');
    field.removeIf([](char c) { return c == '\0'; });
    out += field;
}

void appendLine(QByteArray& out, const std::vector<std::string_view>& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) out += '\t';
        appendField(out, texts[i]);
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

TextExport::Result TextExport::exportTableAsText(const TableEngine& table, const QString& fileName) {
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
