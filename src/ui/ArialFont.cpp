#include "ui/ArialFont.h"

namespace veska {

QFont ArialFont::px(int pixels, bool bold, bool italic) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

}  // namespace veska
