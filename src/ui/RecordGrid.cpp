#include "ui/RecordGrid.h"
#include "ui/ArialFont.h"

#include "ui/RecordGridModel.h"

#include "ui/LcdSymbolDelegate.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>

namespace veska {

RecordGrid::RecordGrid(RecordTable& table, QWidget* parent)
    : QAbstractScrollArea(parent),
      m_model(new RecordGridModel(table, this)),
      m_unitDelegate(new LcdSymbolDelegate(this, 12, Qt::AlignRight | Qt::AlignVCenter)) {
    setObjectName(QStringLiteral("recordGrid"));
    setFocusPolicy(Qt::StrongFocus);
    setFont(ArialFont::px(12));
    QPalette pal = palette();
    pal.setColor(QPalette::Base, QColor(192, 192, 192));
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(pal);
    viewport()->setBackgroundRole(QPalette::Base);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] { showLastRow(); });
    // A table opened in place of another starts at its first row.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_current = m_model->rowCount() > 0 ? 0 : -1;
        updateScrollBars();
        verticalScrollBar()->setValue(0);
        viewport()->update();
    });
    m_current = m_model->rowCount() > 0 ? 0 : -1;
    updateScrollBars();
}

int RecordGrid::columnWidth(int column) const {
    const int width = RecordGridModel::columns()[std::size_t(column)].width;
    return width > 0 ? width : kDefaultColumnWidth;
}

int RecordGrid::contentWidth() const {
    int width = kIndicatorWidth;
    for (int c = 0; c < m_model->columnCount(); ++c) width += columnWidth(c) + 1;
    return width;
}

int RecordGrid::visibleRows() const { return std::max(1, (viewport()->height() - kRowHeight) / kRowHeight); }

int RecordGrid::topRow() const { return verticalScrollBar()->value(); }

bool RecordGrid::isRowVisible(int row) const { return row >= topRow() && row < topRow() + visibleRows(); }

void RecordGrid::updateScrollBars() {
    const int rows = m_model->rowCount();
    verticalScrollBar()->setRange(0, std::max(0, rows - visibleRows()));
    verticalScrollBar()->setPageStep(visibleRows());
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, contentWidth() - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void RecordGrid::setCurrentRow(int row) {
    const int rows = m_model->rowCount();
    m_current = rows == 0 ? -1 : std::clamp(row, 0, rows - 1);
    if (m_current >= 0 && !isRowVisible(m_current)) {
        const int top = m_current < topRow() ? m_current : m_current - visibleRows() + 1;
        verticalScrollBar()->setValue(top);
    }
    viewport()->update();
}

void RecordGrid::showLastRow() {
    updateScrollBars();
    setCurrentRow(m_model->rowCount() - 1);
}

void RecordGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void RecordGrid::scrollContentsBy(int, int) { viewport()->update(); }

void RecordGrid::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up: setCurrentRow(m_current - 1); break;
    case Qt::Key_Down: setCurrentRow(m_current + 1); break;
    case Qt::Key_PageUp: setCurrentRow(m_current - visibleRows()); break;
    case Qt::Key_PageDown: setCurrentRow(m_current + visibleRows()); break;
    case Qt::Key_Home: setCurrentRow(0); break;
    case Qt::Key_End: setCurrentRow(m_model->rowCount() - 1); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
}

void RecordGrid::mousePressEvent(QMouseEvent* event) {
    const int y = event->position().toPoint().y() - kRowHeight;
    if (y >= 0) {
        const int row = topRow() + y / kRowHeight;
        if (row < m_model->rowCount()) setCurrentRow(row);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void RecordGrid::paintTitleRow(QPainter& painter, int xOffset) {
    QStyleOptionHeader header;
    header.initFrom(this);
    header.state |= QStyle::State_Raised;
    header.rect = QRect(0, 0, kIndicatorWidth, kRowHeight);
    painter.save();
    style()->drawControl(QStyle::CE_Header, &header, &painter, this);
    // The style's header leaves an empty clip region behind on a painter that had none.
    painter.setClipping(false);
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.setFont(titleFont());
    for (int c = 0; c < m_model->columnCount(); ++c) {
        header.rect = QRect(titleTextRect(c).x() - kTitleMargin - xOffset, 0, columnWidth(c) + 1, kRowHeight);
        header.section = c;
        // The section is the style's; the caption is drawn with a narrow margin of its own,
        // as the style's wide one cut "DC/AC" off in its 37 px column.
        style()->drawControl(QStyle::CE_HeaderSection, &header, &painter, this);
        painter.drawText(titleTextRect(c).translated(-xOffset, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         m_model->headerData(c, Qt::Horizontal).toString());
    }
    painter.restore();
}

QFont RecordGrid::titleFont() { return ArialFont::px(11); }

QRect RecordGrid::titleTextRect(int column) const {
    int x = kIndicatorWidth;
    for (int c = 0; c < column; ++c) x += columnWidth(c) + 1;
    return QRect(x + kTitleMargin, 0, columnWidth(column) + 1 - 2 * kTitleMargin, kRowHeight);
}

void RecordGrid::paintRow(QPainter& painter, int row, int y, int xOffset) {
    const bool current = row == m_current;
    // Row indicator: a small triangle at the current row.
    QStyleOptionHeader header;
    header.initFrom(this);
    header.rect = QRect(0, y, kIndicatorWidth, kRowHeight);
    style()->drawControl(QStyle::CE_HeaderSection, &header, &painter, this);
    if (current) {
        QPainterPath arrow;
        const int cy = y + kRowHeight / 2;
        arrow.moveTo(3, cy - 4);
        arrow.lineTo(8, cy);
        arrow.lineTo(3, cy + 4);
        arrow.closeSubpath();
        painter.fillPath(arrow, Qt::black);
    }
    int x = kIndicatorWidth - xOffset;
    for (int c = 0; c < m_model->columnCount(); ++c) {
        const QModelIndex index = m_model->index(row, c);
        QStyleOptionViewItem option;
        option.initFrom(this);
        option.widget = this;
        option.rect = QRect(x, y, columnWidth(c), kRowHeight);
        option.font = m_model->data(index, Qt::FontRole).value<QFont>();
        option.displayAlignment = m_model->data(index, Qt::TextAlignmentRole).value<Qt::Alignment>();
        option.state = QStyle::State_Enabled | (current ? QStyle::State_Selected : QStyle::State_None);
        if (current) painter.fillRect(option.rect, palette().highlight());
        if (c == 4) {
            m_unitDelegate->paint(&painter, option, index);
        } else {
            painter.setFont(option.font);
            painter.setPen(palette().color(current ? QPalette::HighlightedText : QPalette::Text));
            painter.drawText(option.rect.adjusted(2, 0, -2, 0), int(option.displayAlignment),
                             m_model->data(index).toString());
        }
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(x + columnWidth(c), y, x + columnWidth(c), y + kRowHeight - 1);
        painter.drawLine(x, y + kRowHeight - 1, x + columnWidth(c), y + kRowHeight - 1);
        x += columnWidth(c) + 1;
    }
}

void RecordGrid::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().base());
    const int xOffset = horizontalScrollBar()->value();
    const int rows = m_model->rowCount();
    const int last = std::min(rows, topRow() + visibleRows() + 1);
    int y = kRowHeight;
    for (int row = topRow(); row < last; ++row, y += kRowHeight) paintRow(painter, row, y, xOffset);
    paintTitleRow(painter, xOffset);
}

}  // namespace veska
