// Readings for other programs: statistics streamed over ten million readings, and the
// cost of one CSV row and one JSON line.
#include "protocol/IsoTime.h"
#include "protocol/LcdState.h"
#include "protocol/MeterReading.h"
#include "protocol/ReadingCsv.h"
#include "protocol/ReadingJson.h"
#include "protocol/ReadingStatistics.h"
#include "protocol/SiQuantity.h"

#include "AllocationCounter.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kStart = 1796872455123;  // 2026-12-10T03:14:15.123Z

// A run as a meter gives it: drifting values in auto-ranged units with the odd overload.
std::vector<veska::MeterReading> Readings(int n) {
    static const char* const kUnits[] = {"mV", "V", "k*", "M*", "uA", "mA", "Hz", "kHz", "#", "nF"};
    static const char* const kPoints[] = {"%d.%03d", "%02d.%02d", "%03d.%d"};
    std::vector<veska::MeterReading> r;
    r.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int v = (i * 37) % 6000;
        char text[16];
        const int p = i % 3;
        const int div = p == 0 ? 1000 : p == 1 ? 100 : 10;
        const bool negative = i % 7 == 0;
        text[0] = '-';
        std::snprintf(text + 1, sizeof text - 1, kPoints[p], v / div, v % div);
        veska::MeterReading m;
        m.valueText = i % 97 == 0 ? "0.L" : negative ? text : text + 1;
        m.unitText = kUnits[(i / 50) % 10];
        m.acDcText = "DC";
        m.rangeText = "AUTO";
        r.push_back(m);
    }
    return r;
}

// The whole path from the stored texts: convert, then add. Time texts are as a new
// table stores them, one per reading.
void BM_StatisticsFromTexts(benchmark::State& state) {
    const std::vector<veska::MeterReading> readings = Readings(1000);
    const std::string time = veska::IsoTime::utc(kStart);
    const std::int64_t total = state.range(0);
    std::int64_t allocations = 0;
    for (auto _ : state) {
        veska::ReadingStatistics stats;
        const std::int64_t before = veska::bench::heapAllocations.load();
        for (std::int64_t i = 0; i < total; ++i) {
            const veska::MeterReading& r = readings[static_cast<std::size_t>(i % 1000)];
            stats.add(veska::SiQuantity::fromDisplay(r.valueText, r.unitText), time);
        }
        allocations += veska::bench::heapAllocations.load() - before;
        benchmark::DoNotOptimize(stats.units().data());
    }
    state.SetItemsProcessed(state.iterations() * total);
    state.counters["allocs_per_reading"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations() * total);
}
BENCHMARK(BM_StatisticsFromTexts)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);

// Only the accumulator: quantities already converted.
void BM_StatisticsAdd(benchmark::State& state) {
    const std::vector<veska::MeterReading> readings = Readings(1000);
    std::vector<veska::SiQuantity> quantities;
    for (const auto& r : readings) quantities.push_back(veska::SiQuantity::fromReading(r));
    const std::string time = veska::IsoTime::utc(kStart);
    const std::int64_t total = state.range(0);
    for (auto _ : state) {
        veska::ReadingStatistics stats;
        for (std::int64_t i = 0; i < total; ++i) stats.add(quantities[static_cast<std::size_t>(i % 1000)], time);
        benchmark::DoNotOptimize(stats.units().data());
    }
    state.SetItemsProcessed(state.iterations() * total);
}
BENCHMARK(BM_StatisticsAdd)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);

// One CSV row into a reused buffer, the local time text made per row as an export does.
void BM_CsvRow(benchmark::State& state) {
    const std::vector<veska::MeterReading> readings = Readings(1000);
    std::string out;
    out.reserve(1 << 16);
    std::int64_t i = 0;
    const bool withTime = state.range(0) != 0;
    const std::string fixedTime = veska::IsoTime::utc(kStart);
    for (auto _ : state) {
        if (out.size() > 60000) out.clear();
        const veska::MeterReading& r = readings[static_cast<std::size_t>(i % 1000)];
        if (withTime) {
            veska::ReadingCsv::appendRow(out, r, veska::IsoTime::local(kStart + i * 500), i + 1);
        } else {
            veska::ReadingCsv::appendRow(out, r, fixedTime, i + 1);
        }
        ++i;
    }
    benchmark::DoNotOptimize(out.data());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CsvRow)->ArgName("local_time")->Arg(0)->Arg(1);

void BM_JsonLine(benchmark::State& state) {
    const std::vector<veska::MeterReading> readings = Readings(1000);
    const veska::LcdState lcd;
    const std::string time = veska::IsoTime::utc(kStart);
    std::string out;
    out.reserve(1 << 16);
    std::int64_t i = 0;
    for (auto _ : state) {
        if (out.size() > 60000) out.clear();
        veska::ReadingJson::appendObject(out, readings[static_cast<std::size_t>(i % 1000)], lcd, time, i + 1);
        out.push_back('\n');
        ++i;
    }
    benchmark::DoNotOptimize(out.data());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_JsonLine);

}  // namespace

BENCHMARK_MAIN();
