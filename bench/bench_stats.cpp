// `veska --stats` over a large record table: one pass (TableStatistics::compute, what the
// option runs), timed on a table Veska writes (UTC and SIval stored) and on an older one of
// seven fields (SI values computed from the value and unit texts).
//   bench_stats [--rows=N]    (default 10,000,000 rows)
#include "BigRecordTable.h"

#include "storage/RecordTable.h"
#include "storage/TableEngine.h"
#include "storage/TableStatistics.h"

#include "protocol/IsoTime.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

using namespace veska;

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long maxRssMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    long long rows = 10000000;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--rows=", 7) == 0) rows = std::atoll(argv[i] + 7);
    QTemporaryDir dir;
    for (const bool newFields : {true, false}) {
        const QString path = dir.filePath(newFields ? "new.db" : "old.db");
        bench::writeBigRecordTable(path, rows, newFields);
        const long rssBefore = maxRssMb();
        TableEngine table;
        table.setTableName(path);
        table.setExclusive(true);
        table.setReadOnly(true);
        table.open();
        const double cpu0 = cpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        const ReadingStatistics statistics = TableStatistics::compute(table);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        const double cpu = cpuSeconds() - cpu0;
        std::printf("%s table, %lld rows: %.2f s wall, %.2f s CPU, peak RSS %ld MB (%ld MB before)\n",
                    newFields ? "new (UTC, SIval)" : "older (seven fields)", rows, wall, cpu, maxRssMb(), rssBefore);
        std::fputs(TableStatistics::text(statistics).toUtf8().constData(), stdout);
        table.close();
        QFile::remove(path);
    }
    return 0;
}
