// Saving a large record table: the table copy (".db") and the text export, each beside the
// sqlite3 command-line tool doing the same job on the same file in the same run.
//   bench_datafiles [--rows=N]    (default 1,000,000 rows; needs sqlite3 on the PATH)
#include "storage/RecordTable.h"
#include "storage/TableCopy.h"
#include "storage/TableEngine.h"
#include "storage/TextExport.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstring>
#include <memory>

using namespace veska;

namespace {

struct Setup {
    QTemporaryDir dir;
    QString source;
    qint64 rows = 1000000;
};

// A record file holding `rows` rows as a run of recording would have written them.
void writeSource(const QString& path, qint64 rows) {
    TableEngine::createTable(path, RecordTable::recordFields(), RecordTable::defaultTableName());
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Kestodb(No,Time,\"DC/AC\",Value,Unit,AUTO,Nval) VALUES(?,?,?,?,?,?,?)", -1, &insert, nullptr);
    const char* units[] = {"mV", "k*", "#", "uA", "Hz"};
    for (qint64 i = 0; i < rows; ++i) {
        char time[16];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", int(i / 3600 % 24), int(i / 60 % 60), int(i % 60));
        char value[16];
        std::snprintf(value, sizeof value, "%d.%03d", int(i % 6), int(i % 1000));
        sqlite3_bind_int64(insert, 1, i + 1);
        sqlite3_bind_text(insert, 2, time, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, i % 2 ? "DC" : "AC", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 4, value, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 5, units[i % 5], -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 6, "AUTO", -1, SQLITE_STATIC);
        sqlite3_bind_double(insert, 7, double(i % 6000));
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// The source opened the way the record table opens it.
std::unique_ptr<TableEngine> openSource(const Setup& setup) {
    auto engine = std::make_unique<TableEngine>();
    engine->setTableName(setup.source);
    engine->setExclusive(true);
    engine->setCachedUpdates(true);
    engine->open();
    return engine;
}

void runSqlite3(benchmark::State& state, const Setup& setup, const QStringList& commands) {
    QStringList args{setup.source};
    args += commands;
    QProcess p;
    p.start(QStringLiteral("sqlite3"), args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        state.SkipWithError(("sqlite3 failed: " + p.readAllStandardError().toStdString()).c_str());
    }
}

void report(benchmark::State& state, const Setup& setup, const QString& out) {
    state.counters["rows"] = double(setup.rows);
    state.counters["MB"] = double(QFileInfo(out).size()) / 1e6;
}

void BM_CopyTableTo(benchmark::State& state, const Setup& setup) {
    const auto source = openSource(setup);
    const QString out = setup.dir.filePath("copy.db");
    for (auto _ : state) TableCopy::copyTableTo(*source, out);
    report(state, setup, out);
}

// The copy alone, without the exclusive reopen and the index over No that saving adds:
// the same job as the tool's .backup.
void BM_EngineCopyTo(benchmark::State& state, const Setup& setup) {
    const auto source = openSource(setup);
    const QString out = setup.dir.filePath("plain-copy.db");
    for (auto _ : state) source->copyTo(out);
    report(state, setup, out);
}

void BM_Sqlite3Backup(benchmark::State& state, const Setup& setup) {
    const QString out = setup.dir.filePath("backup.db");
    for (auto _ : state) runSqlite3(state, setup, {QStringLiteral(".backup '%1'").arg(out)});
    report(state, setup, out);
}

void BM_ExportTableAsText(benchmark::State& state, const Setup& setup) {
    const auto source = openSource(setup);
    const QString out = setup.dir.filePath("export.xls");
    for (auto _ : state) {
        if (!TextExport::exportTableAsText(*source, out).ok) state.SkipWithError("export failed");
    }
    report(state, setup, out);
}

void BM_Sqlite3Tabs(benchmark::State& state, const Setup& setup) {
    const QString out = setup.dir.filePath("tabs.txt");
    for (auto _ : state) {
        runSqlite3(state, setup, {QStringLiteral(".headers on"), QStringLiteral(".mode tabs"),
                           QStringLiteral(".once '%1'").arg(out),
                           QStringLiteral("SELECT No,Time,\"DC/AC\",Value,Unit,AUTO FROM Kestodb;")});
    }
    report(state, setup, out);
}

// For information: the same copy when every row was recorded during the run (cached).
void BM_CopyTableToCachedRows(benchmark::State& state, const Setup& setup) {
    const QString empty = setup.dir.filePath("empty.db");
    TableEngine::createTable(empty, RecordTable::recordFields(), RecordTable::defaultTableName());
    TableEngine table;
    table.setTableName(empty);
    table.setExclusive(true);
    table.setCachedUpdates(true);
    table.open();
    for (qint64 i = 0; i < setup.rows; ++i) {
        table.append();
        table.setField(QStringLiteral("No"), i + 1);
        table.setField(QStringLiteral("Time"), QTime(14, 5, 9));
        table.setField(QStringLiteral("DC/AC"), QStringLiteral("DC"));
        table.setField(QStringLiteral("Value"), QStringLiteral("1.234"));
        table.setField(QStringLiteral("Unit"), QStringLiteral("k*"));
        table.setField(QStringLiteral("AUTO"), QStringLiteral("AUTO"));
        table.setField(QStringLiteral("Nval"), 1234.0);
        table.post();
    }
    const QString out = setup.dir.filePath("cached-copy.db");
    for (auto _ : state) TableCopy::copyTableTo(table, out);
    report(state, setup, out);
}

}  // namespace


int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Setup setup;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--rows=", 7) == 0) setup.rows = std::atoll(argv[i] + 7);
    setup.source = setup.dir.filePath("Kestodb.db");
    writeSource(setup.source, setup.rows);
    using Fn = void (*)(benchmark::State&, const Setup&);
    const std::pair<const char*, Fn> benches[] = {
        {"BM_CopyTableTo", BM_CopyTableTo},           {"BM_EngineCopyTo", BM_EngineCopyTo},
        {"BM_Sqlite3Backup", BM_Sqlite3Backup},
        {"BM_ExportTableAsText", BM_ExportTableAsText}, {"BM_Sqlite3Tabs", BM_Sqlite3Tabs},
        {"BM_CopyTableToCachedRows", BM_CopyTableToCachedRows},
    };
    for (const auto& [name, fn] : benches) {
        benchmark::RegisterBenchmark(name, [&setup, fn = fn](benchmark::State& state) { fn(state, setup); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1)
            ->Repetitions(3);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
