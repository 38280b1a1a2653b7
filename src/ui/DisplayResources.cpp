#include "ui/DisplayResources.h"

#include <QLabel>

// Resources of a static library must be registered by name from the global namespace.
static void registerDisplayResources() { Q_INIT_RESOURCE(display); }

namespace veska {

void DisplayResources::ensureLoaded() {
    static const bool registered = (registerDisplayResources(), true);
    (void)registered;
}

QPixmap DisplayResources::picture(const QString& name) {
    ensureLoaded();
    return QPixmap(QStringLiteral(":/display/%1.jpg").arg(name));
}

QLabel* DisplayResources::pictureLabel(QWidget* parent, const char* name, QPoint at) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setPixmap(picture(QString::fromLatin1(name)));
    label->setGeometry(QRect(at, label->pixmap().size()));
    return label;
}

}  // namespace veska
