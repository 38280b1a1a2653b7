#include "ui/LcdLabel.h"

#include "ui/LcdSymbolFont.h"

#include <QPainter>

#include <cmath>

namespace veska {

LcdLabel::LcdLabel(const QString& symbols, int pixelHeight, bool bold, QWidget* parent)
    : QWidget(parent), m_text(symbols), m_height(pixelHeight), m_bold(bold) {
    resize(sizeHint());
}

void LcdLabel::setText(const QString& symbols) {
    if (symbols == m_text) return;
    m_text = symbols;
    resize(sizeHint());
    update();
}

void LcdLabel::setUnitText(const QString& unitText) {
    setText(LcdSymbolFont::symbolsForUnit(unitText));
    setToolTip(LcdSymbolFont::humanText(unitText));
}

QSize LcdLabel::sizeHint() const {
    const qreal width = LcdSymbolFont::textWidth(m_text, m_height, m_bold);
    return {static_cast<int>(std::ceil(width)) + 1, m_height};
}

void LcdLabel::paintEvent(QPaintEvent*) {
    if (m_text.isEmpty()) return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    LcdSymbolFont::drawText(painter, QPointF(0, 0), m_text, m_height, m_bold);
}

}  // namespace veska
