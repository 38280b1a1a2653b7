#pragma once

#include <string_view>

namespace veska {

// The display scales by what they serve; the meter's own code texts are "4", "34", "6",
// "10", "1" and "13".
enum class ScaleCode { Count4000, Count3400, Count6000, Frequency, Percent, Temperature };

// One row of the display scales: the count limit of the display and the gauge and bar
// values derived from it.
struct ScaleSet {
    ScaleCode code;
    std::string_view meterCode;  // its code text: "4", "34", "6", "10", "1" or "13"
    int fullScaleCount;
    int gaugeOffset;
    int barMax;
    int gaugeSpan;
    int barMaximum;  // maximum of the bar when the reading cycle selects this scale

    float upperLimitSeed() const { return static_cast<float>(fullScaleCount + 2); }
    float lowerLimitSeed() const { return -static_cast<float>(fullScaleCount + 2); }
    float runningMaxSeed() const { return -static_cast<float>(fullScaleCount + 1); }
    float runningMinSeed() const { return static_cast<float>(fullScaleCount + 1); }
    // Display counts per needle step: the needle reads the first three digits, except on
    // the temperature scale, which reads all four.
    int countsPerNeedleStep() const { return code == ScaleCode::Temperature ? 1 : 10; }
};

// The row of `code`.
const ScaleSet& scaleSet(ScaleCode code);
// The row of a code text; nullptr for an unknown one.
const ScaleSet* findScaleSet(std::string_view meterCode);

// The scale the reading cycle selects for a unit text ("Hz" -> "10", "%" -> "1",
// "#"/"?" -> "13", anything else -> "6").
const ScaleSet& scaleSetForUnit(std::string_view unitText);

}  // namespace veska
