// Cost of one chart point on a visible chart at short and very long histories. The chart
// keeps every point in its own store and hands the series only the page on screen, so
// the cost must not grow with the history: compare the 100 and 1,000,000 rows.
//
//   bench_chart --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "ui/HistoryChart.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int TimedPoints = 3000;

veska::LcdState reading(int i) {
    veska::LcdState lcd;
    const int value = (i * 37) % 6000;
    lcd.negative = (i % 2) != 0;
    lcd.digit1 = std::string(1, static_cast<char>('0' + value / 1000));
    lcd.digit2 = std::string(1, static_cast<char>('0' + value / 100 % 10));
    lcd.digit3 = std::string(1, static_cast<char>('0' + value / 10 % 10));
    lcd.digit4 = std::string(1, static_cast<char>('0' + value % 10));
    return lcd;
}

// A chart as start-up leaves it, holding 'stored' points per series, then shown.
std::unique_ptr<veska::HistoryChart> chartWith(int stored) {
    auto chart = std::make_unique<veska::HistoryChart>();
    chart->resize(322, 246);
    chart->setFollowLastPage(true);
    chart->fillSampleValues();
    chart->showSeries(0);
    chart->onFillBoxClicked();
    chart->setLeftAxisMaximum(6000);
    chart->setLeftAxisMinimum(-6000);
    for (int i = 1; i < stored; ++i) chart->addChartPoint(reading(i), 6000);
    chart->show();
    QApplication::processEvents();
    return chart;
}

void BM_AddChartPoint(benchmark::State& state) {
    const auto stored = static_cast<int>(state.range(0));
    const auto chart = chartWith(stored);
    int i = stored;
    for (auto _ : state) {
        benchmark::DoNotOptimize(chart->addChartPoint(reading(i++), 6000));
    }
    state.counters["stored"] = static_cast<double>(chart->pointCount(0));
}

// The same with the chart painted after every point, as the event loop does between packets.
void BM_AddChartPointAndPaint(benchmark::State& state) {
    const auto stored = static_cast<int>(state.range(0));
    const auto chart = chartWith(stored);
    int i = stored;
    for (auto _ : state) {
        chart->addChartPoint(reading(i++), 6000);
        chart->repaint();
        QApplication::processEvents();
    }
    state.counters["stored"] = static_cast<double>(chart->pointCount(0));
}

BENCHMARK(BM_AddChartPoint)->Arg(100)->Arg(100000)->Arg(1000000)->Iterations(TimedPoints)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddChartPointAndPaint)->Arg(100)->Arg(100000)->Arg(1000000)->Iterations(TimedPoints)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
