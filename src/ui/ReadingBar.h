#pragma once

#include <QProgressBar>

namespace veska {

// The bar readingBar under the LCD panel: 284 x 17, maximum 60, position 30 until the
// first reading. The window sets its maximum from SelectScale and its position.
class ReadingBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ReadingBar(QWidget* parent = nullptr);
};

}  // namespace veska
