#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veska {

// ISO 8601 timestamps with milliseconds for files other programs read. Moments are
// milliseconds since 1970-01-01T00:00:00Z; years outside 0000-9999 give an empty text.
class IsoTime {
public:
    // "2026-12-10T03:14:15.123Z"
    static std::string utc(std::int64_t msSinceEpoch);

    // The moment as wall-clock time at 'offsetSeconds' east of UTC with that offset:
    // "2026-12-10T04:14:15.123+01:00". The offset is rounded to whole minutes (ISO 8601
    // has no seconds there) and the wall-clock time follows the rounded offset, so the
    // text always names the same instant.
    static std::string withOffset(std::int64_t msSinceEpoch, int offsetSeconds);

    // withOffset() with the offset the system time zone (TZ honoured) had at that moment,
    // so a summer reading gets summer time even when exported in winter. The zone is read
    // once (localtime_r); after changing TZ at run time call tzset().
    static std::string local(std::int64_t msSinceEpoch);

    // The moment that a text of the forms above names: "YYYY-MM-DDTHH:MM:SS", an optional
    // fraction of 1 to 9 digits (cut to milliseconds), then "Z" or "+hh:mm"/"-hh:mm".
    // Empty for anything else, including impossible dates such as February 30.
    static std::optional<std::int64_t> parse(std::string_view text);
};

}  // namespace veska
