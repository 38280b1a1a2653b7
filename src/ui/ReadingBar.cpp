#include "ui/ReadingBar.h"

namespace veska {

ReadingBar::ReadingBar(QWidget* parent) : QProgressBar(parent) {
    setObjectName(QStringLiteral("readingBar"));
    setRange(0, 60);
    setValue(30);
    setTextVisible(false);
    resize(284, 17);
}

}  // namespace veska
