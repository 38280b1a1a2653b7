#pragma once

#include <QIcon>

namespace veska {

// The small pictures of the chart's tool bar, drawn rather than loaded so the tool bar
// needs no image files.
struct ChartGlyphs {
    static QIcon first();
    static QIcon previous();
    static QIcon next();
    static QIcon last();
    static QIcon newChart();
    static QIcon save();
    // The record table's print button beside the grid.
    static QIcon print();
    static QIcon enlarge();
    static QIcon restore();
};

}  // namespace veska
