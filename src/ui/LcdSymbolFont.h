#pragma once

#include <QFont>
#include <QPointF>
#include <QString>

class QPainter;

namespace veska {

// The meter's LCD symbol font, drawn rather than installed. Plain characters show as
// the meter's symbols: digits and "@" (the letter L) as seven-segment glyphs, "-" as
// the minus bar, '"' the HOLD mark, "$" low battery, "&" the beeper, ")" the diode,
// "+" micro, "*" ohm, "#" degrees Celsius, "?" degrees Fahrenheit; letters and "%" stay
// themselves. Heights are character cell heights in pixels.
class LcdSymbolFont {
public:
    // Draws 'symbols' with the top-left corner of its cell at 'topLeft', in the
    // painter's pen colour.
    static void drawText(QPainter& painter, QPointF topLeft, const QString& symbols, qreal height,
                         bool bold = false);
    static qreal textWidth(const QString& symbols, qreal height, bool bold = false);

    // A reading's unit text ("uA", "k*", "#") in the font's characters ("+A", "k*", "#").
    static QString symbolsForUnit(const QString& unitText);
    // A reading's unit text as a person reads it: "k*" -> "kΩ", "uA" -> "µA",
    // "#" -> "°C", "?" -> "°F". For reports, tooltips and anything selectable.
    static QString humanText(const QString& unitText);

    // The plain font used for the letters of the symbol font at a cell height.
    static QFont letterFont(qreal height, bool bold);
};

}  // namespace veska
