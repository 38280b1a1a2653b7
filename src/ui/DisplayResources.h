#pragma once

#include <QPixmap>
#include <QPoint>
#include <QString>

class QLabel;
class QWidget;

namespace veska {

// The pictures of the display panels, compiled into the display library.
class DisplayResources {
public:
    // Registers the compiled-in pictures; safe to call any number of times.
    static void ensureLoaded();
    // The picture 'name' (e.g. "linkAlive"), decoded from its JPEG resource.
    static QPixmap picture(const QString& name);
    // A label on `parent` at `at` showing the picture 'name', sized to it and named after it.
    static QLabel* pictureLabel(QWidget* parent, const char* name, QPoint at);
};

}  // namespace veska
