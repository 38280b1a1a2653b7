#include "ui/DisplayResources.h"

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

}  // namespace veska
