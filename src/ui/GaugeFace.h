#pragma once

#include "protocol/ScaleSet.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <QRect>
#include <QString>

#include <optional>
#include <string>
#include <utility>
#include <vector>
#include <string_view>

namespace veska {

// Everything the gauge face depends on. Two equal specs draw identical faces, so a
// face drawn once can be reused while these stay the same.
struct GaugeFaceSpec {
    ScaleCode scaleCode = ScaleCode::Count4000;
    int gaugeOffset = 0;        // needle position of a zero reading
    int countsPerNeedleStep = 10;  // display counts between two neighbouring dots
    int gaugeSpan = 0;
    float upperLimit = 0.0F;
    bool upperOn = false;
    float lowerLimit = 0.0F;
    bool lowerOn = false;
    QSize size;
    qreal pixelRatio = 1.0;  // device pixels per panel pixel: sharp on scaled screens

    bool operator==(const GaugeFaceSpec&) const = default;
};

// Draws the dial: white face, numbered labels, major marks and the arc of scale dots,
// red where a dot lies beyond a switched-on limit.
class GaugeFace {
public:
    // The face at spec.size panel pixels, drawn at spec.pixelRatio.
    static QImage draw(const GaugeFaceSpec& spec);
    // Each scale label with the box it is drawn in: beside its mark, moved inwards where
    // it would touch the panel's sunken edge, and off the dots where that put it on them.
    static std::vector<std::pair<QString, QRect>> labelBoxes(const GaugeFaceSpec& spec);
    // The pixels each scale dot covers; no label box meets one.
    static std::vector<QRect> dotBoxes(const GaugeFaceSpec& spec);

    // Whether scale dot j (0 .. 10 * gaugeSpan) is drawn red: exactly when a reading whose
    // needle stands at the dot would raise the alarm.
    static bool dotIsRed(const GaugeFaceSpec& spec, int j);
    // Colour of the major mark at label step 'step', or nothing when the step has none.
    static std::optional<QColor> majorMarkColor(ScaleCode scaleCode, int step);
};

}  // namespace veska
