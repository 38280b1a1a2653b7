// Recording benchmarks. The default run is short. The ten-million-row run is explicit:
//   bench_records --limitless            (adds LimitlessRun/10000000, several minutes)
#include "ui/RecordGrid.h"
#include "storage/RecordTable.h"
#include "session/Recorder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstring>

using namespace veska;

namespace {

double peakResidentMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

MeterReading reading(int i) {
    return MeterReading{std::to_string(i % 6000), float(i % 6000), "DC", "mV", "AUTO"};
}

// A record table in a scratch working directory, recording without a limit.
struct Scratch {
    Scratch() {
        QDir::setCurrent(dir.path());
        table.openDefault();
        recorder.samplingTimer().stop();
        recorder.setRecordLimit(Recorder::kLimitless);
    }
    ~Scratch() { QDir::setCurrent(QDir::tempPath()); }
    QTemporaryDir dir;
    RecordTable table;
    Recorder recorder{table};
};

// Time for the grid to come up on the table and show its last row, painted.
double gridShowLastRowMs(RecordTable& table) {
    QElapsedTimer t;
    t.start();
    RecordGrid grid(table);
    grid.resize(289, 152);
    grid.showLastRow();
    const QPixmap shot = grid.grab();
    benchmark::DoNotOptimize(shot.cacheKey());
    return double(t.nsecsElapsed()) / 1e6;
}

void BM_INDataToTable(benchmark::State& state) {
    Scratch s;
    int i = 0;
    for (auto _ : state) s.recorder.offerReading(reading(++i));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_INDataToTable);

void BM_GridShowLastRow(benchmark::State& state) {
    Scratch s;
    for (int i = 0; i < state.range(0); ++i) s.recorder.offerReading(reading(i));
    for (auto _ : state) benchmark::DoNotOptimize(gridShowLastRowMs(s.table));
}
BENCHMARK(BM_GridShowLastRow)->Arg(100000)->Unit(benchmark::kMillisecond);

// A "limitless" run: rows per second at the start and the end, peak memory, and the
// grid on the full table.
void BM_LimitlessRun(benchmark::State& state) {
    const qint64 rows = state.range(0);
    const qint64 window = std::min<qint64>(100000, rows / 10);
    for (auto _ : state) {
        Scratch s;
        double startRate = 0;
        double endRate = 0;
        QElapsedTimer t;
        for (qint64 i = 0; i < rows; ++i) {
            if (i == 0 || i == rows - window) t.start();
            s.recorder.offerReading(reading(int(i)));
            if (i == window - 1) startRate = double(window) / (double(t.nsecsElapsed()) / 1e9);
            if (i == rows - 1) endRate = double(window) / (double(t.nsecsElapsed()) / 1e9);
        }
        state.counters["rows"] = double(s.table.rowCount());
        state.counters["start_rows_per_s"] = startRate;
        state.counters["end_rows_per_s"] = endRate;
        state.counters["grid_last_row_ms"] = gridShowLastRowMs(s.table);
        state.counters["peak_rss_MB"] = peakResidentMb();
    }
}
BENCHMARK(BM_LimitlessRun)->Arg(200000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<char*> args;
    bool limitless = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--limitless") == 0) limitless = true;
        else args.push_back(argv[i]);
    }
    if (limitless) {
        BENCHMARK(BM_LimitlessRun)->Arg(10000000)->Iterations(1)->Unit(benchmark::kSecond);
    }
    int n = int(args.size());
    benchmark::Initialize(&n, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
