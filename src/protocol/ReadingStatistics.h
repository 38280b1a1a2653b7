#pragma once

#include "protocol/SiQuantity.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veska {

// Count, minimum, maximum, mean and standard deviation of a run of readings, in one pass
// and without keeping the values (Welford's update), so ten million rows cost no memory.
//
// Readings are grouped by base unit and coupling, so an auto-ranging run that moves between
// mV and V is one group in V, while AC and DC volts stay apart, as °C and °F do (a mean of
// DC 1.2 V and AC 230 V means nothing). Groups keep the order in which their first
// reading came. Overload readings count in their unit's group (overloads, first/last time)
// but carry no value. Readings whose value or unit cannot be read go to unreadable() only.
class ReadingStatistics {
public:
    struct Unit {
        std::string_view baseUnit;  // "V", "Ω", ... or empty for unitless readings
        std::string_view coupling;  // "AC", "DC" or empty
        std::uint64_t count = 0;    // readings with a value
        std::uint64_t overloads = 0;
        std::string firstTime;      // time text of the group's first reading, overloads included
        std::string lastTime;       // and of its last

        // Empty while count is 0.
        std::optional<double> minimum() const;
        std::optional<double> maximum() const;
        std::optional<double> mean() const;
        // The sample standard deviation (divisor count - 1). Empty below two values: one
        // value says nothing about the spread, and 0 would claim that it does.
        std::optional<double> standardDeviation() const;

    private:
        friend class ReadingStatistics;
        double min_ = 0.0;
        double max_ = 0.0;
        double mean_ = 0.0;
        double m2_ = 0.0;  // sum of squared deviations from the running mean
    };

    // timeText is kept as given (an ISO 8601 text, or a time of day from older tables).
    // coupling is the reading's "AC" or "DC"; any other text counts as none.
    void add(const SiQuantity& quantity, std::string_view coupling, std::string_view timeText);
    void add(const SiQuantity& quantity, std::string_view timeText) { add(quantity, {}, timeText); }

    const std::vector<Unit>& units() const { return units_; }
    const Unit* find(std::string_view baseUnit, std::string_view coupling = {}) const;
    std::uint64_t unreadable() const { return unreadable_; }
    void clear();

private:
    std::vector<Unit> units_;
    std::size_t lastIndex_ = 0;  // consecutive readings are nearly always of one unit
    std::uint64_t unreadable_ = 0;
};

}  // namespace veska
