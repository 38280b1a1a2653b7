#include "history/HistoryModel.h"
#include "history/VectorRowSource.h"

#include "protocol/IsoTime.h"
#include "protocol/SiQuantity.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace veska {
namespace {

using test::VectorRowSource;

constexpr std::int64_t kStart = 1'796'900'000'000;  // a moment in December 2026

VectorRowSource::Row rowAt(std::int64_t ms, std::string value, std::string unit, std::string acDc = "DC") {
    return {"12:00:00", IsoTime::utc(ms), std::move(acDc), std::move(value), std::move(unit)};
}

std::string display(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%06.3f", v);
    return text;
}

HistoryModel modelOf(const VectorRowSource& source) {
    HistoryModel model;
    model.scan(source, 0, source.rowCount());
    model.finish();
    return model;
}

std::vector<HistoryRowRange> refinement(const HistoryModel& model, const VectorRowSource& source,
                                        const HistoryView& view, int width) {
    std::vector<HistoryRowRange> rows;
    for (const auto& [first, end] : model.rowsToRefine(view, width)) rows.push_back(model.readRange(source, first, end));
    return rows;
}

// What a picture must hold, row by row from the texts: the brute-force pass.
struct BruteForce {
    std::vector<std::vector<HistoryColumn>> columns;
    std::vector<HistoryStatistics> statistics;
    std::int64_t rowsInView = 0;
};

BruteForce bruteForce(const HistoryModel& model, const VectorRowSource& source, const HistoryView& view, int width) {
    BruteForce out;
    out.columns.assign(model.series().size(), std::vector<HistoryColumn>(std::size_t(width)));
    out.statistics.resize(model.series().size());
    HistoryClock clock;
    for (const auto& r : source.rows) {
        const auto ms = clock.moment({r.timeOfDay, r.utc, r.acDc, r.value, r.unit});
        const SiQuantity q = SiQuantity::fromDisplay(r.value, r.unit);
        if (!ms || !view.contains(*ms) || q.kind == SiQuantity::Kind::Unreadable) continue;
        ++out.rowsInView;
        int s = -1;
        for (std::size_t i = 0; i < model.series().size(); ++i)
            if (model.series()[i].baseUnit == q.baseUnit && model.series()[i].acDc == r.acDc) s = int(i);
        HistoryColumn& c = out.columns[std::size_t(s)][std::size_t(view.column(*ms, width))];
        if (q.isOverload()) {
            c.overload = true;
            ++out.statistics[std::size_t(s)].overloads;
        } else {
            c.add(q.value);
            out.statistics[std::size_t(s)].add(q.value);
        }
    }
    return out;
}

// A run with two units and AC/DC, auto-ranged values, overloads, uneven intervals and pauses.
VectorRowSource randomRun(std::mt19937& random, int rows) {
    VectorRowSource source;
    std::uniform_real_distribution<double> value(-5.9, 5.9);
    std::uniform_int_distribution<int> pick(0, 99);
    std::int64_t ms = kStart;
    for (int i = 0; i < rows; ++i) {
        const int p = pick(random);
        ms += p < 2 ? 60'000 + p * 7'000 : 200 + pick(random) * 10;
        if (p < 5) {
            source.rows.push_back(rowAt(ms, "0L", "k*", ""));
        } else if (p < 25) {
            source.rows.push_back(rowAt(ms, display(value(random)), "k*", ""));
        } else if (p < 40) {
            source.rows.push_back(rowAt(ms, display(value(random)), "mV", "AC"));
        } else if (p < 42) {
            source.rows.push_back(rowAt(ms, "?x", "V"));  // unreadable: no point, still a row in time
        } else {
            source.rows.push_back(rowAt(ms, display(value(random)), p < 70 ? "V" : "mV"));
        }
    }
    return source;
}

TEST(HistoryModel, EnvelopeHoldsEveryRowInViewAndIsExactOnceRefined) {
    std::mt19937 random(20261210);
    for (const int rows : {1, 7, 500, 20'000}) {
        const VectorRowSource source = randomRun(random, rows);
        const HistoryModel model = modelOf(source);
        const HistoryView run = model.wholeRun();
        std::uniform_int_distribution<std::int64_t> at(run.fromMs - 10'000, run.toMs);
        for (int trial = 0; trial < 40; ++trial) {
            std::int64_t a = at(random), b = at(random);
            if (a == b) ++b;
            const HistoryView view{std::min(a, b), std::max(a, b)};
            const int width = std::uniform_int_distribution<int>(1, 900)(random);
            const BruteForce truth = bruteForce(model, source, view, width);
            const HistoryEnvelope coarse = model.envelope(view, width);
            const std::vector<HistoryRowRange> rowsRead = refinement(model, source, view, width);
            const HistoryEnvelope fine = model.envelope(view, width, rowsRead);
            bool statisticsExact = false;
            const std::vector<HistoryStatistics> statistics = model.statistics(view, rowsRead, &statisticsExact);
            SCOPED_TRACE(testing::Message() << rows << " rows, view " << view.fromMs << ".." << view.toMs << " width "
                                            << width);
            for (std::size_t s = 0; s < truth.columns.size(); ++s) {
                for (int c = 0; c < width; ++c) {
                    const HistoryColumn& want = truth.columns[s][std::size_t(c)];
                    for (const HistoryEnvelope* e : {&coarse, &fine}) {
                        const HistoryColumn& got = e->series[s][std::size_t(c)];
                        if (want.hasValue()) {
                            ASSERT_LE(got.minimum, want.minimum) << "series " << s << " column " << c;
                            ASSERT_GE(got.maximum, want.maximum) << "series " << s << " column " << c;
                        }
                        // A mark runs from the first to the last of consecutive overloads.
                        if (want.overload) {
                            ASSERT_TRUE(got.overload) << "series " << s << " column " << c;
                        }
                    }
                    if (truth.rowsInView <= HistoryModel::kRefineRowLimit) {
                        ASSERT_EQ(fine.series[s][std::size_t(c)].hasValue(), want.hasValue());
                        if (want.hasValue()) {
                            ASSERT_EQ(fine.series[s][std::size_t(c)].minimum, want.minimum);
                            ASSERT_EQ(fine.series[s][std::size_t(c)].maximum, want.maximum);
                        }
                    }
                }
                ASSERT_TRUE(statisticsExact);
                EXPECT_EQ(statistics[s].count, truth.statistics[s].count);
                EXPECT_EQ(statistics[s].overloads, truth.statistics[s].overloads);
                if (truth.statistics[s].count > 0) {
                    EXPECT_EQ(statistics[s].minimum, truth.statistics[s].minimum);
                    EXPECT_EQ(statistics[s].maximum, truth.statistics[s].maximum);
                    EXPECT_NEAR(statistics[s].mean, truth.statistics[s].mean, 1e-9);
                    EXPECT_NEAR(statistics[s].standardDeviation(), truth.statistics[s].standardDeviation(), 1e-9);
                }
            }
            if (truth.rowsInView <= HistoryModel::kRefineRowLimit) {
                EXPECT_TRUE(fine.exact);
            }
        }
    }
}

TEST(HistoryModel, ASingleRowSpikeShowsAtEveryZoom) {
    VectorRowSource source;
    constexpr int kRows = 200'000, kSpike = 123'457;
    for (int i = 0; i < kRows; ++i)
        source.rows.push_back(rowAt(kStart + i * 100LL, i == kSpike ? "5.000" : (i % 2 ? "1.001" : "0.999"), "V"));
    const HistoryModel model = modelOf(source);
    const std::int64_t spikeMs = kStart + kSpike * 100LL;
    for (std::int64_t span = kRows * 100LL; span >= 1000; span /= 3) {
        const HistoryView view{spikeMs - span / 3, spikeMs - span / 3 + span};
        for (const bool refined : {false, true}) {
            const auto rows = refined ? refinement(model, source, view, 800) : std::vector<HistoryRowRange>{};
            const HistoryEnvelope e = model.envelope(view, 800, rows);
            EXPECT_EQ(e.series[0][std::size_t(view.column(spikeMs, 800))].maximum, 5.0) << span;
        }
    }
}

TEST(HistoryModel, PausesAndOverloadsAreLocated) {
    VectorRowSource source;
    std::int64_t ms = kStart;
    std::vector<std::int64_t> at;
    for (int i = 0; i < 1000; ++i) {
        ms += i == 500 ? 60'000 : i == 800 ? 4'000 : 1000;  // one pause; 4 s is within five intervals
        at.push_back(ms);
        const bool overload = (i >= 100 && i <= 102) || i == 300;
        source.rows.push_back(rowAt(ms, overload ? ".0L" : "1.234", "V"));
    }
    HistoryModel model = modelOf(source);
    EXPECT_NEAR(double(model.typicalIntervalMs()), 1000.0, 100.0);
    ASSERT_EQ(model.gaps().size(), 1u);
    EXPECT_EQ(model.gaps()[0].fromMs, at[499]);
    EXPECT_EQ(model.gaps()[0].toMs, at[500]);
    ASSERT_EQ(model.overloads(0).size(), 2u);
    EXPECT_EQ(model.overloads(0)[0].fromMs, at[100]);
    EXPECT_EQ(model.overloads(0)[0].toMs, at[102]);
    EXPECT_EQ(model.overloads(0)[1].fromMs, at[300]);
    EXPECT_EQ(model.readings(), 1000);

    // Rows recorded later are judged as they come.
    model.addRecorded(1000, ms + 1000, "DC", "1.235", "V");
    model.addRecorded(1001, ms + 1000 + 30'000, "DC", "1.236", "V");
    ASSERT_EQ(model.gaps().size(), 2u);
    EXPECT_EQ(model.gaps()[1].fromMs, ms + 1000);
    EXPECT_EQ(model.lastMs(), ms + 31'000);
}

TEST(HistoryModel, UnitsMakePanesAndAcDcMakesSeries) {
    VectorRowSource source;
    source.rows = {rowAt(kStart, "1.000", "V"), rowAt(kStart + 1000, "230.0", "V", "AC"),
                   rowAt(kStart + 2000, "4.698", "k*", ""), rowAt(kStart + 3000, "900.0", "mV")};
    const HistoryModel model = modelOf(source);
    ASSERT_EQ(model.series().size(), 3u);
    EXPECT_EQ(model.series()[0].label(), "V DC");
    EXPECT_EQ(model.series()[1].label(), "V AC");
    EXPECT_EQ(model.series()[2].label(), "Ω");
    EXPECT_EQ(model.paneUnits(), (std::vector<std::string>{"V", "Ω"}));
    EXPECT_EQ(model.paneOf(1), 0);
    EXPECT_EQ(model.paneOf(2), 1);
    const HistoryStatistics v = model.statistics(model.wholeRun(), {})[0];
    EXPECT_EQ(v.count, 2);
    EXPECT_EQ(v.minimum, 0.9);  // 900.0 mV in volts
    EXPECT_EQ(model.statistics(model.wholeRun(), {})[2].maximum, 4698.0);
}

TEST(HistoryModel, TheReadingInForceAtACursor) {
    VectorRowSource source;
    for (int i = 0; i < 100; ++i) source.rows.push_back(rowAt(kStart + i * 1000LL, i == 41 ? "0L" : display(i / 10.0), "V"));
    const HistoryModel model = modelOf(source);
    EXPECT_EQ(model.valueAt(0, kStart - 1, {}), std::nullopt);
    const auto coarse = model.valueAt(0, kStart + 10'500, {});
    ASSERT_TRUE(coarse);
    EXPECT_FALSE(coarse->exact);  // the bucket's mean until its rows are read
    const auto range = model.rowsOfValueAt(0, kStart + 41'500);
    ASSERT_TRUE(range);
    const std::vector<HistoryRowRange> rows{model.readRange(source, range->first, range->second)};
    const auto exact = model.valueAt(0, kStart + 41'500, rows);
    ASSERT_TRUE(exact);
    EXPECT_TRUE(exact->exact);
    EXPECT_TRUE(exact->overload);  // the display showed an overload at 41 s: no value
    const auto next = model.valueAt(0, kStart + 42'500, rows);
    ASSERT_TRUE(next);
    EXPECT_TRUE(next->exact);
    EXPECT_FALSE(next->overload);
    EXPECT_EQ(next->value, 4.2);
    EXPECT_EQ(next->ms, kStart + 42'000);
}

TEST(HistoryModel, SevenFieldTableAcrossMidnight) {
    VectorRowSource source;
    for (int i = 0; i < 7200; ++i) {
        const int second = (23 * 3600 + i) % 86400;
        char text[16];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60);
        source.rows.push_back({text, "", "DC", "1.000", "V"});
    }
    const HistoryModel model = modelOf(source);
    EXPECT_FALSE(model.dateKnown());
    EXPECT_EQ(model.firstMs(), 23 * 3'600'000LL);
    EXPECT_EQ(model.lastMs(), HistoryClock::kDayMs + 3'599'000LL);
    EXPECT_TRUE(model.gaps().empty());
    // Rows read again get the moments of the pass, day included.
    const HistoryRowRange range = model.readRange(source, 7000, 7010);
    ASSERT_EQ(range.rows.size(), 10u);
    EXPECT_EQ(range.rows[0].ms, 23 * 3'600'000LL + 7000'000LL);
}

}  // namespace
}  // namespace veska
