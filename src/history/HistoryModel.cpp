#include "history/HistoryModel.h"

#include "protocol/SiQuantity.h"

#include <algorithm>
#include <cmath>

namespace veska {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

constexpr std::int64_t kCandidateLimit = 1 << 20;
constexpr std::int64_t kEarlyIntervals = 64;

}  // namespace

std::string HistoryModel::Series::label() const {
    std::string text = baseUnit.empty() ? std::string("(no unit)") : baseUnit;
    if (!acDc.empty()) text += " " + acDc;
    return text;
}

void HistoryModel::scan(const HistoryRowSource& source, std::int64_t first, std::int64_t count) {
    source.readRows(first, count, [this](std::int64_t position, const HistoryRowTexts& row) { addRow(position, row); });
}

void HistoryModel::addRow(std::int64_t position, const HistoryRowTexts& row) {
    if (m_rowsSeen % kCheckpointRows == 0) m_checkpoints.push_back({position, m_clock, m_previousMs});
    ++m_rowsSeen;
    m_lastPosition = position;
    const auto moment = m_clock.moment(row);
    if (!moment) {
        ++m_unreadable;
        return;
    }
    addMoment(position, *moment, SiQuantity::fromDisplay(row.value, row.unit), row.acDc);
}

void HistoryModel::addRecorded(std::int64_t position, std::int64_t utcMs, std::string_view acDc,
                               std::string_view value, std::string_view unit) {
    if (m_rowsSeen % kCheckpointRows == 0) m_checkpoints.push_back({position, m_clock, m_previousMs});
    ++m_rowsSeen;
    m_lastPosition = position;
    addMoment(position, m_clock.momentOfUtc(utcMs), SiQuantity::fromDisplay(value, unit), acDc);
}

void HistoryModel::addMoment(std::int64_t position, std::int64_t ms, const SiQuantity& quantity,
                             std::string_view acDc) {
    if (m_previousMs) noteInterval(*m_previousMs, ms);
    m_previousMs = ms;
    if (!m_firstMs) m_firstMs = ms;
    m_lastMs = ms;
    if (quantity.kind == SiQuantity::Kind::Unreadable) {
        ++m_unreadable;
        return;
    }
    ++m_readings;
    const int s = seriesFor(quantity, acDc);
    std::vector<Bucket>& buckets = m_buckets[std::size_t(s)];
    if (buckets.empty() || buckets.back().statistics.count + buckets.back().statistics.overloads >= kBucketRows) {
        Bucket bucket;
        bucket.firstMs = ms;
        bucket.firstPosition = position;
        buckets.push_back(bucket);
    }
    Bucket& bucket = buckets.back();
    bucket.lastMs = ms;
    bucket.lastPosition = position;
    std::vector<Span>& overloads = m_overloads[std::size_t(s)];
    if (quantity.isOverload()) {
        ++bucket.statistics.overloads;
        // Consecutive overloads of a series make one mark.
        if (m_overloadOpen[std::size_t(s)] && !overloads.empty()) {
            overloads.back().toMs = ms;
        } else {
            overloads.push_back({ms, ms});
        }
        m_overloadOpen[std::size_t(s)] = 1;
    } else {
        bucket.statistics.add(quantity.value);
        m_overloadOpen[std::size_t(s)] = 0;
    }
}

void HistoryModel::noteInterval(std::int64_t previousMs, std::int64_t ms) {
    const std::int64_t d = ms - previousMs;
    const int bin = d <= 0 ? 0 : std::min(kBins - 1, int(std::log2(double(d)) * kBinsPerOctave) + 1);
    ++m_intervalBins[std::size_t(bin)];
    ++m_intervals;
    if (m_finished) {
        if (d > gapThresholdMs()) m_gaps.push_back({previousMs, ms});
        return;
    }
    // While the pass runs the typical interval is not known yet: keep every interval well
    // above the early rows' typical one, and judge them at finish().
    auto prune = [this] {
        std::erase_if(m_gapCandidates, [this](const Span& s) { return s.toMs - s.fromMs <= m_candidateThresholdMs; });
    };
    if (d > m_candidateThresholdMs) m_gapCandidates.push_back({previousMs, ms});
    if (m_intervals == kEarlyIntervals) {
        m_candidateThresholdMs = std::max<std::int64_t>(1, typicalIntervalMs() * 2);
        prune();
    }
    while (std::int64_t(m_gapCandidates.size()) > kCandidateLimit) {
        m_candidateThresholdMs = std::max<std::int64_t>(1, m_candidateThresholdMs * 2);
        prune();
    }
}

void HistoryModel::finish() {
    if (m_finished) return;
    const std::int64_t threshold = gapThresholdMs();
    for (const Span& s : m_gapCandidates)
        if (s.toMs - s.fromMs > threshold) m_gaps.push_back(s);
    m_gapCandidates.clear();
    m_gapCandidates.shrink_to_fit();
    m_finished = true;
}

std::int64_t HistoryModel::typicalIntervalMs() const {
    if (m_intervals == 0) return 0;
    std::int64_t seen = 0;
    for (int bin = 0; bin < kBins; ++bin) {
        seen += m_intervalBins[std::size_t(bin)];
        if (2 * seen >= m_intervals) {
            if (bin == 0) return 0;
            return std::int64_t(std::llround(std::exp2((double(bin - 1) + 0.5) / kBinsPerOctave)));
        }
    }
    return 0;
}

std::int64_t HistoryModel::gapThresholdMs() const {
    return std::max(kMinimumGapMs, kGapFactor * typicalIntervalMs());
}

int HistoryModel::findSeries(std::string_view baseUnit, std::string_view acDc) const {
    for (std::size_t i = 0; i < m_series.size(); ++i)
        if (m_series[i].baseUnit == baseUnit && m_series[i].acDc == acDc) return int(i);
    return -1;
}

int HistoryModel::seriesFor(const SiQuantity& quantity, std::string_view acDcText) {
    const std::string_view baseUnit = quantity.unitKnown ? quantity.baseUnit : std::string_view();
    const std::string_view acDc = trimmed(acDcText);
    if (m_lastSeries >= 0) {
        const Series& last = m_series[std::size_t(m_lastSeries)];
        if (last.baseUnit == baseUnit && last.acDc == acDc) return m_lastSeries;
    }
    int s = findSeries(baseUnit, acDc);
    if (s < 0) {
        m_series.push_back({std::string(baseUnit), std::string(acDc)});
        m_buckets.emplace_back();
        m_overloads.emplace_back();
        m_overloadOpen.push_back(0);
        s = int(m_series.size()) - 1;
    }
    m_lastSeries = s;
    return s;
}

std::vector<std::string> HistoryModel::paneUnits() const {
    std::vector<std::string> units;
    for (const Series& s : m_series)
        if (std::find(units.begin(), units.end(), s.baseUnit) == units.end()) units.push_back(s.baseUnit);
    return units;
}

int HistoryModel::paneOf(int series) const {
    const std::vector<std::string> units = paneUnits();
    const auto it = std::find(units.begin(), units.end(), m_series[std::size_t(series)].baseUnit);
    return int(it - units.begin());
}

HistoryView HistoryModel::wholeRun() const {
    if (empty()) return {};
    // The last row sits inside the view, and a run of one row still has a width.
    const std::int64_t span = std::max<std::int64_t>(m_lastMs - firstMs(), 1000);
    const std::int64_t margin = std::max<std::int64_t>(span / 100, 1);
    return {firstMs() - margin, firstMs() + span + margin};
}

std::pair<std::size_t, std::size_t> HistoryModel::bucketsInView(int series, const HistoryView& view) const {
    const std::vector<Bucket>& b = m_buckets[std::size_t(series)];
    const auto first = std::partition_point(b.begin(), b.end(), [&](const Bucket& x) { return x.lastMs < view.fromMs; });
    const auto end = std::partition_point(first, b.end(), [&](const Bucket& x) { return x.firstMs < view.toMs; });
    return {std::size_t(first - b.begin()), std::size_t(end - b.begin())};
}

const HistoryRowRange* HistoryModel::rangeCovering(const std::vector<HistoryRowRange>& rows, std::int64_t first,
                                                   std::int64_t last) {
    for (const HistoryRowRange& r : rows)
        if (r.covers(first, last)) return &r;
    return nullptr;
}

namespace {

// Calls `use` for each sample of `series` within positions [first, last] of a range.
template <typename Use>
void forSeriesRows(const HistoryRowRange& range, int series, std::int64_t first, std::int64_t last, Use use) {
    auto it = std::lower_bound(range.rows.begin(), range.rows.end(), first,
                               [](const HistorySample& s, std::int64_t p) { return s.position < p; });
    for (; it != range.rows.end() && it->position <= last; ++it)
        if (it->series == series) use(*it);
}

}  // namespace

HistoryEnvelope HistoryModel::envelope(const HistoryView& view, int width,
                                       const std::vector<HistoryRowRange>& rows) const {
    HistoryEnvelope out;
    out.view = view;
    out.width = std::max(width, 0);
    out.series.assign(m_series.size(), std::vector<HistoryColumn>(std::size_t(out.width)));
    if (out.width == 0 || view.span() <= 0) return out;
    for (std::size_t s = 0; s < m_series.size(); ++s) {
        std::vector<HistoryColumn>& columns = out.series[s];
        const std::vector<Bucket>& b = m_buckets[s];
        const auto [first, end] = bucketsInView(int(s), view);
        for (std::size_t i = first; i < end; ++i) {
            const Bucket& bucket = b[i];
            const int c0 = std::max(view.column(bucket.firstMs, width), 0);
            const int c1 = std::min(view.column(bucket.lastMs, width), width - 1);
            const bool inside = view.contains(bucket.firstMs) && view.contains(bucket.lastMs);
            const bool hasValue = bucket.statistics.count > 0;
            if (inside && c0 == c1) {
                if (hasValue) {
                    columns[std::size_t(c0)].add(bucket.statistics.minimum);
                    columns[std::size_t(c0)].add(bucket.statistics.maximum);
                }
            } else if (const HistoryRowRange* range = rangeCovering(rows, bucket.firstPosition, bucket.lastPosition)) {
                forSeriesRows(*range, int(s), bucket.firstPosition, bucket.lastPosition, [&](const HistorySample& r) {
                    if (!r.overload && view.contains(r.ms)) columns[std::size_t(view.column(r.ms, width))].add(r.value);
                });
            } else if (hasValue) {
                // Not read yet: the bucket's bounds over every column it touches still hold
                // every reading in it.
                out.exact = false;
                for (int c = c0; c <= c1; ++c) {
                    columns[std::size_t(c)].add(bucket.statistics.minimum);
                    columns[std::size_t(c)].add(bucket.statistics.maximum);
                }
            }
        }
        const std::vector<Span>& overloads = m_overloads[s];
        auto o = std::partition_point(overloads.begin(), overloads.end(),
                                      [&](const Span& x) { return x.toMs < view.fromMs; });
        for (; o != overloads.end() && o->fromMs < view.toMs; ++o) {
            const int c0 = std::max(view.column(o->fromMs, width), 0);
            const int c1 = std::min(view.column(o->toMs, width), width - 1);
            for (int c = c0; c <= c1; ++c) columns[std::size_t(c)].overload = true;
        }
    }
    return out;
}

std::vector<HistoryModel::PositionRange> HistoryModel::rowsToRefine(const HistoryView& view, int width) const {
    std::vector<PositionRange> wide;
    std::vector<PositionRange> edges;
    std::int64_t minFirst = INT64_MAX, maxLast = -1;
    for (std::size_t s = 0; s < m_series.size(); ++s) {
        const std::vector<Bucket>& b = m_buckets[s];
        const auto [first, end] = bucketsInView(int(s), view);
        if (first >= end) continue;
        minFirst = std::min(minFirst, b[first].firstPosition);
        maxLast = std::max(maxLast, b[end - 1].lastPosition);
        for (std::size_t i = first; i < end; ++i) {
            const Bucket& bucket = b[i];
            const bool inside = view.contains(bucket.firstMs) && view.contains(bucket.lastMs);
            const PositionRange range{bucket.firstPosition, bucket.lastPosition + 1};
            if (!inside) {
                edges.push_back(range);
            } else if (view.column(bucket.firstMs, width) != view.column(bucket.lastMs, width)) {
                wide.push_back(range);
            }
        }
    }
    if (wide.empty() && edges.empty()) return {};
    // Reading starts at the clock's kept state before a range: a range is read from there.
    auto window = [this](const PositionRange& r) { return PositionRange{checkpointBefore(r.first), r.second}; };
    if (maxLast - minFirst + 1 <= kRefineRowLimit) return {window({minFirst, maxLast + 1})};
    // Too many rows to read them all: the edges (statistics need them), then as many wide
    // buckets as the limit allows.
    std::vector<PositionRange> wanted;
    std::int64_t total = 0;
    for (const PositionRange& r : edges) {
        wanted.push_back(window(r));
        total += wanted.back().second - wanted.back().first;
    }
    for (const PositionRange& r : wide) {
        const PositionRange w = window(r);
        if (total + (w.second - w.first) > kRefineRowLimit) break;
        total += w.second - w.first;
        wanted.push_back(w);
    }
    std::sort(wanted.begin(), wanted.end());
    std::vector<PositionRange> merged;
    for (const PositionRange& r : wanted) {
        if (!merged.empty() && r.first <= merged.back().second) {
            merged.back().second = std::max(merged.back().second, r.second);
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

std::int64_t HistoryModel::checkpointBefore(std::int64_t position) const {
    const auto after = std::upper_bound(m_checkpoints.begin(), m_checkpoints.end(), position,
                                        [](std::int64_t p, const Checkpoint& c) { return p < c.position; });
    return after == m_checkpoints.begin() ? position : (after - 1)->position;
}

HistorySample HistoryModel::sampleOf(std::int64_t position, std::int64_t ms, const SiQuantity& quantity,
                                     std::string_view acDc) const {
    HistorySample sample;
    sample.position = position;
    sample.ms = ms;
    if (quantity.kind == SiQuantity::Kind::Unreadable) return sample;
    sample.series = findSeries(quantity.unitKnown ? quantity.baseUnit : std::string_view(), trimmed(acDc));
    sample.overload = quantity.isOverload();
    sample.value = quantity.value;
    return sample;
}

HistoryRowRange HistoryModel::readRange(const HistoryRowSource& source, std::int64_t first, std::int64_t end) const {
    HistoryRowRange range;
    range.first = first;
    range.end = end;
    if (end <= first) return range;
    const auto after = std::upper_bound(m_checkpoints.begin(), m_checkpoints.end(), first,
                                        [](std::int64_t p, const Checkpoint& c) { return p < c.position; });
    HistoryClock clock;
    std::int64_t start = first;
    if (after != m_checkpoints.begin()) {
        const Checkpoint& checkpoint = *(after - 1);
        clock = checkpoint.clock;
        start = checkpoint.position;
    }
    range.rows.reserve(std::size_t(end - first));
    source.readRows(start, end - start, [&](std::int64_t position, const HistoryRowTexts& row) {
        const auto moment = clock.moment(row);
        if (position < first) return;
        if (!moment) {
            range.rows.push_back({position, 0, 0.0, -1, false});
            return;
        }
        range.rows.push_back(sampleOf(position, *moment, SiQuantity::fromDisplay(row.value, row.unit), row.acDc));
    });
    return range;
}

std::vector<HistoryStatistics> HistoryModel::statistics(const HistoryView& view,
                                                        const std::vector<HistoryRowRange>& rows,
                                                        bool* exact) const {
    std::vector<HistoryStatistics> out(m_series.size());
    if (exact) *exact = true;
    for (std::size_t s = 0; s < m_series.size(); ++s) {
        const auto [first, end] = bucketsInView(int(s), view);
        for (std::size_t i = first; i < end; ++i) {
            const Bucket& bucket = m_buckets[s][i];
            if (view.contains(bucket.firstMs) && view.contains(bucket.lastMs)) {
                out[s].merge(bucket.statistics);
            } else if (const HistoryRowRange* range = rangeCovering(rows, bucket.firstPosition, bucket.lastPosition)) {
                forSeriesRows(*range, int(s), bucket.firstPosition, bucket.lastPosition, [&](const HistorySample& r) {
                    if (!view.contains(r.ms)) return;
                    if (r.overload) {
                        ++out[s].overloads;
                    } else {
                        out[s].add(r.value);
                    }
                });
            } else {
                out[s].merge(bucket.statistics);
                if (exact) *exact = false;
            }
        }
    }
    return out;
}

std::optional<HistoryModel::PositionRange> HistoryModel::rowsOfValueAt(int series, std::int64_t ms) const {
    const std::vector<Bucket>& b = m_buckets[std::size_t(series)];
    const auto after = std::partition_point(b.begin(), b.end(), [&](const Bucket& x) { return x.firstMs <= ms; });
    if (after == b.begin()) return std::nullopt;
    return PositionRange{(after - 1)->firstPosition, (after - 1)->lastPosition + 1};
}

std::optional<HistoryModel::ValueAt> HistoryModel::valueAt(int series, std::int64_t ms,
                                                           const std::vector<HistoryRowRange>& rows) const {
    const std::vector<Bucket>& b = m_buckets[std::size_t(series)];
    const auto after = std::partition_point(b.begin(), b.end(), [&](const Bucket& x) { return x.firstMs <= ms; });
    if (after == b.begin()) return std::nullopt;
    const Bucket& bucket = *(after - 1);
    // Exact once the bucket's rows up to the moment are read (the bucket may still be growing).
    for (const HistoryRowRange& range : rows) {
        if (bucket.firstPosition < range.first || bucket.firstPosition >= range.end) continue;
        std::optional<ValueAt> found;
        bool later = false;  // a row of the series after the moment was read
        forSeriesRows(range, series, bucket.firstPosition, bucket.lastPosition, [&](const HistorySample& r) {
            if (r.ms > ms) later = true;
            if (!later) found = ValueAt{r.value, r.ms, true, r.overload};
        });
        if (found && (later || range.end > bucket.lastPosition)) return found;
    }
    return ValueAt{bucket.statistics.mean, std::min(ms, bucket.lastMs), false, bucket.statistics.count == 0};
}

}  // namespace veska
