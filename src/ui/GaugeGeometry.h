#pragma once

#include "protocol/ScaleSet.h"

#include <QPoint>

#include <span>
#include <string_view>

namespace veska {

// One numbered label of a gauge scale: drawn at label step 'step' with its top-left
// corner moved by (-dx, -dy) from the label point.
struct GaugeLabel {
    int step;
    const char* text;
    int dx;
    int dy;
};

// The two ends of the needle line.
struct NeedleEnds {
    QPoint tip;
    QPoint base;
};

// Geometry of the gauge arc for a panel of W x H pixels. The arc's chord, sagitta,
// radius and angles are kept in single precision, as the dial has always been drawn;
// every coordinate is rounded half to even, so the pixels do not drift.
struct GaugeGeometry {
    float w = 0.0F;  // chord of the arc
    float h = 0.0F;  // height of the arc above its chord
    float R = 0.0F;  // radius of the circle through the chord ends
    float A = 0.0F;  // angle of the arc, degrees
    float B = 0.0F;  // angle of the arc's left end, degrees

    static GaugeGeometry forPanel(int width, int height);

    // Angle in radians of scale position t (0 = left end, 1 = right end).
    double angleAt(double t) const;
    // The point at distance r from the arc's centre at angle phi.
    QPoint pointAt(float r, double phi) const;
    // Needle for a needle position of a scale with 'gaugeSpan' label steps
    // (0 = left end, 10 * gaugeSpan = right end; values outside run past the ends).
    NeedleEnds needleAt(int position, int gaugeSpan) const;

    static int roundHalfEven(float value);
    // The scale's numbered labels for a scale code; empty for an unknown code.
    static std::span<const GaugeLabel> labelsFor(ScaleCode scaleCode);
};

}  // namespace veska
