#pragma once

#include <QAbstractScrollArea>

namespace veska {

class LcdSymbolDelegate;
class RecordGridModel;
class RecordTable;

// recordGrid: the read-only record grid under the LCD panel: a title row, a row indicator and
// the six columns with their widths, alignments and fonts (the Unit column in the LCD
// symbol font). It follows the table's newest row: each posted row becomes the current row
// and is scrolled into view. It paints only the rows in view and asks the model for nothing
// else, so a table of ten million rows shows as fast as one of ten (an item view's header
// would keep per-row state for every row).
class RecordGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 17;
    static constexpr int kIndicatorWidth = 11;
    static constexpr int kDefaultColumnWidth = 64;
    static constexpr int kTitleMargin = 1;
    // The title row's captions: the window's 11 px Arial, as "DC/AC" fits its 37 px column.
    static QFont titleFont();

    explicit RecordGrid(RecordTable& table, QWidget* parent = nullptr);

    RecordGridModel* gridModel() const { return m_model; }
    LcdSymbolDelegate* unitDelegate() const { return m_unitDelegate; }
    int columnWidth(int column) const;
    // Where a column's caption is drawn in the title row (viewport pixels, not scrolled).
    QRect titleTextRect(int column) const;

    int currentRow() const { return m_current; }  // -1 when the table is empty
    void setCurrentRow(int row);                 // clamps, and scrolls it into view
    int topRow() const;
    int visibleRows() const;                     // whole rows that fit under the title row
    bool isRowVisible(int row) const;
    // Makes the last row current and shows it.
    void showLastRow();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateScrollBars();
    int contentWidth() const;
    void paintTitleRow(QPainter& painter, int xOffset);
    void paintRow(QPainter& painter, int row, int y, int xOffset);

    RecordGridModel* m_model;
    LcdSymbolDelegate* m_unitDelegate;
    int m_current = -1;
};

}  // namespace veska
