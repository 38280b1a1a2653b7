#pragma once
// A large record table written straight through SQLite, for the benchmarks: a drifting
// auto-ranged run (mV and V, kΩ, °C, µA, an overload every 97 rows), with the fields Veska
// writes now (UTC and SIval) or as an older file of seven fields.
#include "storage/RecordTable.h"
#include "storage/TableEngine.h"

#include "protocol/IsoTime.h"

#include <QString>

#include <sqlite3.h>

#include <cstdio>
#include <string>

namespace veska::bench {

inline void writeBigRecordTable(const QString& path, long long rows, bool newFields) {
    auto fields = RecordTable::recordFields();
    if (!newFields) fields.resize(7);
    TableEngine::createTable(path, fields, RecordTable::defaultTableName());
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, newFields ? "INSERT INTO Kestodb VALUES(?,?,?,?,?,?,?,?,?)"
                                     : "INSERT INTO Kestodb VALUES(?,?,?,?,?,?,?)",
                       -1, &insert, nullptr);
    // A drifting auto-ranged run: mV and V in one group, kΩ, °C, µA, an overload now and then.
    const char* units[] = {"mV", "V", "k*", "#", "uA"};
    const double scale[] = {1e-3, 1.0, 1e3, 1.0, 1e-6};
    const long long start = 1796872455123LL;
    for (long long i = 0; i < rows; ++i) {
        char time[16];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", int(i / 3600 % 24), int(i / 60 % 60), int(i % 60));
        const bool overload = i % 97 == 0;
        char value[16];
        const int count = int(i % 6000);
        if (overload) {
            std::snprintf(value, sizeof value, ".0L");
        } else {
            std::snprintf(value, sizeof value, "%d.%03d", count / 1000, count % 1000);
        }
        const int u = int(i % 5);
        sqlite3_bind_int64(insert, 1, i + 1);
        sqlite3_bind_text(insert, 2, time, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, "DC", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 4, value, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 5, units[u], -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 6, "AUTO", -1, SQLITE_STATIC);
        sqlite3_bind_double(insert, 7, overload ? 6001.0 : double(count));
        if (newFields) {
            const std::string utc = IsoTime::utc(start + i * 500);
            sqlite3_bind_text(insert, 8, utc.c_str(), -1, SQLITE_TRANSIENT);
            if (overload) {
                sqlite3_bind_null(insert, 9);
            } else {
                sqlite3_bind_double(insert, 9, double(count) / 1000.0 * scale[u]);
            }
        }
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

}  // namespace veska::bench
