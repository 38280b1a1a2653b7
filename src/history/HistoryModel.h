#pragma once

#include "history/HistoryClock.h"
#include "history/HistoryEnvelope.h"
#include "history/HistoryRowSource.h"

#include <array>
#include <optional>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veska {

struct SiQuantity;

// A run as the History view draws it, built in one streaming pass over the rows (or row by
// row while recording) and never holding the rows themselves: per series (base unit and
// AC/DC) buckets of consecutive readings with their time span, bounds and statistics, the
// pauses of the run and its overloads. A picture of any span at any width is folded from the
// buckets (its cost depends on the buckets in view, not on the rows); where a bucket spans
// more than one pixel column, rows read again from the table (rowsToRefine, readRange) make
// the picture exact, down to every single reading.
class HistoryModel {
public:
    static constexpr std::int64_t kBucketRows = 32;
    // Above this many rows in view a picture takes rows again only for the buckets at its edges.
    static constexpr std::int64_t kRefineRowLimit = 40'000;
    // A pause longer than this many typical intervals breaks the line.
    static constexpr std::int64_t kGapFactor = 5;
    static constexpr std::int64_t kMinimumGapMs = 1000;

    struct Series {
        std::string baseUnit;  // "V", "Ω", ... empty for readings without a unit
        std::string acDc;      // "AC", "DC" or empty
        std::string label() const;
    };
    struct Bucket {
        std::int64_t firstMs = 0, lastMs = 0;
        std::int64_t firstPosition = 0, lastPosition = 0;
        HistoryStatistics statistics;  // of its readings; overloads counted there too
    };
    struct Span {
        std::int64_t fromMs = 0, toMs = 0;  // inclusive moments of the first and last row
    };
    using PositionRange = std::pair<std::int64_t, std::int64_t>;  // [first, end)

    // --- building ---
    // A row in table order (positions increase). Rows whose time cannot be read are counted.
    void addRow(std::int64_t position, const HistoryRowTexts& row);
    // A row being recorded now, from its UTC moment and its display texts.
    void addRecorded(std::int64_t position, std::int64_t utcMs, std::string_view acDc, std::string_view value,
                     std::string_view unit);
    // addRow for the rows [first, first + count) of a source.
    void scan(const HistoryRowSource& source, std::int64_t first, std::int64_t count);
    // The pass is over: pauses are found from the typical interval; rows added later are
    // judged as they come.
    void finish();
    bool finished() const { return m_finished; }

    // --- what the run holds ---
    const std::vector<Series>& series() const { return m_series; }
    const std::vector<Bucket>& buckets(int series) const { return m_buckets[std::size_t(series)]; }
    const std::vector<Span>& overloads(int series) const { return m_overloads[std::size_t(series)]; }
    // Base units in order of first appearance: one pane each.
    std::vector<std::string> paneUnits() const;
    int paneOf(int series) const;
    bool empty() const { return !m_firstMs; }
    std::int64_t firstMs() const { return m_firstMs.value_or(0); }
    std::int64_t lastMs() const { return m_lastMs; }
    HistoryView wholeRun() const;
    std::int64_t readings() const { return m_readings; }
    std::int64_t unreadable() const { return m_unreadable; }
    std::int64_t rowsSeen() const { return m_rowsSeen; }
    std::int64_t lastPosition() const { return m_lastPosition; }
    bool dateKnown() const { return m_clock.dateKnown(); }
    std::int64_t clockStepsBack() const { return m_clock.clockStepsBack(); }
    // Median interval between rows (0 before two rows).
    std::int64_t typicalIntervalMs() const;
    std::int64_t gapThresholdMs() const;
    // Pauses, from the last row before to the first row after; in order.
    const std::vector<Span>& gaps() const { return m_gaps; }

    // --- pictures ---
    // Per series one column per pixel of `width`; `rows` (from readRange) refine buckets wider
    // than one column and those cut by the view's edges.
    HistoryEnvelope envelope(const HistoryView& view, int width, const std::vector<HistoryRowRange>& rows = {}) const;
    // Position ranges whose rows would make envelope() and statistics() exact (beginning where
    // readRange starts reading anyway); empty when the buckets alone already do.
    std::vector<PositionRange> rowsToRefine(const HistoryView& view, int width) const;
    // Reads [first, end) again (starting at the nearest point where the clock's state was
    // kept, so moments are those of the pass). Throws what the source throws.
    HistoryRowRange readRange(const HistoryRowSource& source, std::int64_t first, std::int64_t end) const;
    // Per series; `exact` is cleared when a bucket cut by the view was counted whole.
    std::vector<HistoryStatistics> statistics(const HistoryView& view, const std::vector<HistoryRowRange>& rows,
                                              bool* exact = nullptr) const;

    struct ValueAt {
        double value = 0.0;
        std::int64_t ms = 0;  // the reading's moment
        bool exact = false;   // false: the mean of its bucket, its rows not read yet
        bool overload = false;  // the display showed an overload then: no value
    };
    // The reading of a series in force at `ms` (the last one at or before it); empty before
    // the series' first reading.
    std::optional<ValueAt> valueAt(int series, std::int64_t ms, const std::vector<HistoryRowRange>& rows) const;
    // The positions of the bucket valueAt() uses, to read its rows.
    std::optional<PositionRange> rowsOfValueAt(int series, std::int64_t ms) const;

private:
    static constexpr std::int64_t kCheckpointRows = 4096;
    static constexpr int kBinsPerOctave = 8;
    static constexpr int kBins = 48 * kBinsPerOctave;

    struct Checkpoint {
        std::int64_t position = 0;
        HistoryClock clock;
        std::optional<std::int64_t> previousMs;
    };

    void addMoment(std::int64_t position, std::int64_t ms, const SiQuantity& quantity, std::string_view acDc);
    void noteInterval(std::int64_t previousMs, std::int64_t ms);
    int seriesFor(const SiQuantity& quantity, std::string_view acDc);
    HistorySample sampleOf(std::int64_t position, std::int64_t ms, const SiQuantity& quantity,
                           std::string_view acDc) const;
    // The position of the last kept clock state at or before `position`.
    std::int64_t checkpointBefore(std::int64_t position) const;
    int findSeries(std::string_view baseUnit, std::string_view acDc) const;
    std::pair<std::size_t, std::size_t> bucketsInView(int series, const HistoryView& view) const;
    static const HistoryRowRange* rangeCovering(const std::vector<HistoryRowRange>& rows, std::int64_t first,
                                                std::int64_t last);

    HistoryClock m_clock;
    std::vector<Series> m_series;
    std::vector<std::vector<Bucket>> m_buckets;
    std::vector<std::vector<Span>> m_overloads;
    std::vector<Checkpoint> m_checkpoints;
    std::vector<Span> m_gaps;
    std::vector<Span> m_gapCandidates;
    std::array<std::int64_t, kBins> m_intervalBins{};
    std::int64_t m_intervals = 0;
    std::int64_t m_candidateThresholdMs = 0;  // 0: every interval is a candidate so far
    std::optional<std::int64_t> m_firstMs;
    std::int64_t m_lastMs = 0;
    std::optional<std::int64_t> m_previousMs;
    std::int64_t m_readings = 0;
    std::int64_t m_unreadable = 0;
    std::int64_t m_rowsSeen = 0;
    std::int64_t m_lastPosition = -1;
    std::vector<char> m_overloadOpen;  // per series: its last row was an overload
    int m_lastSeries = -1;
    bool m_finished = false;
};

}  // namespace veska
