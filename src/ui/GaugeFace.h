#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

#include <optional>
#include <string>
#include <string_view>

namespace veska {

// Everything the gauge face depends on. Two equal specs draw identical faces, so a
// face drawn once can be reused while these stay the same.
struct GaugeFaceSpec {
    std::string scaleCode;
    int gaugeOffset = 0;        // needle position of a zero reading
    int countsPerNeedleStep = 10;  // display counts between two neighbouring dots
    int gaugeSpan = 0;
    float upperLimit = 0.0F;
    bool upperOn = false;
    float lowerLimit = 0.0F;
    bool lowerOn = false;
    QSize size;

    bool operator==(const GaugeFaceSpec&) const = default;
};

// Draws the dial: white face, numbered labels, major marks and the arc of scale dots,
// red where a dot lies beyond a switched-on limit.
class GaugeFace {
public:
    static QImage draw(const GaugeFaceSpec& spec);

    // Whether scale dot j (0 .. 10 * gaugeSpan) is drawn red: exactly when a reading whose
    // needle stands at the dot would raise the alarm.
    static bool dotIsRed(const GaugeFaceSpec& spec, int j);
    // Colour of the major mark at label step 'step', or nothing when the step has none.
    static std::optional<QColor> majorMarkColor(std::string_view scaleCode, int step);
};

}  // namespace veska
