#pragma once

#include <QString>

namespace veska {

class TableEngine;

// The batch copy of a table into a new table file. The copy has the
// source's fields and every row from first to last, cached rows included, and a primary
// index over No. It replaces an existing file of that name, but only once it is complete:
// a failure leaves no file under the name and the old one untouched (see SafeFileWriter).
class TableCopy {
public:
    // The field the copy's primary index covers.
    static QString primaryIndexField() { return QStringLiteral("No"); }

    // Throws TableError with the engine's or the file system's message. Refuses the source's
    // own file, its recovery journal and a table file another program holds.
    static void copyTableTo(const TableEngine& source, const QString& fileName);

private:
    static void indexCopy(const QString& path);
};

}  // namespace veska
