#pragma once

#include <string>

namespace veska {

// The decoded reading of one packet. unitText is in the meter's symbol alphabet:
// "*" is ohm, "#" degrees Celsius, "?" degrees Fahrenheit, a leading "u" micro.
struct MeterReading {
    std::string valueText;     // as displayed: "-01.23", or ".0L" for overload
    float numericValue = 0.0F; // display count, point ignored; overload is +-(full scale + 1)
    std::string acDcText;      // "AC", "DC" or empty
    std::string unitText;      // e.g. "V", "mV", "k*", "Hz", "#"
    std::string rangeText;     // "AUTO" or "MANU"

    bool operator==(const MeterReading&) const = default;
};

}  // namespace veska
