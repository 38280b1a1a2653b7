#pragma once

#include <QPixmap>
#include <QString>

namespace veska {

// The pictures of the display panels, compiled into the display library.
class DisplayResources {
public:
    // Registers the compiled-in pictures; safe to call any number of times.
    static void ensureLoaded();
    // The picture 'name' (e.g. "CONok"), decoded from its JPEG resource.
    static QPixmap picture(const QString& name);
};

}  // namespace veska
