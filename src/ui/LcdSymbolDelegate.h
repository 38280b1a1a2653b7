#pragma once

#include <QStyledItemDelegate>

namespace veska {

// Draws a unit column in the LCD symbol font, so that "k*" shows as kΩ and "#" as °C.
// The cell text stays the unit text; tooltips and displayText() give the readable form.
class LcdSymbolDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit LcdSymbolDelegate(QObject* parent = nullptr, int pixelHeight = 12,
                               Qt::Alignment alignment = Qt::AlignRight | Qt::AlignVCenter);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QString displayText(const QVariant& value, const QLocale& locale) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    int m_height;
    Qt::Alignment m_alignment;
};

}  // namespace veska
