#include "protocol/IsoTime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

using namespace veska;

TEST(IsoTime, Utc) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {1796872455123, "2026-12-10T03:14:15.123Z"},
        {1709251199999, "2024-02-29T23:59:59.999Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
        {-62135596800000, "0001-01-01T00:00:00.000Z"},
        {253402300799999, "9999-12-31T23:59:59.999Z"},
        {253402300800000, ""},  // year 10000 has no four-digit text
    };
    for (const auto& [ms, text] : cases) {
        EXPECT_EQ(IsoTime::utc(ms), text) << ms;
        if (*text) {
            EXPECT_EQ(IsoTime::parse(text), ms) << text;
        }
    }
}

TEST(IsoTime, WithOffset) {
    const std::int64_t ms = 1796872455123;  // 2026-12-10T03:14:15.123Z
    EXPECT_EQ(IsoTime::withOffset(ms, 3600), "2026-12-10T04:14:15.123+01:00");
    EXPECT_EQ(IsoTime::withOffset(ms, 0), "2026-12-10T03:14:15.123+00:00");
    EXPECT_EQ(IsoTime::withOffset(ms, -(3 * 3600 + 30 * 60)), "2026-12-09T23:44:15.123-03:30");
    EXPECT_EQ(IsoTime::withOffset(ms, 14 * 3600), "2026-12-10T17:14:15.123+14:00");
    // An offset with seconds (old local mean times) is rounded, and the wall-clock time
    // moves with it, so the text still names the very same instant.
    const std::string lmt = IsoTime::withOffset(ms, 19 * 60 + 32);
    EXPECT_EQ(lmt, "2026-12-10T03:34:15.123+00:20");
    EXPECT_EQ(IsoTime::parse(lmt), ms);
    EXPECT_EQ(IsoTime::parse(IsoTime::withOffset(ms, -(3 * 3600 + 30 * 60))), ms);
    EXPECT_EQ(IsoTime::withOffset(INT64_MAX, 3600), "");
    EXPECT_EQ(IsoTime::withOffset(INT64_MIN, -3600), "");
}

// The offset is the one in force at the reading's moment, summer or winter.
TEST(IsoTime, LocalFollowsTheTimeZoneRules) {
    const char* old = std::getenv("TZ");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    // A POSIX rule needs no time-zone database on the machine.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    EXPECT_EQ(IsoTime::local(1796872455123), "2026-12-10T04:14:15.123+01:00");
    EXPECT_EQ(IsoTime::local(1782907200000), "2026-07-01T14:00:00.000+02:00");
    setenv("TZ", "UTC0", 1);
    tzset();
    EXPECT_EQ(IsoTime::local(1796872455123), "2026-12-10T03:14:15.123+00:00");
    if (saved) {
        setenv("TZ", saved->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(IsoTime, ParseForms) {
    EXPECT_EQ(IsoTime::parse("2026-12-10T03:14:15Z"), 1796872455000);
    EXPECT_EQ(IsoTime::parse("2026-12-10T03:14:15.1Z"), 1796872455100);
    EXPECT_EQ(IsoTime::parse("2026-12-10T03:14:15.123456789Z"), 1796872455123);
    EXPECT_EQ(IsoTime::parse("2026-12-10T04:14:15.123+01:00"), 1796872455123);
    EXPECT_EQ(IsoTime::parse("2026-12-09T22:14:15.123-05:00"), 1796872455123);
    EXPECT_EQ(IsoTime::parse("2024-02-29T00:00:00Z"), 1709164800000);
    for (const char* bad : {"", "14:05:09", "2026-12-10", "2026-12-10T03:14:15", "2026-12-10 03:14:15Z",
                            "2026-12-10T03:14:15.Z", "2026-12-10T03:14:15.1234567890Z", "2026-12-10T03:14:15Zx",
                            "2026-02-29T00:00:00Z", "2026-02-30T00:00:00Z", "2026-13-01T00:00:00Z",
                            "2026-00-01T00:00:00Z", "2026-12-00T00:00:00Z", "2026-12-10T24:00:00Z",
                            "2026-12-10T23:60:00Z", "2026-12-10T23:59:60Z", "2026-12-10T03:14:15+0100",
                            "2026-12-10T03:14:15+24:00", "2026-1-10T03:14:15Z", "+2026-12-10T03:14:15Z"}) {
        EXPECT_EQ(IsoTime::parse(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(IsoTime::parse("1900-02-29T00:00:00Z"), std::nullopt);
    EXPECT_TRUE(IsoTime::parse("2000-02-29T00:00:00Z").has_value());
}
