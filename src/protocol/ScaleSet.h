#pragma once

#include <string_view>

namespace veska {

// One row of the display scales: the count limit of the display and the gauge and bar
// values derived from it. Looked up by its text code ("4", "34", "6", "10", "1", "13").
struct ScaleSet {
    std::string_view code;
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
    int countsPerNeedleStep() const { return code == "13" ? 1 : 10; }
};

// The row of 'code'; nullptr for an unknown code.
const ScaleSet* findScaleSet(std::string_view code);

// The scale the reading cycle selects for a unit text ("Hz" -> "10", "%" -> "1",
// "#"/"?" -> "13", anything else -> "6").
const ScaleSet& scaleSetForUnit(std::string_view unitText);

}  // namespace veska
