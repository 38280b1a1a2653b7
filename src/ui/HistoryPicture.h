#pragma once

#include "history/HistoryEnvelope.h"

#include <QColor>
#include <QRect>
#include <QString>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QPainter;

namespace veska {

class HistoryModel;

// The picture of a run that the History window shows and `veska --plot` writes: one pane per
// base unit stacked on one time axis, a line per series drawn from the envelope of its
// pixel columns, pauses shaded and not bridged, overloads marked along the pane's top, and
// the cursors. Plain painting: the same picture on a screen, in a PNG, an SVG or a PDF.
class HistoryPicture {
public:
    struct Options {
        std::optional<std::pair<double, double>> fixedY;  // one y range for every pane
        std::map<std::string, std::pair<double, double>> paneValues;  // a y range per base unit
        std::optional<std::int64_t> cursorA, cursorB;
        QString note;  // a line above the plot, e.g. "Reading the file: 42 %"
    };
    struct Pane {
        QRect rect;
        std::string baseUnit;
        double low = 0.0, high = 1.0;  // the values at the bottom and the top
        std::vector<int> series;       // HistoryModel's series in this pane

        double valueAt(double y) const;
        double yOf(double value) const;
    };

    // Where the time axis runs inside a picture of `area`: the envelope's width.
    static QRect plotArea(const QRect& area);
    // The panes of a picture: stacked in the plot area, y ranges fitted to the envelope
    // (or fixed).
    static std::vector<Pane> panes(const HistoryModel& model, const HistoryEnvelope& envelope, const QRect& area,
                                   const Options& options);
    static void paint(QPainter& painter, const QRect& area, const HistoryModel& model,
                      const HistoryEnvelope& envelope, const Options& options);
    // The whole run in a strip, the shown span marked on it.
    static void paintOverview(QPainter& painter, const QRect& rect, const HistoryModel& model,
                              const HistoryEnvelope& whole, const HistoryView& shown);
    static QColor seriesColor(int series);

    // Writes a picture of `size` as PNG, SVG or PDF (by the name's suffix) through the safe-
    // write path, never over `tableFile` (the table shown) or its journal. The envelope is
    // the one for plotArea() of that size. Empty on success, otherwise the message for the user.
    static QString save(const QString& fileName, const QSize& size, const HistoryModel& model,
                        const HistoryEnvelope& envelope, const Options& options, const QString& tableFile = {});
    // Whether a name's suffix is one save() writes.
    static bool isPictureName(const QString& fileName);
};

}  // namespace veska
