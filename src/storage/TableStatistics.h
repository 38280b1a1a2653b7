#pragma once

#include "protocol/ReadingStatistics.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace veska {

class TableEngine;

// Statistics of a record table per base unit and coupling, and their presentation as a table of text
// (for `veska --stats`, the end of a headless run and the statistics window).
class TableStatistics {
public:
    // One pass over the table's rows in its order, never holding more than one row. Times
    // are the UTC field where the table has one (ISO 8601), the time of day otherwise; the
    // SI value is converted from Value and Unit, as recording does for SIval.
    // Throws TableError for a closed table or one without the record fields.
    static ReadingStatistics compute(const TableEngine& table);

    // "Unit", "Count", "Min", "Max", "Mean", "Std dev", "Overloads", "First", "Last".
    static const QStringList& header();
    // One row of texts per unit and coupling ("V DC", "V AC", "Ω"), in header() order.
    // Values for people, with an SI prefix and four digits ("1.205 MΩ"); empty where there
    // is none (no value, or one value for the deviation). ISO 8601 times are shown with the
    // local offset of their moment.
    static std::vector<QStringList> rows(const ReadingStatistics& statistics);
    // The header and the rows in aligned columns, one line each, and a line for readings
    // whose value or unit could not be read; "No readings" when there were none.
    static QString text(const ReadingStatistics& statistics);
    // A time text for people: ISO 8601 UTC becomes local time with offset; others as given.
    static QString localTime(const std::string& timeText);
};

}  // namespace veska
