#include "ui/LcdSymbolDelegate.h"

#include "ui/LcdSymbolFont.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <cmath>

namespace veska {

LcdSymbolDelegate::LcdSymbolDelegate(QObject* parent, int pixelHeight, Qt::Alignment alignment)
    : QStyledItemDelegate(parent), m_height(pixelHeight), m_alignment(alignment) {}

void LcdSymbolDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString symbols = LcdSymbolFont::symbolsForUnit(index.data(Qt::DisplayRole).toString());
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    if (symbols.isEmpty()) return;

    // A unit cell holds nothing but its text: the whole cell less a small margin.
    const QRect area = opt.rect.adjusted(3, 0, -3, 0);
    const qreal width = LcdSymbolFont::textWidth(symbols, m_height);
    // The model's alignment wins; without one the column's own applies.
    const QVariant modelAlignment = index.data(Qt::TextAlignmentRole);
    const Qt::Alignment align = modelAlignment.isValid() ? opt.displayAlignment : m_alignment;
    qreal x = area.left();
    if (align & Qt::AlignRight) x = area.right() + 1 - width;
    else if (align & Qt::AlignHCenter) x = area.left() + (area.width() - width) / 2;
    const qreal y = area.top() + (area.height() - m_height) / 2.0;

    const bool selected = (opt.state & QStyle::State_Selected) != 0;
    painter->save();
    painter->setClipRect(opt.rect);
    painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    LcdSymbolFont::drawText(*painter, QPointF(x, y), symbols, m_height);
    painter->restore();
}

QSize LcdSymbolDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QString symbols = LcdSymbolFont::symbolsForUnit(index.data(Qt::DisplayRole).toString());
    const QSize base = QStyledItemDelegate::sizeHint(option, index);
    const int width = static_cast<int>(std::ceil(LcdSymbolFont::textWidth(symbols, m_height))) + 6;
    return {width, qMax(base.height(), m_height + 4)};
}

QString LcdSymbolDelegate::displayText(const QVariant& value, const QLocale&) const {
    return LcdSymbolFont::humanText(value.toString());
}

bool LcdSymbolDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) {
    if (event != nullptr && event->type() == QEvent::ToolTip && index.isValid()) {
        const QString human = LcdSymbolFont::humanText(index.data(Qt::DisplayRole).toString());
        if (!human.isEmpty()) {
            QToolTip::showText(event->globalPos(), human, view);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

}  // namespace veska
