#include "storage/TableSaver.h"

#include "storage/CsvExport.h"
#include "storage/TableCopy.h"

#include <QFileInfo>

namespace veska {

bool TableSaver::isTableCopyName(const QString& fileName) {
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // Any letter case: the Open dialog lists "run1.DB" as a record file, so saving under that
    // name must make one, or the file would be listed and then refused.
    return dot >= 0 && name.mid(dot).compare(QLatin1String(".db"), Qt::CaseInsensitive) == 0;
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
