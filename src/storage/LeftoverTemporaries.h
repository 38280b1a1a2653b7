#pragma once

#include <QString>

namespace veska {

// The temporaries SafeFileWriter leaves behind when a program is killed during a save
// (".NAME.xxxxxx.tmp" beside the target, with the side files a table copy may add). A live
// writer holds a lock on its temporary for as long as it writes; a file of that pattern that
// nobody locks and that is older than this process belongs to a writer that is gone.
class LeftoverTemporaries {
public:
    // Whether `fileName` (no folder) is one of our temporaries or a side file of one.
    static bool isTemporaryName(const QString& fileName);
    // Takes the writer's lock on an open temporary; false when another writer holds it.
    static bool lock(int fd);
    // Removes the leftovers in `folder` whose writers are gone; returns how many files went.
    // Only regular files of our pattern, unlocked, last changed before `olderThan` (seconds
    // since the epoch) are touched.
    static int removeIn(const QString& folder, qint64 olderThan);
    // When this process started, in seconds since the epoch (0 when the system does not say).
    static qint64 processStart();
};

}  // namespace veska
