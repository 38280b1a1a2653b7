#include "ui/ChartGlyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace veska {

namespace {

constexpr int GlyphSize = 16;

QIcon drawIcon(const std::function<void(QPainter&)>& draw) {
    // Drawn again for scaled screens, so the glyphs stay sharp instead of being blown up.
    QIcon icon;
    for (const qreal ratio : {1.0, 1.25, 1.5, 2.0, 3.0}) {
        const int side = qRound(GlyphSize * ratio);
        QPixmap pixmap(side, side);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A filled triangle pointing left (-1) or right (+1), its tip at x.
void triangle(QPainter& p, double tipX, int direction) {
    QPainterPath path;
    path.moveTo(tipX, 8);
    path.lineTo(tipX - 6.0 * direction, 3);
    path.lineTo(tipX - 6.0 * direction, 13);
    path.closeSubpath();
    p.fillPath(path, QColor(0, 0, 128));
}

void bar(QPainter& p, double x) { p.fillRect(QRectF(x, 3, 2, 10), QColor(0, 0, 128)); }

// A frame with arrows out of (+1) or into (-1) two opposite corners.
void frameArrows(QPainter& p, int direction) {
    p.setPen(QPen(QColor(0, 0, 128), 1.5));
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
    const double inner = direction > 0 ? 6 : 3.5;
    const double outer = direction > 0 ? 3.5 : 6;
    p.drawLine(QPointF(inner, inner), QPointF(outer, outer));
    p.drawLine(QPointF(16 - inner, 16 - inner), QPointF(16 - outer, 16 - outer));
}

}  // namespace

QIcon ChartGlyphs::first() {
    return drawIcon([](QPainter& p) {
        bar(p, 3);
        triangle(p, 5, -1);
        triangle(p, 10, -1);
    });
}

QIcon ChartGlyphs::previous() {
    return drawIcon([](QPainter& p) { triangle(p, 5, -1); });
}

QIcon ChartGlyphs::next() {
    return drawIcon([](QPainter& p) { triangle(p, 11, 1); });
}

QIcon ChartGlyphs::last() {
    return drawIcon([](QPainter& p) {
        triangle(p, 6, 1);
        triangle(p, 11, 1);
        bar(p, 11);
    });
}

QIcon ChartGlyphs::newChart() {
    return drawIcon([](QPainter& p) {
        QPainterPath sheet;
        sheet.moveTo(3.5, 1.5);
        sheet.lineTo(9.5, 1.5);
        sheet.lineTo(12.5, 4.5);
        sheet.lineTo(12.5, 14.5);
        sheet.lineTo(3.5, 14.5);
        sheet.closeSubpath();
        p.fillPath(sheet, Qt::white);
        p.setPen(QPen(Qt::black, 1));
        p.drawPath(sheet);
    });
}

QIcon ChartGlyphs::save() {
    return drawIcon([](QPainter& p) {
        p.fillRect(QRectF(2, 2, 12, 12), QColor(0, 0, 128));
        p.fillRect(QRectF(4, 2, 8, 5), Qt::white);
        p.fillRect(QRectF(5, 10, 6, 4), QColor(192, 192, 192));
    });
}

QIcon ChartGlyphs::print() {
    return drawIcon([](QPainter& p) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));     // the sheet going in
        p.setBrush(QColor(128, 128, 128));
        p.drawRect(QRectF(1.5, 6.5, 13, 6));    // the printer's body
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10.5, 7, 4));    // the printed sheet
        p.fillRect(QRectF(12, 8, 1.5, 1.5), QColor(0, 160, 0));
    });
}

QIcon ChartGlyphs::enlarge() {
    return drawIcon([](QPainter& p) { frameArrows(p, 1); });
}

QIcon ChartGlyphs::restore() {
    return drawIcon([](QPainter& p) { frameArrows(p, -1); });
}

}  // namespace veska
