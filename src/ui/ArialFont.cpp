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

QString ArialFont::fallbackFamily() { return QStringLiteral("Mona"); }

void ArialFont::installWindowFonts() {
    // Mona (fonts-mona, the smallest Debian font with it) draws what Liberation Sans lacks,
    // such as the full-width question mark that ends the exit question.
    const QStringList arial{QStringLiteral("Liberation Sans"), fallbackFamily()};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), arial);
    QFont::insertSubstitutions(QStringLiteral("Arial"), arial);
    QFont::insertSubstitution(QStringLiteral("Liberation Sans"), fallbackFamily());
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    font.setBold(true);
    QApplication::setFont(font);
}

}  // namespace veska
