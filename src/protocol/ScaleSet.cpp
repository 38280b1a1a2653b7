#include "protocol/ScaleSet.h"

#include <array>

namespace veska {

namespace {
// "4" and "34" are chosen only at start-up, which leaves the bar maximum alone; 60 is
// the bar's own initial maximum.
constexpr std::array<ScaleSet, 6> kScaleSets{{
    {"4", 4000, 400, 40, 80, 60},
    {"34", 3400, 340, 34, 68, 60},
    {"6", 6000, 600, 60, 120, 60},
    {"10", 1000, 1000, 100, 200, 100},
    {"1", 100, 100, 10, 20, 10},
    {"13", 1000, 1000, 100, 200, 100},
}};
}  // namespace

const ScaleSet* findScaleSet(std::string_view code) {
    for (const ScaleSet& s : kScaleSets) {
        if (s.code == code) return &s;
    }
    return nullptr;
}

const ScaleSet& scaleSetForUnit(std::string_view unitText) {
    if (unitText == "Hz" || unitText == "kHz" || unitText == "MHz") return *findScaleSet("10");
    if (unitText == "%") return *findScaleSet("1");
    if (unitText == "#" || unitText == "?") return *findScaleSet("13");
    return *findScaleSet("6");
}

}  // namespace veska
