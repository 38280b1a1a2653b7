#pragma once

#include <QString>

namespace veska {

// veska --print TABLE --pdf OUT: the printed report of a record file as a PDF file. TABLE is
// opened as DataFileCli::openForReading does; OUT is written through SafeFileWriter. Needs
// a QGuiApplication (the report uses fonts); the offscreen platform is enough. Returns an
// empty text on success, otherwise the message for the user.
class ReportCli {
public:
    static QString printTable(const QString& table, const QString& pdf);
};

}  // namespace veska
