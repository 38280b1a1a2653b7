#pragma once

#include <QString>

namespace veska {

// What the session needs of a link to the meter, whichever cable it runs over: whether it
// is delivering, a name for people, and a clean stop (port closed or reader stopped, its
// controls as after its own disconnect). Bytes or reports reach the session through the
// packet path the session installs when it creates the link.
class MeterLink {
public:
    virtual ~MeterLink() = default;
    virtual bool isLinkActive() const = 0;
    virtual QString linkDescription() const = 0;
    virtual void stopLink() = 0;
};

}  // namespace veska
