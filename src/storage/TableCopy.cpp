#include "storage/TableCopy.h"

#include "storage/TableFiles.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"

namespace veska {

void TableCopy::indexCopy(const QString& path) {
    TableEngine dest;
    dest.setTableName(path);
    dest.setExclusive(true);
    dest.open();
    try {
        dest.addPrimaryIndex(primaryIndexField());
    } catch (const TableError&) {
        // Numbers repeat when a run continued an opened file's numbering: the rows are all
        // there, only the index is left out. The failed statement changed nothing.
    }
    dest.close();
}

void TableCopy::copyTableTo(const TableEngine& source, const QString& fileName) {
    // The copy and its index are made under a temporary name; the file takes its name only
    // when both are complete.
    source.copyTo(fileName, [](const QString& finishedCopy) { indexCopy(finishedCopy); });
}

}  // namespace veska
