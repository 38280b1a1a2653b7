#pragma once

#include <QString>

namespace veska {

// The data-file commands for scripts, sharing the window's code:
//   veska --export TABLE OUT        OUT ending in ".db": a table copy, otherwise text
//   veska --print TABLE --pdf OUT   the printed report as a PDF file
// Both open TABLE read-only for exclusive use (no other program changes it meanwhile, and
// it is never created or changed) and close it again; OUT is written through
// SafeFileWriter and is never TABLE itself or its recovery journal. They need a QGuiApplication (the
// report uses fonts); the offscreen platform is enough. Each returns an empty text on
// success, otherwise the message for the user (exit with a non-zero status).
class DataFileCli {
public:
    static QString exportTable(const QString& table, const QString& out);
    static QString printTable(const QString& table, const QString& pdf);
};

}  // namespace veska
