// The History view over a large record table: the first picture of the whole run, the
// redraw after each zoom and pan, the rows read again to refine it, memory, how long the UI
// thread is ever held, and the cost of following a live row.
//   bench_history [--rows=N] [--table=PATH]   (default 10,000,000 rows in a scratch folder;
//                                               an existing PATH is read as it is)
#include "history/HistoryModel.h"
#include "protocol/IsoTime.h"
#include "session/HistoryDocument.h"
#include "storage/RecordTable.h"
#include "storage/TableEngine.h"
#include "ui/HistoryPicture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace veska;

namespace {

constexpr long long kStart = 1796872455123LL;
constexpr long long kIntervalMs = 500;

long long spikeRow(long long rows) { return rows * 7 / 10 + 3; }

// A long discharge at two readings a second: volts falling slowly with noise, a stretch of
// ohms in the middle (a second pane), a pause every million rows, an overload now and then,
// and one single-row spike of 9.999 V.
void writeTable(const QString& path, long long rows) {
    TableEngine::createTable(path, RecordTable::recordFields(), RecordTable::defaultTableName());
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Kestodb VALUES(?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
    long long ms = kStart;
    unsigned noise = 12345;
    for (long long i = 0; i < rows; ++i) {
        ms += i > 0 && i % 1'000'000 == 0 ? 3'600'000 : kIntervalMs;
        noise = noise * 1103515245u + 12345u;
        const bool ohms = i >= rows * 4 / 10 && i < rows * 5 / 10;
        const bool overload = i % 100'003 == 50'000;
        char value[16];
        double si = 0;
        if (overload) {
            std::snprintf(value, sizeof value, "0L");
        } else if (i == spikeRow(rows)) {
            std::snprintf(value, sizeof value, "9.999");
            si = 9.999;
        } else {
            const double v = ohms ? 4.7 + 0.3 * std::sin(double(i) / 50'000.0)
                                  : 4.2 - 1.2 * double(i) / double(rows) + ((noise >> 16) % 11) * 0.001;
            std::snprintf(value, sizeof value, "%.3f", v);
            si = ohms ? std::strtod(value, nullptr) * 1000.0 : std::strtod(value, nullptr);
        }
        const long long tod = (ms / 1000) % 86400;
        char time[16];
        std::snprintf(time, sizeof time, "%02lld:%02lld:%02lld", tod / 3600, tod / 60 % 60, tod % 60);
        const std::string utc = IsoTime::utc(ms);
        sqlite3_bind_int64(insert, 1, i + 1);
        sqlite3_bind_text(insert, 2, time, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, "DC", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 4, value, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 5, ohms ? "k*" : "V", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 6, "AUTO", -1, SQLITE_STATIC);
        sqlite3_bind_double(insert, 7, si);
        sqlite3_bind_text(insert, 8, utc.c_str(), -1, SQLITE_TRANSIENT);
        if (overload) {
            sqlite3_bind_null(insert, 9);
        } else {
            sqlite3_bind_double(insert, 9, si);
        }
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

long peakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5))];
}

constexpr QSize kPicture(1200, 700);

// What the window does for one redraw: the envelope for the plot's width, then the painting.
double redraw(const HistoryModel& model, const HistoryView& view, const std::vector<HistoryRowRange>& rows,
              QImage& image, HistoryEnvelope* out = nullptr) {
    QElapsedTimer t;
    t.start();
    const QRect area(QPoint(0, 0), kPicture);
    HistoryEnvelope e = model.envelope(view, HistoryPicture::plotArea(area).width(), rows);
    QPainter painter(&image);
    HistoryPicture::paint(painter, area, model, e, {});
    painter.end();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (out) *out = std::move(e);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    long long rows = 10'000'000;
    QString table;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rows=", 7) == 0) rows = std::atoll(argv[i] + 7);
        if (std::strncmp(argv[i], "--table=", 8) == 0) table = QString::fromLocal8Bit(argv[i] + 8);
    }
    QTemporaryDir scratch;
    if (table.isEmpty()) table = scratch.filePath(QStringLiteral("history.db"));
    if (!QFile::exists(table)) {
        std::printf("writing %lld rows to %s ...\n", rows, qPrintable(table));
        std::fflush(stdout);
        writeTable(table, rows);
    }
    const long startKb = peakResidentKb();

    // --- opening: preview, full pass on the worker, the UI thread's longest stall ---
    HistoryDocument document;
    QImage image(kPicture, QImage::Format_RGB32);
    QElapsedTimer sinceOpen;
    double firstPictureMs = -1, loadedMs = -1, longestStallMs = 0;
    QElapsedTimer tick;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        longestStallMs = std::max(longestStallMs, double(tick.nsecsElapsed()) / 1e6);
        tick.restart();
    });
    QObject::connect(&document, &HistoryDocument::modelChanged, [&] {
        const HistoryModel* model = document.model();
        if (!model) return;
        if (firstPictureMs < 0) {
            redraw(*model, model->wholeRun(), {}, image);
            firstPictureMs = double(sinceOpen.nsecsElapsed()) / 1e6;
        }
        if (!document.loading()) {
            loadedMs = double(sinceOpen.nsecsElapsed()) / 1e6;
            app.quit();
        }
    });
    QObject::connect(&document, &HistoryDocument::failed, [&](const QString& m) {
        std::printf("failed: %s\n", qPrintable(m));
        app.quit();
    });
    sinceOpen.start();
    tick.start();
    watch.start();
    document.openFile(table);
    app.exec();
    watch.stop();
    const HistoryModel* model = document.model();
    if (!model) return 1;
    std::printf("rows %lld, readings %lld, series %zu, pauses %zu\n", rows, (long long)model->readings(),
                model->series().size(), model->gaps().size());
    std::printf("first picture of the whole run: %.0f ms after open\n", firstPictureMs);
    std::printf("full pass on the worker: %.1f s\n", loadedMs / 1000.0);
    std::printf("longest the UI thread was held while loading: %.1f ms\n", longestStallMs);

    // --- zoom and pan: redraw cost on the UI thread, refinement read on the worker ---
    const long long spike = spikeRow(rows);
    // The spike's moment: its row's interval count plus the pauses before it.
    const long long spikeMs = kStart + (spike + 1) * kIntervalMs + (spike / 1'000'000) * (3'600'000 - kIntervalMs);
    std::vector<double> coarse, refined, refineWait;
    int spikeMissed = 0;
    HistoryView view = model->wholeRun();
    auto step = [&](const HistoryView& v) {
        HistoryEnvelope e;
        coarse.push_back(redraw(*model, v, document.rows(), image, &e));
        const int width = e.width;
        QElapsedTimer wait;
        wait.start();
        const quint64 before = document.revision();
        if (document.refine(v, width, {})) {
            while (document.revision() == before && wait.elapsed() < 10'000) app.processEvents(QEventLoop::WaitForMoreEvents, 5);
            refineWait.push_back(double(wait.nsecsElapsed()) / 1e6);
        }
        refined.push_back(redraw(*model, v, document.rows(), image, &e));
        if (v.contains(spikeMs)) {
            const auto& column = e.series[0][std::size_t(v.column(spikeMs, width))];
            if (!(column.maximum >= 9.999)) ++spikeMissed;
        }
    };
    // Zoom in on the spike down to a few rows, then pan back and forth, then out again.
    while (view.span() > 20 * kIntervalMs) {
        view = HistoryView{spikeMs - (spikeMs - view.fromMs) * 7 / 10, spikeMs + (view.toMs - spikeMs) * 7 / 10};
        step(view);
    }
    for (int i = 0; i < 60; ++i) {
        const long long shift = view.span() / 5 * (i % 20 < 10 ? 1 : -1);
        view = HistoryView{view.fromMs + shift, view.toMs + shift};
        step(view);
    }
    while (view.span() < model->wholeRun().span()) {
        view = HistoryView{spikeMs - (spikeMs - view.fromMs) * 10 / 7, spikeMs + (view.toMs - spikeMs) * 10 / 7};
        step(view);
    }
    std::printf("redraws: %zu; before refining p50 %.2f ms p99 %.2f ms max %.2f ms\n", coarse.size(),
                percentile(coarse, 0.5), percentile(coarse, 0.99), percentile(coarse, 1.0));
    std::printf("         refined       p50 %.2f ms p99 %.2f ms max %.2f ms\n", percentile(refined, 0.5),
                percentile(refined, 0.99), percentile(refined, 1.0));
    std::printf("rows read again on the worker (%zu times): p50 %.1f ms p99 %.1f ms\n", refineWait.size(),
                percentile(refineWait, 0.5), percentile(refineWait, 0.99));
    std::printf("spike missed at %d of the zoom levels that contain it\n", spikeMissed);
    std::printf("peak resident memory: %.1f MB (%.1f MB before opening)\n", double(peakResidentKb()) / 1024.0,
                double(startKb) / 1024.0);

    // --- following the record table: the cost of one recorded row ---
    HistoryModel live;
    constexpr int kLive = 1'000'000;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kLive; ++i) live.addRecorded(i, kStart + i * kIntervalMs, "DC", i % 2 ? "4.123" : "4.124", "V");
    std::printf("live row into the model: %.0f ns\n", double(t.nsecsElapsed()) / kLive);
    return spikeMissed == 0 ? 0 : 1;
}
