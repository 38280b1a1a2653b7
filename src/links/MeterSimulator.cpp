#include "links/MeterSimulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace veska {

namespace {
constexpr int kMeterTickMs = 10;
constexpr std::size_t kMaxPending = 64 * 1024;  // beyond this nobody is reading
constexpr int kMaxPacketsPerTick = 10000;

void setCloseOnExec(int fd) { ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC); }
}  // namespace

MeterSimulator::MeterSimulator(QObject* parent) : QObject(parent) {
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &MeterSimulator::tick);
}

MeterSimulator::~MeterSimulator() {
    closeMaster();
    if (m_slave >= 0) ::close(m_slave);
}

bool MeterSimulator::open() {
    if (isOpen()) return true;
    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
        m_errorText = QStringLiteral("Cannot create a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        m_master = m_slave = -1;
        return false;
    }
    char name[256] = {};
    ::ttyname_r(m_slave, name, sizeof name);
    m_slavePath = QString::fromLocal8Bit(name);
    setCloseOnExec(m_master);
    setCloseOnExec(m_slave);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // Raw from the start: a cooked line discipline would turn 0x0D into 0x0A and echo
    // bytes back before the driver has opened the port. Our slave end stays open so the
    // pty lives on while the driver disconnects and connects again.
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B2400);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    return true;
}

void MeterSimulator::start() {
    if (!isOpen()) return;
    m_clock.start();
    m_nextDueMs = 0;
    const int interval = m_rate > 0 ? std::clamp(static_cast<int>(1000.0 / m_rate), 1, kMeterTickMs) : kMeterTickMs;
    m_timer.start(interval);
}

void MeterSimulator::stop() { m_timer.stop(); }

void MeterSimulator::closeMaster() {
    stop();
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
    m_pending.clear();
}

bool MeterSimulator::writeBytes(const std::uint8_t* data, std::size_t size) {
    if (!isOpen()) return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_master, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int MeterSimulator::lineBaudRate() const {
    termios tio{};
    // On Linux the master reports the slave's line settings.
    if (!isOpen() || ::tcgetattr(m_master, &tio) != 0) return 0;
    static constexpr struct {
        speed_t code;
        int baud;
    } kSpeeds[] = {{B110, 110},     {B300, 300},     {B600, 600},     {B1200, 1200},   {B2400, 2400},
                   {B4800, 4800},   {B9600, 9600},   {B19200, 19200}, {B38400, 38400}, {B57600, 57600},
                   {B115200, 115200}};
    const speed_t code = ::cfgetospeed(&tio);
    for (const auto& s : kSpeeds)
        if (s.code == code) return s.baud;
    return 0;
}

void MeterSimulator::tick() {
    queueDuePackets();
    flush();
}

void MeterSimulator::queueDuePackets() {
    const auto now = static_cast<double>(m_clock.elapsed());
    for (int queued = 0; now >= m_nextDueMs && queued < kMaxPacketsPerTick; ++queued) {
        const MeterScenario::Step step = m_scenario.step(m_step++);
        m_pending.insert(m_pending.end(), step.bytes.begin(), step.bytes.end());
        // A real meter sends every 0.4 to 0.5 s; the spread comes from the step number.
        m_nextDueMs += m_rate > 0 ? 1000.0 / m_rate : 400.0 + static_cast<double>((m_step * 37) % 101);
    }
    if (now >= m_nextDueMs) m_nextDueMs = now;  // far behind: do not try to catch up
    if (m_pending.size() > kMaxPending) {
        m_bytesDropped += m_pending.size();
        m_pending.clear();
    }
}

void MeterSimulator::flush() {
    if (!m_oddChunks) {
        writeSome(m_pending.size());
        return;
    }
    // Like a meter: a few bytes per tick. At a set rate: every piece now, one write each.
    do {
        if (writeSome(std::min(nextChunkSize(), m_pending.size())) == 0) return;
    } while (m_rate > 0 && !m_pending.empty());
}

std::size_t MeterSimulator::writeSome(std::size_t count) {
    if (count == 0 || !isOpen()) return 0;
    const ssize_t n = ::write(m_master, m_pending.data(), count);
    if (n <= 0) return 0;  // full (EAGAIN): the rest waits for the next tick
    m_pending.erase(m_pending.begin(), m_pending.begin() + n);
    return static_cast<std::size_t>(n);
}

std::size_t MeterSimulator::nextChunkSize() {
    constexpr std::size_t kSizes[] = {3, 1, 5, 2, 6, 4, 1, 3, 5};
    return kSizes[m_chunkCounter++ % std::size(kSizes)];
}

}  // namespace veska
