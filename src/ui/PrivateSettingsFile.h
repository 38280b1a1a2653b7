#pragma once

#include <QString>

namespace veska {

// The window's settings file holds broker addresses, user names and perhaps a password:
// readable by the user alone (0600). QSettings writes it through a temporary file that
// takes over the old file's permissions, so the file is made with them before the first
// write and tightened when an older one is looser.
class PrivateSettingsFile {
public:
    // Creates `path` empty with mode 0600 when it is missing (its folder too), or takes
    // the group's and others' rights away; false when that cannot be done.
    static bool restrict(const QString& path);
};

}  // namespace veska
