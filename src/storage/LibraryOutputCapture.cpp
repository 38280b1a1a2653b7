#include "storage/LibraryOutputCapture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

namespace veska {

namespace {

// The process has one standard output and one standard error: one capture at a time.
std::mutex& descriptorLock() {
    static std::mutex lock;
    return lock;
}

void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) return;  // nowhere else to report it
        data += n;
        size -= std::size_t(n);
    }
}

}  // namespace

LibraryOutputCapture::LibraryOutputCapture(std::vector<std::string> knownPrefixes)
    : m_lock(descriptorLock()), m_knownPrefixes(std::move(knownPrefixes)) {
    std::fflush(stdout);
    std::fflush(stderr);
    start(m_out, STDOUT_FILENO);
    start(m_err, STDERR_FILENO);
}

LibraryOutputCapture::~LibraryOutputCapture() { finish(); }

void LibraryOutputCapture::start(Redirect& r, int target) {
    const int capture = ::memfd_create("veska-library-output", MFD_CLOEXEC);
    if (capture < 0) return;
    const int saved = ::fcntl(target, F_DUPFD_CLOEXEC, 3);
    if (saved < 0 || ::dup2(capture, target) < 0) {
        if (saved >= 0) ::close(saved);
        ::close(capture);
        return;
    }
    r = Redirect{target, saved, capture};
}

std::string LibraryOutputCapture::stop(Redirect& r) {
    std::string caught;
    if (r.target < 0) return caught;
    ::dup2(r.saved, r.target);
    ::close(r.saved);
    if (::lseek(r.capture, 0, SEEK_SET) == 0) {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(r.capture, buffer, sizeof buffer)) > 0) caught.append(buffer, std::size_t(n));
    }
    ::close(r.capture);
    r = Redirect{};
    return caught;
}

void LibraryOutputCapture::sort(const std::string& caught, int target) {
    std::string others;
    std::size_t pos = 0;
    while (pos < caught.size()) {
        std::size_t end = caught.find('\n', pos);
        end = end == std::string::npos ? caught.size() : end + 1;
        const std::string line = caught.substr(pos, end - pos);
        bool known = false;
        for (const std::string& prefix : m_knownPrefixes) known = known || line.rfind(prefix, 0) == 0;
        if (known) {
            m_known.push_back(line.back() == '\n' ? line.substr(0, line.size() - 1) : line);
        } else {
            others += line;
        }
        pos = end;
    }
    writeAll(target, others.data(), others.size());
}

std::vector<std::string> LibraryOutputCapture::finish() {
    if (m_finished) return m_known;
    m_finished = true;
    std::fflush(stdout);
    std::fflush(stderr);
    const std::string out = stop(m_out);
    const std::string err = stop(m_err);
    sort(out, STDOUT_FILENO);
    sort(err, STDERR_FILENO);
    m_lock.unlock();
    return m_known;
}

}  // namespace veska
