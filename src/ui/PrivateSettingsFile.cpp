#include "ui/PrivateSettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veska {

bool PrivateSettingsFile::restrict(const QString& path) {
    if (path.isEmpty()) return false;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return ::stat(name.constData(), &st) == 0 && (st.st_mode & 077) == 0;
        ::close(fd);
        return true;
    }
    if ((st.st_mode & 077) == 0) return true;
    return ::chmod(name.constData(), st.st_mode & 0700) == 0;
}

}  // namespace veska
