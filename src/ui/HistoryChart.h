#pragma once

#include "session/ChartHistory.h"

#include "protocol/LcdState.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QAbstractSeries;
class QAreaSeries;
class QChart;
class QChartView;
class QCheckBox;
class QLineEdit;
class QLineSeries;
class QToolButton;
class QValueAxis;

namespace veska {

class NumberFieldEditor;

// The history chart historyChart: a strip chart of every reading since the last reset, shown
// page by page, with its own tool bar inside (fill, points per page, new, save, page
// buttons, page number, enlarge/restore pictures). The points live in a ChartPointStore;
// the chart's series hold only the page on screen, replaced in one batch. The points, page
// and shown series live in a ChartHistory (the session's, or one of its own when it is
// used alone); the widget draws them and changes them on the user's commands.
class HistoryChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int AreaSeriesIndex = 0;  // Series2
    static constexpr int LineSeriesIndex = 1;  // Series1
    static constexpr int SampleValue = 0;      // the placeholder point of a reset
    static constexpr int InitialLeftAxisLimit = 4100;

    static QString pointLabel() { return QStringLiteral("paper"); }
    static QColor pointColor() { return QColor(0, 0, 255); }
    static QString pictureFileName() { return QStringLiteral("databmp.bmp"); }

    explicit HistoryChart(QWidget* parent = nullptr);
    HistoryChart(ChartHistory& history, QWidget* parent = nullptr);
    ~HistoryChart() override;

    // The value a packet adds: +-fullScaleCount for overload, else the signed digits.
    // Nothing when the digits are not decimal (a packet that passed the decode always is).
    static std::optional<int> chartValue(const LcdState& lcd, int fullScaleCount);

    // Start-up: one placeholder point in each series, in list order.
    void fillSampleValues();
    // Makes series 'index' the only active (shown) one.
    void showSeries(int index);
    void setLeftAxisMaximum(int value);
    void setLeftAxisMinimum(int value);

    // Adds a reading's point to the history and shows it; fullScaleCount is the scale
    // chosen for this packet. Returns false (and adds nothing) for digits that are not decimal.
    bool addChartPoint(const LcdState& lcd, int fullScaleCount);
    // The history changed behind the widget's back (the session added or restarted): show it.
    void showHistory();
    // Starts afresh with one placeholder point per series; page, page number and
    // following are kept. Same as restartChart.
    void resetChart();

    bool followLastPage() const { return m_history.followLastPage(); }
    void setFollowLastPage(bool follow) { m_history.setFollowLastPage(follow); }

    bool isFillChecked() const;
    bool isSeriesActive(int index) const;
    int page() const { return m_history.paging().page(); }
    int pageCount() const;
    int pointsPerPage() const { return m_history.paging().pointsPerPage(); }
    std::size_t pointCount(int series) const { return m_history.points().count(series); }
    int pointValue(int series, std::size_t index) const { return m_history.points().value(series, index); }
    double leftAxisMinimum() const;
    double leftAxisMaximum() const;
    // What the chart has on screen: the points of a series and the bottom scale.
    QList<QPointF> shownPoints(int series) const;
    ChartPaging::AxisRange bottomAxisRange() const;

    // Where BtSave writes databmp.bmp; the home directory unless set.
    void setPictureDirectory(const QString& directory) { m_pictureDirectory = directory; }
    QString picturePath() const;
    // Names the open record table at each save, so a picture path that leads to it (through
    // a link, say) is refused rather than written over the table or its recovery journal.
    void setOpenTableHook(std::function<QString()> hook) { m_openTable = std::move(hook); }
    // The picture BtSave writes: the chart drawn at its size on white.
    QImage renderPicture();

    // The enlarge/restore pictures: TbFd shown while normal, TbSx while enlarged.
    void setEnlarged(bool enlarged);

    // Controls of the tool bar, for the window's layout code and for tests.
    QCheckBox* fillBox() const { return m_btFill; }
    QLineEdit* pointsPerPageField() const { return m_pointsPerPageField; }
    QToolButton* restartButton() const { return m_btNew; }
    QToolButton* saveButton() const { return m_btSave; }
    QToolButton* firstPageButton() const { return m_btFirst; }
    QToolButton* previousPageButton() const { return m_btPrevious; }
    QToolButton* pageNumberButton() const { return m_pageNumberButton; }
    QToolButton* nextPageButton() const { return m_btNext; }
    QToolButton* lastPageButton() const { return m_btLast; }
    QToolButton* enlargeButton() const { return m_tbFd; }
    QToolButton* shrinkButton() const { return m_tbSx; }

public slots:
    void showFirstPage();
    void showPreviousPage();
    void showNextPage();
    void showLastPage();
    void restartChart() { resetChart(); }
    void saveChartPicture();
    void toggleFill();
    void onFillBoxClicked();
    void applyPointsPerPage(int perPage);

signals:
    // An information box for the window to show (modal there, captured in tests).
    void informationRequested(const QString& text);
    // An error box with the application's caption.
    void errorRequested(const QString& text);
    // The check mark the "Fill" menu item must show.
    void fillCheckedChanged(bool checked);
    // TbFd or TbSx was clicked: the window toggles the chart's size (toggleChartEnlarged).
    void enlargeClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void buildChart();
    void buildToolBar();
    QToolButton* makeButton(const QIcon& icon, const QString& hint, int x, int y);
    QAbstractSeries* qtSeries(int index) const;
    QLineSeries* pointSeries(int index) const;
    std::size_t activePointCount() const { return m_history.shownPointCount(); }
    void applySeriesVisibility();
    void setPageButtons(std::optional<bool> firstPrevious, std::optional<bool> nextLast);
    void showPageNumber();
    void refreshShownPage();
    void updateView();
    void applyBottomAxis(const ChartPaging::AxisRange& range);
    void updateAreaFloor();
    bool writePicture(const QString& path, QString& error);

    std::unique_ptr<ChartHistory> m_ownHistory;  // only when used without a session
    ChartHistory& m_history;
    bool m_viewStale = true;
    QString m_pictureDirectory;
    std::function<QString()> m_openTable;
    QList<QPointF> m_pageBuffer;
    std::optional<ChartPaging::AxisRange> m_bottomRange;

    QChart* m_chart = nullptr;
    QChartView* m_view = nullptr;
    QLineSeries* m_series1 = nullptr;     // line, index 1
    QLineSeries* m_areaUpper = nullptr;   // the points of the area series
    QLineSeries* m_areaLower = nullptr;   // its floor: the left axis' minimum under the page
    QAreaSeries* m_series2 = nullptr;     // area, index 0
    QValueAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;

    QCheckBox* m_btFill = nullptr;
    QLineEdit* m_pointsPerPageField = nullptr;
    NumberFieldEditor* m_pointsPerPageEditor = nullptr;
    QToolButton* m_btNew = nullptr;
    QToolButton* m_btSave = nullptr;
    QToolButton* m_btFirst = nullptr;
    QToolButton* m_btPrevious = nullptr;
    QToolButton* m_pageNumberButton = nullptr;
    QToolButton* m_btNext = nullptr;
    QToolButton* m_btLast = nullptr;
    QToolButton* m_tbFd = nullptr;
    QToolButton* m_tbSx = nullptr;
};

}  // namespace veska
