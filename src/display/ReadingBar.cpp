#include "ReadingBar.h"

namespace veska {

ReadingBar::ReadingBar(QWidget* parent) : QProgressBar(parent) {
    setObjectName(QStringLiteral("PBar2"));
    setRange(0, 60);
    setValue(30);
    setTextVisible(false);
    resize(284, 17);
}

}  // namespace veska
