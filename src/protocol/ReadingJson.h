#pragma once

#include "protocol/LcdState.h"
#include "protocol/MeterReading.h"
#include "protocol/SiQuantity.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veska {

// One reading as one JSON object on one line (for JSON-lines output), keys in this order:
//   {"time":"2026-12-10T03:14:15.123Z","value":"4.698","unit":"kΩ","si_value":4698,
//    "base_unit":"Ω","mode":"DC","range":"AUTO","overload":false,"hold":false,
//    "rel":false,"low_battery":false,"no":17}
// si_value is null for overload and for a value or unit that cannot be read; "no" is the
// record number, null when the reading was not recorded. Strings are UTF-8 with quotes,
// backslashes and control characters escaped; bytes that are not valid UTF-8 become
// U+FFFD, so the line is always valid JSON.
class ReadingJson {
public:
    // Appends the object without a line end.
    static void appendObject(std::string& out, const MeterReading& reading, const LcdState& lcd,
                             std::string_view timeText, std::optional<std::int64_t> recordNo);
    static void appendObject(std::string& out, const MeterReading& reading, const SiQuantity& quantity,
                             const LcdState& lcd, std::string_view timeText, std::optional<std::int64_t> recordNo);
    static std::string object(const MeterReading& reading, const LcdState& lcd, std::string_view timeText,
                              std::optional<std::int64_t> recordNo);

    // A JSON string literal, quotes included.
    static void appendString(std::string& out, std::string_view text);
};

}  // namespace veska
