#pragma once

#include <QFont>

namespace veska {

// The window's Arial texts, sized in pixels as the layout gives them (Liberation Sans
// stands in for Arial with the same metrics).
class ArialFont {
public:
    static QFont px(int pixels, bool bold = false, bool italic = false);
    // Arial and MS Sans Serif as the metric-compatible Liberation Sans (the layout's texts
    // were fitted to their widths) with fallbackFamily() for characters it lacks, and the
    // window's default font: bold, 11 px.
    static void installWindowFonts();
    // The family that draws the window's characters Liberation Sans has no glyph for.
    static QString fallbackFamily();
};

}  // namespace veska
