#include "ui/GaugeGeometry.h"

#include <array>
#include <cmath>

namespace veska {

namespace {

// The arc angle is converted with this shortened constant; the labels were placed
// against the arc it gives, so it stays.
constexpr double kArcPi = 3.1415;
constexpr double kPi = 3.14159265358979;

constexpr std::array<GaugeLabel, 9> kLabels4{{{0, "-40", 5, 7},
                                              {10, "-30", 8, 6},
                                              {20, "-20", 10, 5},
                                              {30, "-10", 10, 4},
                                              {40, "0", 3, 4},
                                              {50, "10", 5, 5},
                                              {60, "20", 8, 5},
                                              {70, "30", 10, 6},
                                              {80, "40", 12, 7}}};
constexpr std::array<GaugeLabel, 7> kLabels34{{{4, "-30", 8, 6},
                                               {14, "-20", 10, 5},
                                               {24, "-10", 10, 4},
                                               {34, "0", 3, 4},
                                               {44, "10", 5, 5},
                                               {54, "20", 8, 5},
                                               {64, "30", 10, 6}}};
constexpr std::array<GaugeLabel, 9> kLabels6{{{0, "-60", 5, 7},
                                              {15, "-45", 8, 6},
                                              {30, "-30", 10, 5},
                                              {45, "-15", 10, 4},
                                              {60, "0", 3, 4},
                                              {75, "15", 5, 5},
                                              {90, "30", 8, 5},
                                              {105, "45", 10, 6},
                                              {120, "60", 11, 7}}};
constexpr std::array<GaugeLabel, 9> kLabels10{{{0, "-10", 1, 7},
                                               {25, "-7.5", 8, 6},
                                               {50, "-5.0", 10, 5},
                                               {75, "-2.5", 10, 4},
                                               {100, "0", 3, 4},
                                               {125, "2.5", 5, 5},
                                               {150, "5.0", 8, 5},
                                               {175, "7.5", 10, 6},
                                               {200, "10", 10, 2}}};
constexpr std::array<GaugeLabel, 5> kLabels1{
    {{0, "-100", 5, 7}, {5, "-50", 10, 5}, {10, "0", 3, 4}, {15, "50", 8, 5}, {20, "100", 14, 2}}};
constexpr std::array<GaugeLabel, 9> kLabels13{{{0, "-1000", 10, 7},
                                               {25, "-750", 8, 6},
                                               {50, "-500", 10, 5},
                                               {75, "-250", 10, 4},
                                               {100, "0", 3, 4},
                                               {125, "250", 5, 5},
                                               {150, "500", 8, 5},
                                               {175, "750", 10, 6},
                                               {200, "1000", 18, 10}}};

}  // namespace

GaugeGeometry GaugeGeometry::forPanel(int width, int height) {
    GaugeGeometry g;
    g.w = static_cast<float>(width - 40);
    g.h = static_cast<float>(height - 60);
    g.R = (4.0F * g.h * g.h + g.w * g.w) / (8.0F * g.h);
    g.A = static_cast<float>(2.0 * std::atan((g.w / 2.0F) / (g.R - g.h)) * 180.0 / kArcPi);
    g.B = (180.0F - g.A) / 2.0F;
    return g;
}

double GaugeGeometry::angleAt(double t) const {
    return (static_cast<double>(A) * t + static_cast<double>(B)) * kPi / 180.0;
}

int GaugeGeometry::roundHalfEven(float value) {
    // The default floating-point rounding mode is to nearest, ties to even.
    return static_cast<int>(std::nearbyint(value));
}

QPoint GaugeGeometry::pointAt(float r, double phi) const {
    const double half = static_cast<double>(w) / 2.0;
    const auto x = static_cast<float>(half - r * std::cos(phi) + 20.0);
    const auto y = static_cast<float>(static_cast<double>(R) - r * std::sin(phi) + 30.0);
    return {roundHalfEven(x), roundHalfEven(y)};
}

NeedleEnds GaugeGeometry::needleAt(int position, int gaugeSpan) const {
    const double span = 10.0 * gaugeSpan;
    const double phi = (static_cast<double>(A) / span * position + static_cast<double>(B)) * kPi / 180.0;
    const double half = static_cast<double>(w) / 2.0;
    const double radius = R;
    NeedleEnds ends;
    ends.tip.setX(roundHalfEven(static_cast<float>(half - radius * std::cos(phi))) + 20);
    ends.tip.setY(roundHalfEven(static_cast<float>(radius - radius * std::sin(phi) + 4.0)) + 30);
    // The base lies on the same radius far below the arc's centre, so the visible
    // needle runs from the tip to the bottom edge.
    const double d = static_cast<double>(R - h) - 280.0;
    ends.base.setX(roundHalfEven(static_cast<float>(half - d * std::cos(phi) / std::sin(phi))) + 20);
    ends.base.setY(roundHalfEven(h + 280.0F) + 30);
    return ends;
}

std::span<const GaugeLabel> GaugeGeometry::labelsFor(ScaleCode scaleCode) {
    if (scaleCode == ScaleCode::Count4000) return kLabels4;
    if (scaleCode == ScaleCode::Count3400) return kLabels34;
    if (scaleCode == ScaleCode::Count6000) return kLabels6;
    if (scaleCode == ScaleCode::Frequency) return kLabels10;
    if (scaleCode == ScaleCode::Percent) return kLabels1;
    if (scaleCode == ScaleCode::Temperature) return kLabels13;
    return {};
}

}  // namespace veska
