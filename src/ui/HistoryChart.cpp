#include "ui/HistoryChart.h"

#include "storage/SafeFileWriter.h"

#include "ui/ChartGlyphs.h"

#include "ui/NumberFieldEditor.h"
#include "session/NumberField.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDir>
#include <QGraphicsLayout>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QLinearGradient>
#include <QPainter>
#include <QToolButton>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace veska {

namespace {

constexpr int ButtonWidth = 23;
constexpr int ButtonHeight = 22;

// A tick spacing of 1, 2 or 5 times a power of ten giving about five ticks.
double tickInterval(double span) {
    const double rough = std::max(span / 5.0, 1.0);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double step : {1.0, 2.0, 5.0}) {
        if (step * power >= rough) return step * power;
    }
    return 10.0 * power;
}

}  // namespace

HistoryChart::HistoryChart(QWidget* parent)
    : QWidget(parent), m_ownHistory(std::make_unique<ChartHistory>()), m_history(*m_ownHistory) {
    build();
}

HistoryChart::HistoryChart(ChartHistory& history, QWidget* parent) : QWidget(parent), m_history(history) { build(); }

void HistoryChart::build() {
    buildChart();
    buildToolBar();
    // The chart is drawn above its neighbours wherever they overlap (enlarged).
    raise();
}

HistoryChart::~HistoryChart() = default;

void HistoryChart::buildChart() {
    m_chart = new QChart();
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setTitle(QStringLiteral("  "));
    m_chart->legend()->hide();
    m_chart->setBackgroundRoundness(0);
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);  // the gradient fills the whole chart
    QLinearGradient background(0, 0, 0, 1);
    background.setCoordinateMode(QGradient::ObjectBoundingMode);
    background.setColorAt(0, QColor(192, 192, 192));
    background.setColorAt(1, Qt::white);
    m_chart->setBackgroundBrush(background);
    m_chart->setPlotAreaBackgroundBrush(Qt::white);
    m_chart->setPlotAreaBackgroundVisible(true);

    // List order matters: index 0 is the area series Series2, index 1 the line Series1.
    m_areaUpper = new QLineSeries(this);
    // The area is filled from the line down to the bottom of the plot, on every page: the
    // floor is given explicitly instead of being left to the series.
    m_areaLower = new QLineSeries(this);
    m_series2 = new QAreaSeries(m_areaUpper, m_areaLower);
    m_series2->setName(QStringLiteral("Series2"));
    m_series2->setBrush(QColor(255, 255, 128));
    m_series2->setPen(QPen(QColor(0, 128, 255), 1));
    m_series2->setBorderColor(QColor(0, 128, 255));
    m_series1 = new QLineSeries();
    m_series1->setName(QStringLiteral("Series1"));
    m_series1->setPen(QPen(QColor(128, 255, 0), 1));
    m_chart->addSeries(m_series2);
    m_chart->addSeries(m_series1);
    for (QLineSeries* points : {m_areaUpper, m_series1}) {
        points->setPointsVisible(false);
        points->setPointLabelsFormat(pointLabel());
        points->setPointLabelsColor(pointColor());
        points->setPointLabelsVisible(false);  // no marks
    }
    m_series2->setPointLabelsFormat(pointLabel());
    m_series2->setPointLabelsVisible(false);
    for (QLegendMarker* marker : m_chart->legend()->markers(m_series1)) marker->setVisible(false);

    m_axisX = new QValueAxis();
    m_axisX->setLabelFormat(QStringLiteral("%d"));
    m_axisX->setTickType(QValueAxis::TicksDynamic);
    m_axisX->setTickAnchor(0);
    m_axisY = new QValueAxis();
    m_axisY->setLabelFormat(QStringLiteral("%d"));
    m_axisY->setRange(-InitialLeftAxisLimit, InitialLeftAxisLimit);
    m_axisY->setLinePen(QPen(Qt::black, 1, Qt::DashLine));
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    for (QAbstractSeries* series : {static_cast<QAbstractSeries*>(m_series2), static_cast<QAbstractSeries*>(m_series1)}) {
        series->attachAxis(m_axisX);
        series->attachAxis(m_axisY);
    }
    applyBottomAxis(m_history.paging().bottomAxisRange(0));
    connect(m_axisY, &QValueAxis::rangeChanged, this, &HistoryChart::updateAreaFloor);

    m_view = new QChartView(m_chart, this);  // takes the chart
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setRubberBand(QChartView::RectangleRubberBand);
    m_view->viewport()->setCursor(Qt::CrossCursor);
    m_view->setGeometry(rect());
}

QToolButton* HistoryChart::makeButton(const QIcon& icon, const QString& hint, int x, int y) {
    auto* button = new QToolButton(this);
    button->setIcon(icon);
    button->setToolTip(hint);
    button->setAutoRaise(true);
    button->setGeometry(x, y, ButtonWidth, ButtonHeight);
    return button;
}

void HistoryChart::buildToolBar() {
    m_btFill = new QCheckBox(QStringLiteral("Fill"), this);
    m_btFill->setToolTip(QStringLiteral("Graphic Fill"));
    m_btFill->setChecked(m_history.fillShown());
    m_btFill->setGeometry(5, 5, 42, 17);
    connect(m_btFill, &QCheckBox::toggled, this, &HistoryChart::onFillBoxClicked);

    m_pointsPerPageField = new QLineEdit(QStringLiteral("100"), this);
    m_pointsPerPageField->setGeometry(48, 3, 41, 21);
    // Unlike the limit fields, an emptied field is no number here.
    m_pointsPerPageEditor = new NumberFieldEditor(m_pointsPerPageField, false, [](const QString& text) {
        return text.isEmpty() ? std::nullopt : NumberField::parse(text);
    });
    connect(m_pointsPerPageEditor, &NumberFieldEditor::valueTyped, this, &HistoryChart::applyPointsPerPage);
    connect(m_pointsPerPageEditor, &NumberFieldEditor::invalidTextFinished, this, &HistoryChart::errorRequested);

    m_btNew = makeButton(ChartGlyphs::newChart(), QStringLiteral("New"), 91, 3);
    m_btSave = makeButton(ChartGlyphs::save(), QStringLiteral("Save"), 125, 3);
    m_btFirst = makeButton(ChartGlyphs::first(), QStringLiteral("First"), 163, 3);
    m_btPrevious = makeButton(ChartGlyphs::previous(), QStringLiteral("Previous"), 187, 3);
    m_pageNumberButton = makeButton(QIcon(), QStringLiteral("Page No."), 211, 3);
    m_pageNumberButton->setText(QStringLiteral("1"));
    QPalette pagePalette = m_pageNumberButton->palette();
    pagePalette.setColor(QPalette::ButtonText, Qt::blue);
    m_pageNumberButton->setPalette(pagePalette);
    m_btNext = makeButton(ChartGlyphs::next(), QStringLiteral("Next"), 235, 3);
    m_btLast = makeButton(ChartGlyphs::last(), QStringLiteral("last"), 259, 3);
    m_tbFd = makeButton(ChartGlyphs::enlarge(), QStringLiteral("Graphic Enlarge"), 288, 3);
    m_tbSx = makeButton(ChartGlyphs::restore(), QStringLiteral("Graphic Restore"), 288, 3);
    m_tbSx->hide();

    connect(m_btNew, &QToolButton::clicked, this, &HistoryChart::restartChart);
    connect(m_btSave, &QToolButton::clicked, this, &HistoryChart::saveChartPicture);
    connect(m_btFirst, &QToolButton::clicked, this, &HistoryChart::showFirstPage);
    connect(m_btPrevious, &QToolButton::clicked, this, &HistoryChart::showPreviousPage);
    connect(m_btNext, &QToolButton::clicked, this, &HistoryChart::showNextPage);
    connect(m_btLast, &QToolButton::clicked, this, &HistoryChart::showLastPage);
    connect(m_tbFd, &QToolButton::clicked, this, &HistoryChart::enlargeClicked);
    connect(m_tbSx, &QToolButton::clicked, this, &HistoryChart::enlargeClicked);
}

std::optional<int> HistoryChart::chartValue(const LcdState& lcd, int fullScaleCount) {
    return ChartHistory::chartValue(lcd, fullScaleCount);
}

void HistoryChart::fillSampleValues() {
    m_history.fillSampleValues();
    refreshShownPage();
}

void HistoryChart::showSeries(int index) {
    if (index < 0 || index >= ChartPointStore::SeriesCount) return;
    m_history.showSeries(index);
    applySeriesVisibility();
    refreshShownPage();
}

void HistoryChart::applySeriesVisibility() {
    for (int series = 0; series < ChartPointStore::SeriesCount; ++series) {
        qtSeries(series)->setVisible(m_history.isSeriesShown(series));
    }
}

void HistoryChart::setLeftAxisMaximum(int value) { m_axisY->setMax(value); }

void HistoryChart::setLeftAxisMinimum(int value) { m_axisY->setMin(value); }

bool HistoryChart::addChartPoint(const LcdState& lcd, int fullScaleCount) {
    if (!m_history.addReading(lcd, fullScaleCount)) return false;
    showHistory();
    return true;
}

void HistoryChart::showHistory() {
    applySeriesVisibility();
    if (m_history.followLastPage()) showPageNumber();
    refreshShownPage();
}

void HistoryChart::resetChart() {
    fillSampleValues();
    showSeries(AreaSeriesIndex);
    showSeries(isFillChecked() ? AreaSeriesIndex : LineSeriesIndex);
}

bool HistoryChart::isFillChecked() const { return m_btFill->isChecked(); }

bool HistoryChart::isSeriesActive(int index) const { return m_history.isSeriesShown(index); }

int HistoryChart::pageCount() const { return m_history.paging().pageCount(activePointCount()); }

double HistoryChart::leftAxisMinimum() const { return m_axisY->min(); }

double HistoryChart::leftAxisMaximum() const { return m_axisY->max(); }

QList<QPointF> HistoryChart::shownPoints(int series) const { return pointSeries(series)->points(); }

ChartPaging::AxisRange HistoryChart::bottomAxisRange() const { return {m_axisX->min(), m_axisX->max()}; }

QString HistoryChart::picturePath() const {
    const QString directory = m_pictureDirectory.isEmpty() ? QDir::homePath() : m_pictureDirectory;
    return QDir(directory).filePath(pictureFileName());
}

void HistoryChart::setEnlarged(bool enlarged) {
    m_tbFd->setVisible(!enlarged);
    m_tbSx->setVisible(enlarged);
}

void HistoryChart::showFirstPage() {
    m_history.setPage(1);
    setPageButtons(false, true);
    showPageNumber();
    m_history.setFollowLastPage(false);
    refreshShownPage();
}

void HistoryChart::showPreviousPage() {
    if (m_history.paging().page() == 1) {
        setPageButtons(false, true);
    } else {
        m_history.setPage(m_history.paging().page() - 1);
        setPageButtons(std::nullopt, true);
    }
    showPageNumber();
    m_history.setFollowLastPage(false);
    refreshShownPage();
}

void HistoryChart::showNextPage() {
    if (m_history.paging().page() == pageCount()) {
        setPageButtons(true, false);
    } else {
        m_history.setPage(m_history.paging().page() + 1);
        setPageButtons(true, std::nullopt);
    }
    showPageNumber();
    m_history.setFollowLastPage(false);
    refreshShownPage();
}

void HistoryChart::showLastPage() {
    m_history.setPage(pageCount());
    setPageButtons(true, false);
    showPageNumber();
    m_history.setFollowLastPage(true);
    refreshShownPage();
}

void HistoryChart::saveChartPicture() {
    const QString path = picturePath();
    // Success is announced only once the picture is on disk.
    QString error;
    if (!writePicture(path, error)) {
        emit errorRequested(error);
        return;
    }
    emit informationRequested(QStringLiteral("graphic has saved on %1").arg(QDir::toNativeSeparators(path)));
}

void HistoryChart::toggleFill() {
    const bool fill = !isFillChecked();
    m_btFill->setChecked(fill);  // runs onFillBoxClicked as well
    emit fillCheckedChanged(fill);
    showSeries(fill ? AreaSeriesIndex : LineSeriesIndex);
}

void HistoryChart::onFillBoxClicked() {
    const bool fill = isFillChecked();
    m_history.setFillShown(fill);
    emit fillCheckedChanged(fill);
    showSeries(fill ? AreaSeriesIndex : LineSeriesIndex);
}

void HistoryChart::applyPointsPerPage(int perPage) {
    m_history.setPointsPerPage(perPage);
    showPageNumber();  // the page may have moved back to the new last page
    refreshShownPage();
}

void HistoryChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_view->setGeometry(rect());
}

void HistoryChart::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_viewStale) refreshShownPage();
}

QAbstractSeries* HistoryChart::qtSeries(int index) const {
    if (index == AreaSeriesIndex) return m_series2;
    return m_series1;
}

QLineSeries* HistoryChart::pointSeries(int index) const {
    if (index == AreaSeriesIndex) return m_areaUpper;
    return m_series1;
}

void HistoryChart::setPageButtons(std::optional<bool> firstPrevious, std::optional<bool> nextLast) {
    if (firstPrevious) {
        m_btFirst->setEnabled(*firstPrevious);
        m_btPrevious->setEnabled(*firstPrevious);
    }
    if (nextLast) {
        m_btNext->setEnabled(*nextLast);
        m_btLast->setEnabled(*nextLast);
    }
}

void HistoryChart::showPageNumber() { m_pageNumberButton->setText(QString::number(m_history.paging().page())); }

void HistoryChart::refreshShownPage() {
    // A hidden chart only keeps its store; it catches up when shown.
    if (!isVisible()) {
        m_viewStale = true;
        return;
    }
    updateView();
}

void HistoryChart::updateView() {
    m_viewStale = false;
    for (int series = 0; series < ChartPointStore::SeriesCount; ++series) {
        if (!isSeriesActive(series)) continue;
        const std::size_t first = m_history.paging().firstIndex();
        const std::span<const int> values = m_history.points().range(series, first, m_history.paging().endIndex(m_history.points().count(series)));
        m_pageBuffer.clear();
        m_pageBuffer.reserve(static_cast<qsizetype>(values.size()));
        for (std::size_t i = 0; i < values.size(); ++i) {
            m_pageBuffer.append(QPointF(static_cast<double>(first + i), values[i]));
        }
        pointSeries(series)->replace(m_pageBuffer);
    }
    applyBottomAxis(m_history.paging().bottomAxisRange(activePointCount()));
    updateAreaFloor();
}

void HistoryChart::updateAreaFloor() {
    const QList<QPointF> line = m_areaUpper->points();
    if (line.isEmpty()) {
        m_areaLower->clear();
        return;
    }
    const double floor = m_axisY->min();
    m_areaLower->replace(QList<QPointF>{{line.front().x(), floor}, {line.back().x(), floor}});
}

void HistoryChart::applyBottomAxis(const ChartPaging::AxisRange& range) {
    // Moving the scale costs far more than the points: only when it really moves.
    if (m_bottomRange && m_bottomRange->min == range.min && m_bottomRange->max == range.max) return;
    m_bottomRange = range;
    m_axisX->setTickInterval(tickInterval(range.max - range.min));
    m_axisX->setRange(range.min, range.max);
}

QImage HistoryChart::renderPicture() {
    QImage picture(size(), QImage::Format_RGB32);
    picture.fill(Qt::white);
    if (picture.isNull()) return picture;
    // Draw the current page even when the chart has not been on screen yet.
    if (m_viewStale) updateView();
    m_view->setGeometry(rect());
    QPainter painter(&picture);
    static_cast<QWidget*>(m_view)->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    return picture;
}

bool HistoryChart::writePicture(const QString& path, QString& error) {
    const QString shownPath = QDir::toNativeSeparators(path);
    const QImage picture = renderPicture();
    SafeFileWriter file(path);
    if (m_openTable) file.protectTable(m_openTable());
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("Cannot create file %1. %2").arg(shownPath, file.reason());
        return false;
    }
    if (picture.isNull() || !picture.save(&file, "BMP") || !file.commit()) {
        const QString reason = file.failed() ? file.reason() : QStringLiteral("The picture could not be encoded");
        file.cancel();
        error = QStringLiteral("Cannot write file %1. %2").arg(shownPath, reason);
        return false;
    }
    return true;
}

}  // namespace veska
