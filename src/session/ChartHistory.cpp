#include "session/ChartHistory.h"

#include "protocol/LcdState.h"

#include <algorithm>
#include <string>

namespace veska {

std::optional<int> ChartHistory::chartValue(const LcdState& lcd, int fullScaleCount) {
    if (lcd.overload) return (lcd.negative ? -1 : 1) * fullScaleCount;
    int value = 0;
    bool anyDigit = false;
    for (const std::string* digit : {&lcd.digit1, &lcd.digit2, &lcd.digit3, &lcd.digit4}) {
        for (const char c : *digit) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + (c - '0');
            anyDigit = true;
        }
    }
    if (!anyDigit) return std::nullopt;
    return lcd.negative ? -value : value;
}

void ChartHistory::fillSampleValues() {
    for (int series = 0; series < ChartPointStore::SeriesCount; ++series) m_store.resetWithSample(series, SampleValue);
}

void ChartHistory::showSeries(int series) {
    if (series < 0 || series >= ChartPointStore::SeriesCount) return;
    m_shown.fill(false);
    m_shown[static_cast<std::size_t>(series)] = true;
}

void ChartHistory::restart() {
    fillSampleValues();
    showSeries(m_fill ? AreaSeries : LineSeries);
}

bool ChartHistory::addReading(const LcdState& lcd, int fullScaleCount) {
    const std::optional<int> value = chartValue(lcd, fullScaleCount);
    if (!value) return false;
    // Line first, then the page, then the area: with the area series shown, the page is
    // counted before its new point, as the chart has always done.
    m_store.add(LineSeries, *value);
    if (m_followLastPage) setPage(pageCount());
    m_store.add(AreaSeries, *value);
    return true;
}

std::size_t ChartHistory::shownPointCount() const {
    std::size_t count = 0;
    for (int series = 0; series < ChartPointStore::SeriesCount; ++series) {
        if (isSeriesShown(series)) count = std::max(count, m_store.count(series));
    }
    return count;
}

}  // namespace veska
