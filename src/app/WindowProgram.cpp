#include "app/WindowProgram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <cerrno>
#include <cstring>

#ifndef VESKA_WINDOW_HELPER_DIR
#define VESKA_WINDOW_HELPER_DIR "../libexec/veska"
#endif

namespace veska {

namespace {

bool isProgram(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

// The running program's own file; argv[0] may be a bare name found on PATH.
QString ownExecutable() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return QString();
    path[n] = '\0';
    return QFile::decodeName(path);
}

}  // namespace

QString WindowProgram::locate(const QString& ownPath, const QString& helperDir) {
    const QDir own = QFileInfo(ownPath).absoluteDir();
    const QString beside = own.filePath(fileName());
    if (isProgram(beside)) return beside;
    const QString installed = QDir::cleanPath(own.filePath(helperDir + QLatin1Char('/') + fileName()));
    return isProgram(installed) ? installed : QString();
}

QString WindowProgram::replaceProcess(char** argv) {
    const QString self = ownExecutable();
    const QString helper = locate(self, QStringLiteral(VESKA_WINDOW_HELPER_DIR));
    if (helper.isEmpty())
        return QStringLiteral("cannot show the window: %1 is missing beside %2 and in %3")
            .arg(fileName(), self, QStringLiteral(VESKA_WINDOW_HELPER_DIR));
    const QByteArray path = QFile::encodeName(helper);
    // argv[0] stays "veska": the window's X11 class instance comes from it, and the desktop
    // entry matches the window by that name.
    ::execv(path.constData(), argv);
    return QStringLiteral("cannot start %1: %2").arg(helper, QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace veska
