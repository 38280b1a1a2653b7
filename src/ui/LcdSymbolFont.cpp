#include "ui/LcdSymbolFont.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <array>

namespace veska {

namespace {

// Proportions of the seven-segment glyphs, in cell heights.
constexpr qreal kDigitAdvance = 0.48;
constexpr qreal kGlyphLeft = 0.03;
constexpr qreal kGlyphWidth = 0.34;
constexpr qreal kGlyphTop = 0.16;
constexpr qreal kGlyphBottom = 0.93;
constexpr qreal kStroke = 0.095;
constexpr qreal kGap = 0.012;
constexpr qreal kSlant = 0.08;  // rightward lean of the top over the glyph height
constexpr qreal kMinusAdvance = 0.36;
constexpr qreal kMinusCentre = 0.465;
constexpr qreal kHoldAdvance = 1.0;
constexpr qreal kBatteryAdvance = 0.78;
constexpr qreal kBeeperAdvance = 0.85;
constexpr qreal kDiodeAdvance = 0.9;

// Segment bits: a top, b upper right, c lower right, d bottom, e lower left,
// f upper left, g middle.
enum Segment : unsigned { SegA = 1, SegB = 2, SegC = 4, SegD = 8, SegE = 16, SegF = 32, SegG = 64 };

unsigned segmentsOf(QChar c) {
    static constexpr std::array<unsigned, 10> kDigits{
        SegA | SegB | SegC | SegD | SegE | SegF,         SegB | SegC,
        SegA | SegB | SegD | SegE | SegG,                SegA | SegB | SegC | SegD | SegG,
        SegB | SegC | SegF | SegG,                       SegA | SegC | SegD | SegF | SegG,
        SegA | SegC | SegD | SegE | SegF | SegG,         SegA | SegB | SegC,
        SegA | SegB | SegC | SegD | SegE | SegF | SegG,  SegA | SegB | SegC | SegD | SegF | SegG,
    };
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) return kDigits[static_cast<std::size_t>(c.unicode() - '0')];
    if (c == QLatin1Char('@')) return SegD | SegE | SegF;
    return 0;
}

enum class Kind { Segments, Minus, Hold, Battery, Beeper, Diode, Text };

Kind kindOf(QChar c) {
    if (segmentsOf(c) != 0) return Kind::Segments;
    switch (c.unicode()) {
    case '-': return Kind::Minus;
    case '"': return Kind::Hold;
    case '$': return Kind::Battery;
    case '&': return Kind::Beeper;
    case ')': return Kind::Diode;
    default: return Kind::Text;
    }
}

qreal advanceOf(Kind kind, qreal height) {
    switch (kind) {
    case Kind::Segments: return kDigitAdvance * height;
    case Kind::Minus: return kMinusAdvance * height;
    case Kind::Hold: return kHoldAdvance * height;
    case Kind::Battery: return kBatteryAdvance * height;
    case Kind::Beeper: return kBeeperAdvance * height;
    case Kind::Diode: return kDiodeAdvance * height;
    case Kind::Text: break;
    }
    return 0.0;
}

QString textOf(QChar c) {
    switch (c.unicode()) {
    case '+': return QString(QChar(0x00B5));
    case '*': return QString(QChar(0x03A9));
    case '#': return QStringLiteral("\u00B0C");
    case '?': return QStringLiteral("\u00B0F");
    default: return QString(c);
    }
}

// A segment bar between two points along one axis, with pointed ends.
QPolygonF horizontalBar(qreal x1, qreal x2, qreal y, qreal t) {
    return QPolygonF({QPointF(x1, y), QPointF(x1 + t / 2, y - t / 2), QPointF(x2 - t / 2, y - t / 2), QPointF(x2, y),
                      QPointF(x2 - t / 2, y + t / 2), QPointF(x1 + t / 2, y + t / 2)});
}

QPolygonF verticalBar(qreal x, qreal y1, qreal y2, qreal t) {
    return QPolygonF({QPointF(x, y1), QPointF(x + t / 2, y1 + t / 2), QPointF(x + t / 2, y2 - t / 2), QPointF(x, y2),
                      QPointF(x - t / 2, y2 - t / 2), QPointF(x - t / 2, y1 + t / 2)});
}

void drawSegments(QPainter& p, QPointF cell, unsigned segments, qreal height) {
    const qreal t = kStroke * height;
    const qreal gap = kGap * height;
    const qreal left = cell.x() + kGlyphLeft * height;
    const qreal top = cell.y() + kGlyphTop * height;
    const qreal bottom = cell.y() + kGlyphBottom * height;
    const qreal right = left + kGlyphWidth * height;
    const qreal mid = (top + bottom) / 2;
    const qreal xl = left + t / 2;
    const qreal xr = right - t / 2;
    const qreal yt = top + t / 2;
    const qreal yb = bottom - t / 2;

    QPainterPath path;
    auto add = [&](unsigned bit, const QPolygonF& bar) {
        if ((segments & bit) != 0) path.addPolygon(bar);
    };
    add(SegA, horizontalBar(xl + gap, xr - gap, yt, t));
    add(SegG, horizontalBar(xl + gap, xr - gap, mid, t));
    add(SegD, horizontalBar(xl + gap, xr - gap, yb, t));
    add(SegF, verticalBar(xl, yt + gap, mid - gap, t));
    add(SegB, verticalBar(xr, yt + gap, mid - gap, t));
    add(SegE, verticalBar(xl, mid + gap, yb - gap, t));
    add(SegC, verticalBar(xr, mid + gap, yb - gap, t));
    path.setFillRule(Qt::WindingFill);

    // Lean the glyph like the meter's digits: the higher, the further right.
    QTransform lean(1, 0, -kSlant, 1, kSlant * bottom, 0);
    p.fillPath(lean.map(path), p.pen().color());
}

void drawMinus(QPainter& p, QPointF cell, qreal height) {
    const qreal t = kStroke * height;
    QPainterPath path;
    path.addPolygon(horizontalBar(cell.x() + 0.05 * height, cell.x() + 0.33 * height, cell.y() + kMinusCentre * height, t));
    p.fillPath(path, p.pen().color());
}

QPen outlinePen(const QPainter& p, qreal height) {
    QPen pen(p.pen().color(), qMax<qreal>(1.0, 0.06 * height));
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

void drawHold(QPainter& p, QPointF cell, qreal height) {
    // Narrow enough to stay clear of the first digit beside it on the panel.
    const QRectF box(cell.x() + 0.05 * height, cell.y() + 0.28 * height, 0.88 * height, 0.44 * height);
    p.save();
    p.setPen(outlinePen(p, height));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box, 0.1 * height, 0.1 * height);
    QFont font = LcdSymbolFont::letterFont(0.36 * height, true);
    p.setFont(font);
    p.setPen(outlinePen(p, height).color());
    p.drawText(box, Qt::AlignCenter, QStringLiteral("HOLD"));
    p.restore();
}

void drawBattery(QPainter& p, QPointF cell, qreal height) {
    const qreal x = cell.x();
    const qreal y = cell.y();
    const QRectF body(x + 0.08 * height, y + 0.34 * height, 0.54 * height, 0.32 * height);
    p.save();
    p.setPen(outlinePen(p, height));
    p.setBrush(Qt::NoBrush);
    p.drawRect(body);
    p.fillRect(QRectF(body.right(), y + 0.43 * height, 0.08 * height, 0.14 * height), p.pen().color());
    // Minus at the bottom end, plus at the cap.
    const qreal bar = 0.12 * height;
    const qreal cy = body.center().y();
    const qreal stroke = qMax<qreal>(1.0, 0.045 * height);
    p.fillRect(QRectF(body.left() + 0.07 * height, cy - stroke / 2, bar, stroke), p.pen().color());
    const qreal px = body.right() - 0.07 * height - bar;
    p.fillRect(QRectF(px, cy - stroke / 2, bar, stroke), p.pen().color());
    p.fillRect(QRectF(px + bar / 2 - stroke / 2, cy - bar / 2, stroke, bar), p.pen().color());
    p.restore();
}

void drawBeeper(QPainter& p, QPointF cell, qreal height) {
    const qreal x = cell.x();
    const qreal y = cell.y();
    const QColor color = p.pen().color();
    QPainterPath speaker;
    speaker.addRect(QRectF(x + 0.08 * height, y + 0.42 * height, 0.13 * height, 0.2 * height));
    speaker.addPolygon(QPolygonF({QPointF(x + 0.21 * height, y + 0.42 * height), QPointF(x + 0.4 * height, y + 0.27 * height),
                                  QPointF(x + 0.4 * height, y + 0.77 * height), QPointF(x + 0.21 * height, y + 0.62 * height)}));
    speaker.setFillRule(Qt::WindingFill);
    p.save();
    p.fillPath(speaker, color);
    QPen wave(color, qMax<qreal>(1.0, 0.055 * height));
    wave.setCapStyle(Qt::RoundCap);
    p.setPen(wave);
    p.setBrush(Qt::NoBrush);
    const QPointF centre(x + 0.36 * height, y + 0.52 * height);
    for (const qreal r : {0.16, 0.28, 0.4}) {
        const qreal radius = r * height;
        p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), -40 * 16, 80 * 16);
    }
    p.restore();
}

void drawDiode(QPainter& p, QPointF cell, qreal height) {
    const qreal x = cell.x();
    const qreal y = cell.y();
    const qreal cy = y + 0.55 * height;
    const QColor color = p.pen().color();
    const qreal stroke = qMax<qreal>(1.0, 0.06 * height);
    QPainterPath arrow;
    arrow.addPolygon(QPolygonF({QPointF(x + 0.3 * height, y + 0.33 * height), QPointF(x + 0.3 * height, y + 0.77 * height),
                                QPointF(x + 0.6 * height, cy)}));
    p.save();
    p.fillPath(arrow, color);
    p.fillRect(QRectF(x + 0.05 * height, cy - stroke / 2, 0.8 * height, stroke), color);
    p.fillRect(QRectF(x + 0.6 * height, y + 0.33 * height, stroke, 0.44 * height), color);
    p.restore();
}

void drawSymbol(QPainter& p, Kind kind, QChar c, QPointF cell, qreal height) {
    switch (kind) {
    case Kind::Segments: drawSegments(p, cell, segmentsOf(c), height); break;
    case Kind::Minus: drawMinus(p, cell, height); break;
    case Kind::Hold: drawHold(p, cell, height); break;
    case Kind::Battery: drawBattery(p, cell, height); break;
    case Kind::Beeper: drawBeeper(p, cell, height); break;
    case Kind::Diode: drawDiode(p, cell, height); break;
    case Kind::Text: break;
    }
}

// Calls 'text' for each run of plain characters and 'symbol' for each drawn symbol,
// in order.
template <typename TextFn, typename SymbolFn>
void forEachRun(const QString& symbols, TextFn text, SymbolFn symbol) {
    QString run;
    for (const QChar c : symbols) {
        const Kind kind = kindOf(c);
        if (kind == Kind::Text) {
            run += textOf(c);
            continue;
        }
        if (!run.isEmpty()) text(run);
        run.clear();
        symbol(kind, c);
    }
    if (!run.isEmpty()) text(run);
}

}  // namespace

QFont LcdSymbolFont::letterFont(qreal height, bool bold) {
    // The cell of a sans font is about 1.15 em high.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(qMax(1, qRound(height / 1.15)));
    font.setBold(bold);
    return font;
}

qreal LcdSymbolFont::textWidth(const QString& symbols, qreal height, bool bold) {
    const QFontMetricsF metrics(letterFont(height, bold));
    qreal width = 0.0;
    forEachRun(
        symbols, [&](const QString& run) { width += metrics.horizontalAdvance(run); },
        [&](Kind kind, QChar) { width += advanceOf(kind, height); });
    return width;
}

void LcdSymbolFont::drawText(QPainter& painter, QPointF topLeft, const QString& symbols, qreal height, bool bold) {
    const QFont font = letterFont(height, bold);
    const QFontMetricsF metrics(font);
    // Centre the letters' cell in the symbol cell.
    const qreal baseline = topLeft.y() + (height - metrics.height()) / 2 + metrics.ascent();
    qreal x = topLeft.x();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font);
    forEachRun(
        symbols,
        [&](const QString& run) {
            painter.drawText(QPointF(x, baseline), run);
            x += metrics.horizontalAdvance(run);
        },
        [&](Kind kind, QChar c) {
            drawSymbol(painter, kind, c, QPointF(x, topLeft.y()), height);
            x += advanceOf(kind, height);
        });
    painter.restore();
}

QString LcdSymbolFont::symbolsForUnit(const QString& unitText) {
    // Unit texts spell micro with a leading "u"; the font's micro is "+".
    QString symbols = unitText;
    if (symbols.startsWith(QLatin1Char('u'))) symbols[0] = QLatin1Char('+');
    return symbols;
}

QString LcdSymbolFont::humanText(const QString& unitText) {
    QString human;
    for (const QChar c : symbolsForUnit(unitText)) human += textOf(c);
    return human;
}

}  // namespace veska
