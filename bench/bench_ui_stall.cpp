// How long the UI thread's event loop stalls while the window works on a ten-million-row
// record table: a 5 ms timer runs beside each job and its longest lateness is the stall a
// person would feel (a frozen window, late packets). Target: under 50 ms. The statistics
// window works in slices; opening and saving still run in one go and are measured as such.
//   bench_ui_stall [--rows=N] [--runs=N]    (default 10,000,000 rows, 3 runs)
#include "BigRecordTable.h"

#include "session/MeterSession.h"
#include "storage/RecordTable.h"
#include "storage/TableStatistics.h"
#include "ui/StatisticsWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

using namespace veska;

namespace {

struct Stall {
    double longestMs = 0;  // the timer's longest lateness
    double wallMs = 0;     // the job's whole time
};

// Runs `start` and then the event loop until `finished`, with a 5 ms timer measuring how
// late each of its ticks comes.
Stall measure(const std::function<void()>& start, const std::function<bool()>& finished) {
    constexpr int kTickMs = 5;
    QElapsedTimer clock;
    clock.start();
    qint64 expected = kTickMs;
    double longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(kTickMs);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed() / 1000000;
        longest = std::max(longest, double(now - expected));
        expected = now + kTickMs;
    });
    tick.start();
    QTimer::singleShot(0, [&] {
        // A job that runs in one go shows as one late tick: measure it around the call too.
        const qint64 before = clock.nsecsElapsed();
        start();
        longest = std::max(longest, double(clock.nsecsElapsed() - before) / 1e6 - kTickMs);
    });
    while (clock.elapsed() < 1 || !finished()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QApplication::processEvents();
    return Stall{std::max(0.0, longest), double(clock.nsecsElapsed()) / 1e6};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void report(const char* job, const std::vector<Stall>& runs) {
    std::vector<double> stall, wall;
    for (const Stall& s : runs) {
        stall.push_back(s.longestMs);
        wall.push_back(s.wallMs);
    }
    std::printf("%-40s longest stall %8.1f ms (median of %zu)   whole job %8.0f ms\n", job, median(stall), runs.size(),
                median(wall));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    long long rows = 10000000;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rows=", 7) == 0) rows = std::atoll(argv[i] + 7);
        if (std::strncmp(argv[i], "--runs=", 7) == 0) runs = std::max(1, std::atoi(argv[i] + 7));
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.db"));
    std::printf("writing a table of %lld rows...\n", rows);
    std::fflush(stdout);
    bench::writeBigRecordTable(path, rows, true);

    SessionSetup setup;
    setup.tablePath = path;
    MeterSession session(setup);
    session.recordTable().openTable(path);

    // The statistics in one pass on the UI thread, as the window used to read them.
    std::vector<Stall> once;
    for (int r = 0; r < runs; ++r) {
        bool done = false;
        once.push_back(measure([&] {
            TableStatistics::compute(session.recordTable().engine());
            done = true;
        }, [&] { return done; }));
    }
    report("statistics, one pass", once);

    // The Statistics window: a slice at a time between events.
    StatisticsWindow window(session);
    std::vector<Stall> sliced;
    for (int r = 0; r < runs; ++r) {
        sliced.push_back(measure([&] { window.recompute(); }, [&] { return !window.computing(); }));
    }
    report("Statistics window, in slices", sliced);

    // Still in one go on the UI thread: opening the table, and saving it as a table copy and
    // as text. Measured so the figures say what is left to do.
    std::vector<Stall> opening;
    for (int r = 0; r < runs; ++r) {
        bool done = false;
        opening.push_back(measure([&] {
            session.recordTable().openTable(path);
            done = true;
        }, [&] { return done; }));
    }
    report("opening the table", opening);
    for (const char* name : {"copy.db", "copy.txt"}) {
        std::vector<Stall> saving;
        for (int r = 0; r < runs; ++r) {
            bool done = false;
            saving.push_back(measure([&] {
                session.recordTable().saveTo(dir.filePath(QString::fromLatin1(name)));
                done = true;
            }, [&] { return done; }));
        }
        report(name[5] == 'd' ? "saving as a table copy" : "saving as text", saving);
    }
    return 0;
}
