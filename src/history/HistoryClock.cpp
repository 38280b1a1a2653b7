#include "history/HistoryClock.h"

#include "protocol/IsoTime.h"

#include <ctime>

namespace veska {

namespace {

std::optional<int> digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return std::nullopt;
    int n = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        n = n * 10 + (text[i] - '0');
    }
    return n;
}

}  // namespace

std::optional<std::int64_t> HistoryClock::parseTimeOfDay(std::string_view text) {
    if (text.size() != 8 && text.size() != 12) return std::nullopt;
    if (text[2] != ':' || text[5] != ':') return std::nullopt;
    const auto h = digits(text, 0, 2), m = digits(text, 3, 2), s = digits(text, 6, 2);
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
    int ms = 0;
    if (text.size() == 12) {
        const auto fraction = digits(text, 9, 3);
        if (text[8] != '.' || !fraction) return std::nullopt;
        ms = *fraction;
    }
    return ((std::int64_t(*h) * 60 + *m) * 60 + *s) * 1000 + ms;
}

int HistoryClock::localOffsetSeconds(std::int64_t utcMs) {
    const std::time_t seconds = std::time_t(utcMs >= 0 ? utcMs / 1000 : (utcMs - 999) / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    return int(local.tm_gmtoff);
}

std::int64_t HistoryClock::localTimeOfDay(std::int64_t utcMs) {
    const std::int64_t local = utcMs + std::int64_t(localOffsetSeconds(utcMs)) * 1000;
    const std::int64_t r = local % kDayMs;
    return r < 0 ? r + kDayMs : r;
}

std::int64_t HistoryClock::ordered(std::int64_t moment) {
    if (m_last && moment < *m_last) {
        ++m_stepsBack;
        moment = *m_last;
    }
    m_last = moment;
    return moment;
}

std::int64_t HistoryClock::fromTimeOfDay(std::int64_t timeOfDayMs) {
    if (m_mode == Mode::Utc && m_last) {
        // On the local date of the row before, or the next day when earlier than it.
        const std::int64_t midnight = *m_last - localTimeOfDay(*m_last);
        std::int64_t moment = midnight + timeOfDayMs;
        if (moment < *m_last) moment += kDayMs;
        return moment;
    }
    if (m_lastTimeOfDay >= 0 && timeOfDayMs < m_lastTimeOfDay) ++m_day;
    m_lastTimeOfDay = timeOfDayMs;
    return m_day * kDayMs + timeOfDayMs;
}

std::optional<std::int64_t> HistoryClock::moment(const HistoryRowTexts& row) {
    if (m_mode != Mode::TimeOfDay && !row.utc.empty()) {
        if (const auto utc = IsoTime::parse(row.utc)) {
            m_mode = Mode::Utc;
            return ordered(*utc);
        }
    }
    const auto timeOfDay = parseTimeOfDay(row.timeOfDay);
    if (!timeOfDay) return std::nullopt;
    if (m_mode == Mode::Unknown) m_mode = Mode::TimeOfDay;
    return ordered(fromTimeOfDay(*timeOfDay));
}

std::int64_t HistoryClock::momentOfUtc(std::int64_t utcMs) {
    if (m_mode == Mode::TimeOfDay) return ordered(fromTimeOfDay(localTimeOfDay(utcMs)));
    m_mode = Mode::Utc;
    return ordered(utcMs);
}

}  // namespace veska
