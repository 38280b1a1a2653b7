#include "ui/HistoryPicture.h"

#include "history/HistoryModel.h"
#include "history/HistoryTicks.h"
#include "storage/SafeFileWriter.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPolygonF>
#include <QSvgGenerator>

#include <algorithm>
#include <array>
#include <cmath>

namespace veska {

namespace {

constexpr int kLeftMargin = 78;
constexpr int kRightMargin = 14;
constexpr int kTopMargin = 22;
constexpr int kBottomMargin = 44;
constexpr int kPaneSpacing = 10;
constexpr int kOverloadBand = 4;

QString text(const std::string& utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

// Bounds of what the pane's series hold in view, with a little room above and below.
std::pair<double, double> fittedRange(const HistoryEnvelope& envelope, const std::vector<int>& series) {
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (const int s : series) {
        for (const HistoryColumn& c : envelope.series[std::size_t(s)]) {
            if (!c.hasValue()) continue;
            low = std::min(low, c.minimum);
            high = std::max(high, c.maximum);
        }
    }
    if (!(low <= high)) return {0.0, 1.0};
    if (high == low) {
        const double room = low == 0.0 ? 1.0 : std::abs(low) * 0.01;
        return {low - room, high + room};
    }
    const double room = (high - low) * 0.05;
    return {low - room, high + room};
}

// Per column: how many pauses wider than a column end at or before it. A line is not drawn
// between two columns whose counts differ.
std::vector<int> pauseSegments(const HistoryModel& model, const HistoryView& view, int width) {
    std::vector<int> ends(std::size_t(width) + 1, 0);
    for (const HistoryModel::Span& gap : model.gaps()) {
        if (gap.toMs < view.fromMs || gap.fromMs >= view.toMs) continue;
        const int from = view.column(gap.fromMs, width), to = view.column(gap.toMs, width);
        if (from < to && to >= 0) ++ends[std::size_t(std::min(to, width))];
    }
    std::vector<int> segment(std::size_t(width), 0);
    int running = ends[0];
    for (int c = 0; c < width; ++c) {
        if (c > 0) running += ends[std::size_t(c)];
        segment[std::size_t(c)] = running;
    }
    return segment;
}

void drawSeries(QPainter& painter, const HistoryPicture::Pane& pane, const std::vector<HistoryColumn>& columns,
                const std::vector<int>& segment, int left, const QColor& color, bool middlesOnly = false) {
    // A cosmetic pen of one pixel: the raster engine draws it directly, where a wider pen
    // makes it stroke the outline of every column's zigzag (seconds for a dense run).
    QPen pen(color, 1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    QPolygonF line;
    int previous = -1;
    auto flush = [&] {
        if (line.size() == 1) line << line.front() + QPointF(0.5, 0);
        if (!line.isEmpty()) painter.drawPolyline(line);
        line.clear();
    };
    for (int c = 0; c < int(columns.size()); ++c) {
        const HistoryColumn& column = columns[std::size_t(c)];
        if (!column.hasValue()) {
            if (column.overload) flush();  // no line across what the display could not show
            continue;
        }
        if (previous >= 0 && segment[std::size_t(previous)] != segment[std::size_t(c)]) flush();
        const double x = left + c + 0.5;
        if (middlesOnly) {
            line << QPointF(x, pane.yOf((column.minimum + column.maximum) / 2));
        } else {
            line << QPointF(x, pane.yOf(column.minimum));
            if (column.maximum != column.minimum) line << QPointF(x, pane.yOf(column.maximum));
        }
        previous = c;
    }
    flush();
}

void drawValueAxis(QPainter& painter, const HistoryPicture::Pane& pane, const QRect& plot) {
    const int maxTicks = std::max(3, pane.rect.height() / 28);
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 8));
    for (const HistoryTick& tick : HistoryTicks::valueTicks(pane.low, pane.high, maxTicks, pane.baseUnit)) {
        const int y = int(std::lround(pane.yOf(tick.at)));
        painter.setPen(QColor(228, 228, 228));
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, y - 8, plot.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter, text(tick.label));
    }
}

void drawTimeAxis(QPainter& painter, const HistoryModel& model, const HistoryView& view, const QRect& plot,
                  const QRect& area) {
    const int maxTicks = std::max(2, plot.width() / 110);
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 8));
    for (const HistoryTick& tick : HistoryTicks::timeTicks(view.fromMs, view.toMs, maxTicks, model.dateKnown())) {
        const double x = plot.left() + (tick.at - double(view.fromMs)) * plot.width() / double(view.span());
        if (x < plot.left() || x > plot.right() + 1) continue;
        painter.setPen(QColor(228, 228, 228));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.setPen(Qt::black);
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4));
        painter.drawText(QRectF(x - 60, plot.bottom() + 4, 120, 14), Qt::AlignHCenter | Qt::AlignTop, text(tick.label));
    }
    // Where the view is, in full: the ticks alone do not say which day.
    QString readout = QStringLiteral("%1  to  %2   (%3)")
                          .arg(text(HistoryTicks::formatMoment(view.fromMs, model.dateKnown())),
                               text(HistoryTicks::formatMoment(view.toMs, model.dateKnown())),
                               text(HistoryTicks::formatDuration(view.span())));
    readout += model.dateKnown() ? QStringLiteral("   local time") : QStringLiteral("   date unknown");
    painter.drawText(QRect(plot.left(), plot.bottom() + 20, plot.width(), 16), Qt::AlignLeft | Qt::AlignVCenter,
                     readout);
    (void)area;
}

void drawLegend(QPainter& painter, const HistoryModel& model, const HistoryPicture::Pane& pane) {
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 8, QFont::Bold));
    int x = pane.rect.left() + 6;
    for (const int s : pane.series) {
        const QString label = text(model.series()[std::size_t(s)].label());
        painter.setPen(HistoryPicture::seriesColor(s));
        painter.drawText(QPoint(x, pane.rect.top() + kOverloadBand + 12), label);
        x += painter.fontMetrics().horizontalAdvance(label) + 14;
    }
}

}  // namespace

double HistoryPicture::Pane::yOf(double value) const {
    return rect.bottom() + 1 - (value - low) / (high - low) * rect.height();
}

double HistoryPicture::Pane::valueAt(double y) const {
    return low + (rect.bottom() + 1 - y) / rect.height() * (high - low);
}

QColor HistoryPicture::seriesColor(int series) {
    static const std::array<QColor, 6> kColors{QColor(31, 90, 180), QColor(220, 110, 20), QColor(40, 150, 60),
                                               QColor(140, 60, 170), QColor(150, 90, 50), QColor(20, 150, 150)};
    return kColors[std::size_t(series) % kColors.size()];
}

QRect HistoryPicture::plotArea(const QRect& area) {
    return area.adjusted(kLeftMargin, kTopMargin, -kRightMargin, -kBottomMargin);
}

std::vector<HistoryPicture::Pane> HistoryPicture::panes(const HistoryModel& model, const HistoryEnvelope& envelope,
                                                        const QRect& area, const Options& options) {
    const QRect plot = plotArea(area);
    const std::vector<std::string> units = model.paneUnits();
    std::vector<Pane> out;
    const int count = std::max<int>(1, int(units.size()));
    const int height = std::max(10, (plot.height() - (count - 1) * kPaneSpacing) / count);
    for (int i = 0; i < int(units.size()); ++i) {
        Pane pane;
        pane.rect = QRect(plot.left(), plot.top() + i * (height + kPaneSpacing), plot.width(), height);
        pane.baseUnit = units[std::size_t(i)];
        for (int s = 0; s < int(model.series().size()); ++s)
            if (model.series()[std::size_t(s)].baseUnit == pane.baseUnit) pane.series.push_back(s);
        const auto fixed = options.paneValues.find(pane.baseUnit);
        std::tie(pane.low, pane.high) = fixed != options.paneValues.end() ? fixed->second
                                        : options.fixedY                  ? *options.fixedY
                                                                          : fittedRange(envelope, pane.series);
        out.push_back(pane);
    }
    return out;
}

void HistoryPicture::paint(QPainter& painter, const QRect& area, const HistoryModel& model,
                           const HistoryEnvelope& envelope, const Options& options) {
    painter.save();
    painter.fillRect(area, Qt::white);
    const QRect plot = plotArea(area);
    const HistoryView& view = envelope.view;
    const int width = envelope.width;
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 8));
    painter.setPen(Qt::black);
    if (!options.note.isEmpty())
        painter.drawText(QRect(plot.left(), area.top() + 2, plot.width(), kTopMargin - 4),
                         Qt::AlignLeft | Qt::AlignVCenter, options.note);
    const std::vector<Pane> panes = HistoryPicture::panes(model, envelope, area, options);
    if (panes.empty()) {
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("No readings"));
        painter.restore();
        return;
    }
    const std::vector<int> segment = pauseSegments(model, view, width);
    for (const Pane& pane : panes) {
        painter.setClipping(false);
        drawValueAxis(painter, pane, plot);
        painter.setClipRect(pane.rect.adjusted(0, 0, 1, 1));
        // Pauses: shaded, and no line across them.
        for (const HistoryModel::Span& gap : model.gaps()) {
            if (gap.toMs < view.fromMs || gap.fromMs >= view.toMs) continue;
            const int from = view.column(gap.fromMs, width), to = view.column(gap.toMs, width);
            if (to - from < 2) continue;
            painter.fillRect(QRect(pane.rect.left() + from + 1, pane.rect.top(), to - from - 1, pane.rect.height()),
                             QColor(236, 236, 236));
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (const int s : pane.series) {
            drawSeries(painter, pane, envelope.series[std::size_t(s)], segment, pane.rect.left(), seriesColor(s));
            // Overloads: a band along the pane's top, never a value.
            const std::vector<HistoryColumn>& columns = envelope.series[std::size_t(s)];
            for (int c = 0; c < width; ++c) {
                if (!columns[std::size_t(c)].overload) continue;
                int end = c;
                while (end + 1 < width && columns[std::size_t(end + 1)].overload) ++end;
                painter.fillRect(QRect(pane.rect.left() + c, pane.rect.top(), end - c + 1, kOverloadBand), QColor(210, 30, 30));
                c = end;
            }
        }
        painter.setClipping(false);
        painter.setPen(QColor(120, 120, 120));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(pane.rect);
        drawLegend(painter, model, pane);
    }
    drawTimeAxis(painter, model, view, plot, area);
    for (const auto& [cursor, color] : {std::pair{options.cursorA, QColor(0, 110, 200)}, std::pair{options.cursorB, QColor(200, 0, 90)}}) {
        if (!cursor || !view.contains(*cursor)) continue;
        const double x = plot.left() + double(*cursor - view.fromMs) * plot.width() / double(view.span());
        painter.setPen(QPen(color, 1, Qt::DashLine));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    painter.restore();
}

void HistoryPicture::paintOverview(QPainter& painter, const QRect& rect, const HistoryModel& model,
                                   const HistoryEnvelope& whole, const HistoryView& shown) {
    painter.save();
    painter.fillRect(rect, QColor(250, 250, 250));
    for (std::size_t s = 0; s < whole.series.size(); ++s) {
        Pane pane;
        pane.rect = rect.adjusted(0, 2, 0, -2);
        std::tie(pane.low, pane.high) = fittedRange(whole, {int(s)});
        // The course of each series only: the strip is too low for its spread.
        drawSeries(painter, pane, whole.series[s], std::vector<int>(std::size_t(whole.width), 0), rect.left(),
                   seriesColor(int(s)).lighter(130), true);
    }
    const HistoryView& all = whole.view;
    const double x0 = rect.left() + double(shown.fromMs - all.fromMs) * rect.width() / double(all.span());
    const double x1 = rect.left() + double(shown.toMs - all.fromMs) * rect.width() / double(all.span());
    const QRectF window(QPointF(std::max<double>(x0, rect.left()), rect.top()),
                        QPointF(std::min<double>(std::max(x1, x0 + 3), rect.right() + 1), rect.bottom() + 1));
    painter.fillRect(window, QColor(31, 90, 180, 40));
    painter.setPen(QColor(31, 90, 180));
    painter.drawRect(window);
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(rect);
    (void)model;
    painter.restore();
}

bool HistoryPicture::isPictureName(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    return suffix == QLatin1String("png") || suffix == QLatin1String("svg") || suffix == QLatin1String("pdf");
}

QString HistoryPicture::save(const QString& fileName, const QSize& size, const HistoryModel& model,
                             const HistoryEnvelope& envelope, const Options& options, const QString& tableFile) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (!isPictureName(fileName))
        return QStringLiteral("Cannot write %1 (the name must end in .png, .svg or .pdf)").arg(fileName);
    const QRect area(QPoint(0, 0), size);
    // A PNG is encoded in memory first (its writer seeks, which a pipe cannot), so the file
    // is opened only when its bytes are there.
    QByteArray png;
    if (suffix == QLatin1String("png")) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            paint(painter, area, model, envelope, options);
        }
        QBuffer buffer(&png);
        if (!image.save(&buffer, "PNG")) return QStringLiteral("Cannot write %1 (the picture could not be drawn)").arg(fileName);
    }
    SafeFileWriter out(fileName);
    if (!tableFile.isEmpty()) out.protectTable(tableFile);
    if (!out.open(QIODevice::WriteOnly)) return out.failureMessage();
    bool painted = true;
    if (suffix == QLatin1String("png")) {
        painted = out.write(png) == png.size();
    } else if (suffix == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&out);
        svg.setSize(size);
        svg.setViewBox(area);
        svg.setTitle(QStringLiteral("Veska history"));
        QPainter painter;
        painted = painter.begin(&svg);
        if (painted) {
            paint(painter, area, model, envelope, options);
            painted = painter.end();
        }
    } else {
        QPdfWriter pdf(&out);
        pdf.setResolution(72);  // one point per pixel of the picture
        pdf.setPageSize(QPageSize(QSizeF(size), QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setTitle(QStringLiteral("Veska history"));
        QPainter painter;
        painted = painter.begin(&pdf);
        if (painted) {
            paint(painter, area, model, envelope, options);
            painted = painter.end();
        }
    }
    if (!painted && !out.failed()) {
        out.cancel();
        return QStringLiteral("Cannot write %1 (the picture could not be drawn)").arg(fileName);
    }
    if (!out.commit()) return out.failureMessage();
    return QString();
}

}  // namespace veska
