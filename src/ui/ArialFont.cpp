#include "ui/ArialFont.h"

#include <QApplication>

namespace veska {

QFont ArialFont::px(int pixels, bool bold, bool italic) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

void ArialFont::installWindowFonts() {
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    font.setBold(true);
    QApplication::setFont(font);
}

}  // namespace veska
