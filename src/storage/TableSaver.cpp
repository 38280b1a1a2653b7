#include "storage/TableSaver.h"

#include "storage/CsvExport.h"
#include "storage/TableCopy.h"

#include <QFileInfo>

namespace veska {

bool TableSaver::isTableCopyName(const QString& fileName) {
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && name.mid(dot) == QLatin1String(".db");
}

TextExport::Result TableSaver::save(const TableEngine& table, const QString& fileName) {
    if (isTableCopyName(fileName)) {
        TableCopy::copyTableTo(table, fileName);
        TextExport::Result copied;
        copied.ok = true;
        return copied;
    }
    return CsvExport::isCsvName(fileName) ? CsvExport::exportTableAsCsv(table, fileName)
                                          : TextExport::exportTableAsText(table, fileName);
}

}  // namespace veska
