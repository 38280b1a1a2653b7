#include "protocol/IsoTime.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace veska {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (era arithmetic: 400-year
// cycles of 146097 days, the year starting in March so the leap day comes last).
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Civil {
    std::int64_t year;
    int month;
    int day;
};

Civil civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

bool isLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(std::int64_t y, int m) {
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[static_cast<std::size_t>(m - 1)];
}

// Wall-clock text of 'ms' (already shifted to the zone wanted), without a zone suffix.
std::string wallClock(std::int64_t ms) {
    const std::int64_t days = floorDiv(ms, kMsPerDay);
    const std::int64_t inDay = ms - days * kMsPerDay;
    const Civil c = civilFromDays(days);
    if (c.year < 0 || c.year > 9999) return {};
    const int msPart = static_cast<int>(inDay % 1000);
    const int secs = static_cast<int>(inDay / 1000);
    std::array<char, 32> buf{};
    const int n = std::snprintf(buf.data(), buf.size(), "%04d-%02d-%02dT%02d:%02d:%02d.%03d", static_cast<int>(c.year),
                                c.month, c.day, secs / 3600, secs / 60 % 60, secs % 60, msPart);
    return std::string(buf.data(), static_cast<std::size_t>(n));
}

// Reads exactly 'count' decimal digits at 'pos'; advances pos.
std::optional<int> Digits(std::string_view text, std::size_t& pos, std::size_t count) {
    if (pos + count > text.size()) return std::nullopt;
    int v = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    pos += count;
    return v;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

std::string IsoTime::utc(std::int64_t msSinceEpoch) {
    std::string text = wallClock(msSinceEpoch);
    if (!text.empty()) text.push_back('Z');
    return text;
}

std::string IsoTime::withOffset(std::int64_t msSinceEpoch, int offsetSeconds) {
    // Far outside the years that can be written; also keeps the shift below from overflowing.
    constexpr std::int64_t kLimit = 400'000'000'000'000;
    if (msSinceEpoch < -kLimit || msSinceEpoch > kLimit) return {};
    // Round half away from zero to whole minutes.
    const int minutes = offsetSeconds >= 0 ? (offsetSeconds + 30) / 60 : -((-offsetSeconds + 30) / 60);
    std::string text = wallClock(msSinceEpoch + static_cast<std::int64_t>(minutes) * 60'000);
    if (text.empty()) return text;
    const int a = minutes < 0 ? -minutes : minutes;
    std::array<char, 8> buf{};
    const int n = std::snprintf(buf.data(), buf.size(), "%c%02d:%02d", minutes < 0 ? '-' : '+', a / 60 % 100, a % 60);
    text.append(buf.data(), static_cast<std::size_t>(n));
    return text;
}

std::string IsoTime::local(std::int64_t msSinceEpoch) {
    // No tzset() here: it looks at TZ and the zone file on every call, which made a row
    // ten times dearer. The zone is the one in force at the first call or the last tzset().
    const std::time_t seconds = static_cast<std::time_t>(floorDiv(msSinceEpoch, 1000));
    std::tm tm{};
    if (localtime_r(&seconds, &tm) == nullptr) return withOffset(msSinceEpoch, 0);
    return withOffset(msSinceEpoch, static_cast<int>(tm.tm_gmtoff));
}

std::optional<std::int64_t> IsoTime::parse(std::string_view text) {
    std::size_t pos = 0;
    const auto year = Digits(text, pos, 4);
    if (!year || !expect(text, pos, '-')) return std::nullopt;
    const auto month = Digits(text, pos, 2);
    if (!month || !expect(text, pos, '-')) return std::nullopt;
    const auto day = Digits(text, pos, 2);
    if (!day || !expect(text, pos, 'T')) return std::nullopt;
    const auto hour = Digits(text, pos, 2);
    if (!hour || !expect(text, pos, ':')) return std::nullopt;
    const auto minute = Digits(text, pos, 2);
    if (!minute || !expect(text, pos, ':')) return std::nullopt;
    const auto second = Digits(text, pos, 2);
    if (!second) return std::nullopt;
    if (*month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(*year, *month) || *hour > 23 || *minute > 59 ||
        *second > 59) {
        return std::nullopt;
    }
    int ms = 0;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        std::size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (digits < 3) ms = ms * 10 + (text[pos] - '0');
            ++digits;
            ++pos;
        }
        if (digits == 0 || digits > 9) return std::nullopt;
        for (std::size_t i = digits; i < 3; ++i) ms *= 10;
    }
    int offsetMinutes = 0;
    if (expect(text, pos, 'Z')) {
        // UTC
    } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        const bool negative = text[pos] == '-';
        ++pos;
        const auto oh = Digits(text, pos, 2);
        if (!oh || !expect(text, pos, ':')) return std::nullopt;
        const auto om = Digits(text, pos, 2);
        if (!om || *oh > 23 || *om > 59) return std::nullopt;
        offsetMinutes = (negative ? -1 : 1) * (*oh * 60 + *om);
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;
    const std::int64_t days = daysFromCivil(*year, *month, *day);
    const std::int64_t wall = days * kMsPerDay + ((*hour * 60 + *minute) * 60 + *second) * 1000LL + ms;
    return wall - static_cast<std::int64_t>(offsetMinutes) * 60'000;
}

}  // namespace veska
