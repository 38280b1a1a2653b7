#pragma once

#include <QString>

namespace veska {

// The data-file commands for scripts, sharing the window's code:
//   veska --export TABLE OUT        OUT ending in ".db": a table copy, ".csv": CSV, otherwise text
//   veska --print TABLE --pdf OUT   the printed report as a PDF file
//   veska --stats TABLE             statistics per unit
// Both open TABLE read-only for exclusive use (no other program changes it meanwhile, and
// it is never created or changed) and close it again; OUT is written through
// SafeFileWriter and is never TABLE itself or its recovery journal. They need a QGuiApplication (the
// report uses fonts); the offscreen platform is enough. Each returns an empty text on
// success, otherwise the message for the user (exit with a non-zero status).
class DataFileCli {
public:
    static QString exportTable(const QString& table, const QString& out);
    static QString printTable(const QString& table, const QString& pdf);
    // veska --stats TABLE: the statistics per unit as aligned text in `text`, in one pass
    // over the table.
    static QString statistics(const QString& table, QString& text);
};

}  // namespace veska
