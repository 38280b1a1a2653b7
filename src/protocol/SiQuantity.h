#pragma once

#include <string>
#include <string_view>

namespace veska {

struct MeterReading;

// A reading as other programs want it: the unit in plain text and the value as a number
// in the unit's base (4.698 "k*" -> 4698 Ω, 12.0 "uA" -> 0.000012 A).
//
// The unit texts are the meter's symbol alphabet ("*" ohm, "#" °C, "?" °F, a leading
// "u" micro) with the prefixes n, u, m, k, M on V, A, Ω, F and Hz ("kHz" and "MHz"
// included). Plain-text spellings ("kΩ", "µA", "°C") are accepted as well, so texts that
// were already converted convert again to the same result. The empty unit is a valid,
// unitless reading.
//
// Every text member points to static storage: a SiQuantity is cheap to copy and never
// dangles, whatever happens to the texts it was made from.
struct SiQuantity {
    enum class Kind {
        Number,      // value holds the reading in baseUnit
        Overload,    // the display showed 0L: no value (whether or not the unit is known)
        Unreadable,  // the value text is not a display number, or the unit is unknown
    };

    Kind kind = Kind::Unreadable;
    bool unitKnown = false;      // false: unit and baseUnit are empty, the text was not a unit
    double value = 0.0;          // in baseUnit; 0 unless kind == Number; never -0
    std::string_view unit;       // plain text, UTF-8: "kΩ", "µA", "°C", "kHz"; empty for none
    std::string_view baseUnit;   // "V", "A", "Ω", "F", "Hz", "°C", "°F", "%" or empty

    bool isNumber() const { return kind == Kind::Number; }
    bool isOverload() const { return kind == Kind::Overload; }

    // valueText as the display shows it ("-01.23", "012.3", "0123"; an overload text such
    // as ".0L", "0.L", "0L." or "0L"); unitText in the meter's alphabet or plain text.
    // The value is the double nearest to the exact decimal: "4.698" "k*" gives exactly 4698.
    static SiQuantity fromDisplay(std::string_view valueText, std::string_view unitText);
    static SiQuantity fromReading(const MeterReading& reading);

    // The shortest plain decimal text that reads back as exactly 'value' ("4698",
    // "0.000012", "-1.23"); no exponent, never "-0". Empty for NaN and infinities.
    static std::string formatNumber(double value);
    static void appendNumber(std::string& out, double value);
};

}  // namespace veska
