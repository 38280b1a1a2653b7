#include "app/BatchedOutput.h"

#include <unistd.h>

#include <cerrno>

namespace veska {

void BatchedOutput::append(const QString& text) {
    // Rows are ASCII but for the odd unit: copy those straight, convert only the rest.
    const qsizetype n = text.size();
    const QChar* chars = text.constData();
    for (qsizetype i = 0; i < n; ++i) {
        if (chars[i].unicode() >= 0x80) {
            m_buffer.append(text.mid(i).toUtf8().toStdString());
            return;
        }
        m_buffer.push_back(static_cast<char>(chars[i].unicode()));
    }
}

bool BatchedOutput::flush() {
    if (m_buffer.empty()) return true;
    errno = 0;
    // Whatever the stream itself still holds goes first, so the order stays.
    bool ok = std::fflush(m_file) == 0;
    const int fd = ok ? ::fileno(m_file) : -1;
    if (ok && fd >= 0) {
        const char* data = m_buffer.data();
        std::size_t left = m_buffer.size();
        while (left > 0) {
            const ssize_t n = ::write(fd, data, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) errno = EIO;
                ok = false;
                break;
            }
            data += n;
            left -= static_cast<std::size_t>(n);
        }
    } else if (ok) {
        // A stream without a descriptor (a memory stream): through stdio.
        ok = std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) == m_buffer.size() && std::fflush(m_file) == 0;
    }
    m_buffer.clear();
    if (ok) return true;
    if (errno == 0) errno = EIO;
    std::clearerr(m_file);
    return false;
}

}  // namespace veska
