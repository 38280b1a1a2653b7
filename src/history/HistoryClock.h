#pragma once

#include "history/HistoryRowSource.h"

#include <cstdint>
#include <optional>

namespace veska {

// The time model of a run: every row becomes a moment in milliseconds, in table order.
//
// Tables Veska creates carry each row's UTC moment: moments are milliseconds since 1970 UTC
// and the date is known. Older tables carry only the time of day: moments then count from
// midnight of the run's first day (day 1), a time of day earlier than the row before means
// midnight was crossed, and the date is unknown. A row without a UTC text in a table that
// has them (rows restored from an older journal) takes its time of day on the local date
// of the row before, crossing midnight in the same way.
//
// Moments never go backwards: a row stamped before the row before it (a clock set back)
// is placed at the moment of that row and counted, so the time axis stays ordered.
class HistoryClock {
public:
    static constexpr std::int64_t kDayMs = 86'400'000;

    // The moment of a row; empty when neither its UTC text nor its time of day can be read.
    std::optional<std::int64_t> moment(const HistoryRowTexts& row);
    // The moment of a row recorded now (live following), from its UTC moment.
    std::int64_t momentOfUtc(std::int64_t utcMs);

    // Whether moments are UTC (a date known) or times of day counted from day 1.
    bool dateKnown() const { return m_mode == Mode::Utc; }
    // Rows placed later than stamped because their clock went backwards.
    std::int64_t clockStepsBack() const { return m_stepsBack; }

    // "hh:mm:ss" or "hh:mm:ss.zzz" -> milliseconds since midnight.
    static std::optional<std::int64_t> parseTimeOfDay(std::string_view text);
    // Milliseconds since midnight of a UTC moment in the local time zone.
    static std::int64_t localTimeOfDay(std::int64_t utcMs);
    // Offset east of UTC in seconds of the local zone at a moment.
    static int localOffsetSeconds(std::int64_t utcMs);

private:
    enum class Mode { Unknown, Utc, TimeOfDay };

    std::int64_t fromTimeOfDay(std::int64_t timeOfDayMs);
    std::int64_t ordered(std::int64_t moment);

    Mode m_mode = Mode::Unknown;
    std::optional<std::int64_t> m_last;
    std::int64_t m_lastTimeOfDay = -1;
    std::int64_t m_day = 0;
    std::int64_t m_stepsBack = 0;
};

}  // namespace veska
