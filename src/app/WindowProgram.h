#pragma once

#include <QString>

namespace veska {

// The window and the printed report live in a second program, veska-window, so that the
// logger and the other modes for scripts never load the GUI libraries (they alone take
// about 10 MB of memory at start). `veska` hands those modes over by replacing itself with
// veska-window, with the same arguments: one process, as before.
class WindowProgram {
public:
    static QString fileName() { return QStringLiteral("veska-window"); }

    // Where veska-window is for a veska at `ownPath`: beside it (the build tree), else in
    // `helperDir` taken relative to veska's folder (the installed layout). Empty when it is
    // in neither place.
    static QString locate(const QString& ownPath, const QString& helperDir);

    // Replaces this process with veska-window and the same `argv`, argv[0] included. Returns
    // only when that cannot be done, with the message for the user.
    static QString replaceProcess(char** argv);
};

}  // namespace veska
