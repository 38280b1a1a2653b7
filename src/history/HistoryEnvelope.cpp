#include "history/HistoryEnvelope.h"

#include <cmath>

namespace veska {

void HistoryStatistics::add(double value) {
    if (count == 0) {
        minimum = maximum = value;
    } else {
        minimum = std::min(minimum, value);
        maximum = std::max(maximum, value);
    }
    // Welford: stays accurate for small spreads around a large value (4.698 V ± 1 mV).
    ++count;
    const double delta = value - mean;
    mean += delta / double(count);
    m2 += delta * (value - mean);
}

void HistoryStatistics::merge(const HistoryStatistics& other) {
    overloads += other.overloads;
    if (other.count == 0) return;
    if (count == 0) {
        const std::int64_t keptOverloads = overloads;
        *this = other;
        overloads = keptOverloads;
        return;
    }
    const double total = double(count + other.count);
    const double delta = other.mean - mean;
    mean += delta * double(other.count) / total;
    m2 += other.m2 + delta * delta * double(count) * double(other.count) / total;
    count += other.count;
    minimum = std::min(minimum, other.minimum);
    maximum = std::max(maximum, other.maximum);
}

double HistoryStatistics::standardDeviation() const {
    return count < 2 ? 0.0 : std::sqrt(std::max(0.0, m2) / double(count - 1));
}

}  // namespace veska
