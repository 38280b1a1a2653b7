#pragma once

#include "protocol/MeterReading.h"
#include "protocol/SiQuantity.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veska {

// Readings as CSV (RFC 4180): comma separated, a field quoted when it holds a comma, a
// quote, CR or LF, quotes doubled, every line ended by CR LF, UTF-8 without a byte-order
// mark. A text field that is not a number and begins with =, +, -, @, a tab or CR is
// written with a leading apostrophe (spreadsheets would take it for a formula); a reading
// such as "-1.234" is a number and stays as it is. NUL bytes are dropped. Columns, in the
// order of header():
//   No         record number, empty for a reading that was not recorded
//   Time       the time text as given (ISO 8601 with offset, or a time of day)
//   Mode       "DC", "AC" or empty
//   Value      the value as the display showed it: "-01.23", ".0L"
//   Unit       plain text: "kΩ", "°C", "µA"; an unknown unit text is written as it is
//   SI value   the value in the base unit: "4698", "0.000012"; empty for overload
//   Base unit  "V", "A", "Ω", "F", "Hz", "°C", "°F", "%" or empty
//   Overload   "true" or "false"
//   Range      "AUTO" or "MANU"
class ReadingCsv {
public:
    // The header line, CR LF included.
    static std::string_view header();

    // One data line, CR LF included, appended to 'out' (reuse 'out' to avoid allocating).
    static void appendRow(std::string& out, const MeterReading& reading, std::string_view timeText,
                          std::optional<std::int64_t> recordNo);
    // The same with the quantity already converted (SiQuantity::fromReading(reading)).
    static void appendRow(std::string& out, const MeterReading& reading, const SiQuantity& quantity,
                          std::string_view timeText, std::optional<std::int64_t> recordNo);
    static std::string row(const MeterReading& reading, std::string_view timeText,
                           std::optional<std::int64_t> recordNo);

    // One field, quoted only when it has to be, made safe as said above.
    static void appendField(std::string& out, std::string_view field);
    // A decimal number as a spreadsheet reads one: sign, digits with one point, exponent.
    static bool isNumber(std::string_view text);
    // Not a number, and a spreadsheet would start a formula with its first character.
    static bool startsLikeFormula(std::string_view text);
};

}  // namespace veska
