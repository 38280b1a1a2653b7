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
// The file appears complete or not at all: the text goes to a temporary file beside it,
// which replaces the named file only once everything has been written.
class TextExport {
public:
    struct Result {
        bool ok = false;
        QString message;  // the text for the user's message box
        QString reason;   // on failure, the file system's explanation
    };

    static QByteArray headerLine();
    static QString successMessage(const QString& fileName);
    static QString failureMessage(const QString& fileName);

    // Walks the table from its first row to its last. A table without the six fields
    // throws TableError before any file is touched; a file that cannot be written gives
    // ok == false and the failure message.
    static Result ExportTableAsText(const TableEngine& table, const QString& fileName);
};

}  // namespace veska
