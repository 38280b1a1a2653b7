#include "protocol/ScaleSet.h"

#include <array>

namespace veska {

namespace {
// "4" and "34" are chosen only at start-up, which leaves the bar maximum alone; 60 is
// the bar's own initial maximum.
constexpr std::array<ScaleSet, 6> kScaleSets{{
    {ScaleCode::Count4000, "4", 4000, 400, 40, 80, 60},
    {ScaleCode::Count3400, "34", 3400, 340, 34, 68, 60},
    {ScaleCode::Count6000, "6", 6000, 600, 60, 120, 60},
    {ScaleCode::Frequency, "10", 1000, 1000, 100, 200, 100},
    {ScaleCode::Percent, "1", 100, 100, 10, 20, 10},
    {ScaleCode::Temperature, "13", 1000, 1000, 100, 200, 100},
}};
}  // namespace

const ScaleSet& scaleSet(ScaleCode code) { return kScaleSets[static_cast<std::size_t>(code)]; }

const ScaleSet* findScaleSet(std::string_view meterCode) {
    for (const ScaleSet& s : kScaleSets) {
        if (s.meterCode == meterCode) return &s;
    }
    return nullptr;
}

const ScaleSet& scaleSetForUnit(std::string_view unitText) {
    if (unitText == "Hz" || unitText == "kHz" || unitText == "MHz") return scaleSet(ScaleCode::Frequency);
    if (unitText == "%") return scaleSet(ScaleCode::Percent);
    if (unitText == "#" || unitText == "?") return scaleSet(ScaleCode::Temperature);
    return scaleSet(ScaleCode::Count6000);
}

}  // namespace veska
