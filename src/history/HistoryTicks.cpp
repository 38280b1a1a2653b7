#include "history/HistoryTicks.h"

#include "history/HistoryClock.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace veska {

namespace {

struct Prefix {
    int exponent;
    const char* text;
};
constexpr std::array<Prefix, 9> kPrefixes{{{-12, "p"}, {-9, "n"}, {-6, "µ"}, {-3, "m"}, {0, ""},
                                           {3, "k"}, {6, "M"}, {9, "G"}, {12, "T"}}};

bool takesPrefix(std::string_view baseUnit) {
    baseUnit = baseUnit.substr(0, baseUnit.find('/'));  // a slope takes its unit's prefixes
    return baseUnit == "V" || baseUnit == "A" || baseUnit == "Ω" || baseUnit == "F" || baseUnit == "Hz";
}

int prefixExponent(double magnitude, std::string_view baseUnit) {
    if (!takesPrefix(baseUnit) || !(magnitude > 0) || !std::isfinite(magnitude)) return 0;
    const int e = int(std::floor(std::log10(magnitude) / 3.0)) * 3;
    return std::max(-12, std::min(12, e));
}

const char* prefixText(int exponent) {
    for (const Prefix& p : kPrefixes)
        if (p.exponent == exponent) return p.text;
    return "";
}

std::string unitSuffix(int exponent, std::string_view baseUnit) {
    std::string out = prefixText(exponent);
    out += baseUnit;
    return out.empty() ? out : " " + out;
}

std::string fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", std::max(0, decimals), value);
    std::string text(buffer);
    if (text.find_first_not_of("-0.") == std::string::npos && text.front() == '-') text.erase(0, 1);
    return text;
}

double niceStep(double rough) {
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= rough * (1 - 1e-9)) return m * power;
    return 10 * power;
}

std::tm localParts(std::int64_t ms) {
    const std::time_t seconds = std::time_t(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

int millisecondsOf(std::int64_t ms) { return int(((ms % 1000) + 1000) % 1000); }

}  // namespace

std::vector<HistoryTick> HistoryTicks::valueTicks(double minimum, double maximum, int maxTicks,
                                                  std::string_view baseUnit) {
    std::vector<HistoryTick> ticks;
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || maximum <= minimum || maxTicks < 1) return ticks;
    const double step = niceStep((maximum - minimum) / maxTicks);
    const int exponent = prefixExponent(std::max(std::abs(minimum), std::abs(maximum)), baseUnit);
    const double scale = std::pow(10.0, exponent);
    const int decimals = int(std::max(0.0, -std::floor(std::log10(step / scale) + 1e-9)));
    for (double v = std::ceil(minimum / step) * step; v <= maximum + step * 1e-9; v += step) {
        const double at = std::abs(v) < step * 1e-9 ? 0.0 : v;
        ticks.push_back({at, fixed(at / scale, decimals) + unitSuffix(exponent, baseUnit)});
    }
    return ticks;
}

std::string HistoryTicks::formatValue(double value, std::string_view baseUnit, int significant) {
    if (!std::isfinite(value)) return "-";
    const int exponent = prefixExponent(std::abs(value), baseUnit);
    const double scaled = value / std::pow(10.0, exponent);
    const int integerDigits = scaled == 0 ? 1 : std::max(1, int(std::floor(std::log10(std::abs(scaled)))) + 1);
    std::string text = fixed(scaled, significant - integerDigits);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    return text + unitSuffix(exponent, baseUnit);
}

std::int64_t HistoryTicks::timeStep(std::int64_t spanMs, int maxTicks) {
    static constexpr std::array<std::int64_t, 31> kSteps{
        1,        2,        5,        10,        20,        50,        100,       200,
        500,      1000,     2000,     5000,      10'000,    15'000,    30'000,    60'000,
        120'000,  300'000,  600'000,  900'000,   1'800'000, 3'600'000, 7'200'000, 10'800'000,
        21'600'000, 43'200'000, 86'400'000, 172'800'000, 604'800'000, 1'209'600'000, 2'592'000'000};
    const double rough = double(spanMs) / std::max(1, maxTicks);
    for (const std::int64_t step : kSteps)
        if (double(step) >= rough) return step;
    return std::int64_t(std::ceil(rough / double(kSteps.back()))) * kSteps.back();
}

std::vector<HistoryTick> HistoryTicks::timeTicks(std::int64_t fromMs, std::int64_t toMs, int maxTicks,
                                                 bool dateKnown) {
    std::vector<HistoryTick> ticks;
    if (toMs <= fromMs || maxTicks < 1) return ticks;
    const std::int64_t step = timeStep(toMs - fromMs, maxTicks);
    // Round local times: the zone's offset at the view's start.
    const std::int64_t offset = dateKnown ? std::int64_t(HistoryClock::localOffsetSeconds(fromMs)) * 1000 : 0;
    const std::int64_t localFrom = fromMs + offset;
    std::int64_t local = (localFrom / step) * step;
    if (local < localFrom) local += step;
    for (; local - offset <= toMs; local += step) {
        const std::int64_t ms = local - offset;
        std::string label;
        char buffer[64];
        if (step >= HistoryClock::kDayMs) {
            if (dateKnown) {
                const std::tm t = localParts(ms);
                std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
            } else {
                std::snprintf(buffer, sizeof buffer, "day %lld", static_cast<long long>(ms / HistoryClock::kDayMs + 1));
            }
            label = buffer;
        } else {
            const std::int64_t tod = dateKnown ? HistoryClock::localTimeOfDay(ms)
                                               : ((ms % HistoryClock::kDayMs) + HistoryClock::kDayMs) % HistoryClock::kDayMs;
            const int h = int(tod / 3'600'000), m = int(tod / 60'000 % 60), s = int(tod / 1000 % 60);
            if (step < 1000) {
                std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", h, m, s, int(tod % 1000));
            } else if (step < 60'000) {
                std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", h, m, s);
            } else {
                std::snprintf(buffer, sizeof buffer, "%02d:%02d", h, m);
            }
            label = buffer;
        }
        ticks.push_back({double(ms), label});
    }
    return ticks;
}

std::string HistoryTicks::formatMoment(std::int64_t ms, bool dateKnown) {
    char buffer[80];
    if (dateKnown) {
        const std::tm t = localParts(ms);
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.tm_year + 1900, t.tm_mon + 1,
                      t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millisecondsOf(ms));
    } else {
        const std::int64_t day = (ms >= 0 ? ms / HistoryClock::kDayMs : (ms - HistoryClock::kDayMs + 1) / HistoryClock::kDayMs);
        const std::int64_t tod = ms - day * HistoryClock::kDayMs;
        std::snprintf(buffer, sizeof buffer, "day %lld %02d:%02d:%02d.%03d", static_cast<long long>(day + 1),
                      int(tod / 3'600'000), int(tod / 60'000 % 60), int(tod / 1000 % 60), int(tod % 1000));
    }
    return buffer;
}

std::string HistoryTicks::formatDuration(std::int64_t ms) {
    const bool negative = ms < 0;
    const std::int64_t a = negative ? -ms : ms;
    char buffer[80];
    if (a < 1000) {
        std::snprintf(buffer, sizeof buffer, "%lld ms", static_cast<long long>(a));
    } else if (a < 60'000) {
        std::snprintf(buffer, sizeof buffer, "%.3f s", double(a) / 1000.0);
    } else if (a < 3'600'000) {
        std::snprintf(buffer, sizeof buffer, "%lld min %06.3f s", static_cast<long long>(a / 60'000),
                      double(a % 60'000) / 1000.0);
    } else if (a < HistoryClock::kDayMs) {
        std::snprintf(buffer, sizeof buffer, "%lld h %02lld min %02lld s", static_cast<long long>(a / 3'600'000),
                      static_cast<long long>(a / 60'000 % 60), static_cast<long long>(a / 1000 % 60));
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld d %02lld h %02lld min", static_cast<long long>(a / HistoryClock::kDayMs),
                      static_cast<long long>(a / 3'600'000 % 24), static_cast<long long>(a / 60'000 % 60));
    }
    return (negative ? "-" : "") + std::string(buffer);
}

}  // namespace veska
