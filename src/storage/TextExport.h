#pragma once

#include <QByteArray>
#include <QString>

namespace veska {

class TableEngine;

// ExportTableAsText: the table as tab-separated text, one header line and one line per
// row (No, Time, DC/AC, Value, Unit, AUTO), every line ended by CR LF, in an 8-bit code
// page. Spreadsheet programs open it as a table whatever the file's extension. A tab, CR or
// LF inside a field is written as a blank, so every row stays one line of six fields.
//
// Written through SafeFileWriter: the file appears complete or not at all, links are
// followed, special files are written directly, and the table's own file and its recovery
// journal are never overwritten.
class TextExport {
public:
    struct Result {
        bool ok = false;
        QString message;  // the text for the user's message box, with the reason on failure
        QString reason;   // on failure, the file system's explanation
    };

    static QByteArray headerLine();
    static QString successMessage(const QString& fileName);
    static QString failureMessage(const QString& fileName);
    // "Could not save table to specified file: <name> (<reason>)".
    static QString failureMessage(const QString& fileName, const QString& reason);

    // Walks the table from its first row to its last. A table without the six fields
    // throws TableError before any file is touched; a file that cannot be written gives
    // ok == false and the failure message.
    static Result exportTableAsText(const TableEngine& table, const QString& fileName);
};

}  // namespace veska
