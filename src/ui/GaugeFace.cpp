#include "ui/GaugeFace.h"

#include "ui/GaugeGeometry.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace veska {

namespace {

QFont labelFont() {
    // A small sans font of about 8 points: the label offsets were made for it.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    return font;
}

// Room kept between a label and the panel's edge: the 1 px frame and a pixel of air.
constexpr int kEdgeRoom = 2;

// The pixels a dot drawn by drawDot covers: a 2 x 2 ellipse stroked with the pen.
QRect dotInk(QPoint p, int penWidth) {
    const int half = (penWidth + 1) / 2;
    return QRect(p, QSize(3, 3)).adjusted(-half, -half, half, half);
}

// A label the edge clamp pushed onto the dots (a wide end label such as "-1000") moves up or
// down, the nearest way out, so the scale never covers its text.
QRect keepOffTheDots(const QRect& box, const QRect& room, const std::vector<QRect>& dots) {
    const auto hitsDots = [&dots](const QRect& b) {
        return std::any_of(dots.begin(), dots.end(), [&b](const QRect& d) { return b.intersects(d); });
    };
    if (!hitsDots(box)) return box;
    for (int dy = 1; dy <= room.height(); ++dy) {
        for (const int step : {dy, -dy}) {
            const QRect moved = box.translated(0, step);
            if (room.contains(moved) && !hitsDots(moved)) return moved;
        }
    }
    return box;
}

void drawDot(QPainter& painter, QPoint p, const QColor& color, int penWidth) {
    painter.setPen(QPen(color, penWidth));
    painter.drawEllipse(QRect(p, QSize(2, 2)));
}

}  // namespace

std::optional<QColor> GaugeFace::majorMarkColor(ScaleCode scaleCode, int step) {
    const QColor red(255, 0, 0);
    if (scaleCode == ScaleCode::Count6000 && step % 15 == 0) return red;
    if (scaleCode == ScaleCode::Count3400 && step % 10 == 4) return red;
    // The 4000-count dial's marks used to vanish white on white; they are shown like
    // the other dials' marks.
    if (scaleCode == ScaleCode::Count4000 && step % 10 == 0) return red;
    return std::nullopt;
}

bool GaugeFace::dotIsRed(const GaugeFaceSpec& spec, int j) {
    // The reading at a dot, from the scale's own zero and step (the dial of a 1000-count
    // scale has its zero at 1000, not at a tenth of its count).
    const double mark = static_cast<double>(j - spec.gaugeOffset) * spec.countsPerNeedleStep;
    if (spec.upperOn && mark > static_cast<double>(spec.upperLimit)) return true;
    return spec.lowerOn && mark < static_cast<double>(spec.lowerLimit);
}

std::vector<std::pair<QString, QRect>> GaugeFace::labelBoxes(const GaugeFaceSpec& spec) {
    std::vector<std::pair<QString, QRect>> boxes;
    if (spec.gaugeSpan <= 0 || spec.size.isEmpty()) return boxes;
    const GaugeGeometry g = GaugeGeometry::forPanel(spec.size.width(), spec.size.height());
    const QFontMetrics metrics(labelFont());
    const QRect room = QRect(QPoint(0, 0), spec.size).adjusted(kEdgeRoom, kEdgeRoom, -kEdgeRoom, -kEdgeRoom);
    const std::vector<QRect> dots = dotBoxes(spec);
    for (const GaugeLabel& label : GaugeGeometry::labelsFor(spec.scaleCode)) {
        const double phi = g.angleAt(static_cast<double>(label.step) / spec.gaugeSpan);
        const QPoint at = g.pointAt(g.R + 18.0F, phi);
        const QString text = QString::fromLatin1(label.text);
        // The ink of the text, not only its advance: a minus sign or a digit's side bearing
        // must not end up under the frame.
        const QRect ink = metrics.boundingRect(text);
        QRect box(at - QPoint(label.dx, label.dy),
                  QSize(std::max(metrics.horizontalAdvance(text), ink.right() + 1), metrics.height()));
        if (box.left() < room.left()) box.moveLeft(room.left());
        if (box.right() > room.right()) box.moveRight(room.right());
        if (box.top() < room.top()) box.moveTop(room.top());
        if (box.bottom() > room.bottom()) box.moveBottom(room.bottom());
        boxes.emplace_back(text, keepOffTheDots(box, room, dots));
    }
    return boxes;
}

std::vector<QRect> GaugeFace::dotBoxes(const GaugeFaceSpec& spec) {
    std::vector<QRect> boxes;
    if (spec.gaugeSpan <= 0 || spec.size.isEmpty()) return boxes;
    const GaugeGeometry g = GaugeGeometry::forPanel(spec.size.width(), spec.size.height());
    const int dots = 10 * spec.gaugeSpan;
    for (int j = 0; j <= dots; ++j) boxes.push_back(dotInk(g.pointAt(g.R + 3.0F, g.angleAt(static_cast<double>(j) / dots)), 4));
    return boxes;
}

QImage GaugeFace::draw(const GaugeFaceSpec& spec) {
    const qreal ratio = spec.pixelRatio > 0 ? spec.pixelRatio : 1.0;
    QImage image((QSizeF(spec.size) * ratio).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    if (spec.gaugeSpan <= 0 || spec.size.isEmpty()) return image;

    const GaugeGeometry g = GaugeGeometry::forPanel(spec.size.width(), spec.size.height());
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(labelFont());
    for (const auto& [text, box] : labelBoxes(spec)) {
        painter.fillRect(box, Qt::white);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
    }
    for (int i = 0; i <= spec.gaugeSpan; ++i) {
        const double phi = g.angleAt(static_cast<double>(i) / spec.gaugeSpan);
        if (const auto color = majorMarkColor(spec.scaleCode, i)) drawDot(painter, g.pointAt(g.R + 6.0F, phi), *color, 2);
    }
    const int dots = 10 * spec.gaugeSpan;
    const QColor red(255, 0, 0);
    const QColor black(0, 0, 0);
    for (int j = 0; j <= dots; ++j) {
        const double phi = g.angleAt(static_cast<double>(j) / dots);
        drawDot(painter, g.pointAt(g.R + 3.0F, phi), dotIsRed(spec, j) ? red : black, 4);
    }
    return image;
}

}  // namespace veska
