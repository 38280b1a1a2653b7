// Headless logging end to end, as a user runs it: the real `veska --headless` binary in a
// child process, reading a pseudo-terminal that this program feeds, recording every packet
// (table and recovery journal) and printing every row to a pipe that this program drains.
//
//   bench_headless [--packets N] [--runs R] [--idle SECONDS] [--veska PATH]
//
// Per run: the child is started on the pty; probe packets go out every 20 ms until its
// first row comes back (the port is open and purged by then); then N packets of 1,000
// distinct values are written as fast as the pty takes them; once every row has come back
// the child is asked to stop (SIGTERM: it ends the normal way) and its resource usage is
// taken from wait4. Reported: CPU (user + system) per packet for the whole child process,
// the same less a run that only starts, logs one row and stops, and the peak resident
// memory (ru_maxrss). The median of the runs is printed last.
//
// --idle S: the child stays connected to the silent pty for S seconds after its first row;
// its CPU over that time (from /proc/<pid>/stat) is printed as percent of one core.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#ifndef VESKA_BINARY
#define VESKA_BINARY "veska"
#endif

namespace {

using Clock = std::chrono::steady_clock;

// One packet as the meter sends it: DC volts, auto range, value 1.000 to 1.999 V.
std::string Packet(int value) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04d", 1000 + value % 1000);
    std::string p;
    p += '+';
    p += digits;
    p += ' ';
    p += '1';                           // point after the first digit
    p += static_cast<char>(0x20 | 0x10);  // AUTO, DC
    p += '\0';
    p += '\0';
    p += static_cast<char>(0x80);  // volt
    p += '\0';
    p += '\r';
    p += '\n';
    return p;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, std::min<std::size_t>(size, 4096));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// utime + stime of a running process, in seconds (clock ticks of /proc).
double ProcCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

struct RunResult {
    bool ok = false;
    long rows = 0;
    double cpuSeconds = 0;
    double userSeconds = 0;
    double systemSeconds = 0;
    double wallSeconds = 0;
    double peakMb = 0;
    double idlePercent = -1;
};

RunResult RunOnce(const std::string& veska, long packets, double idleSeconds) {
    RunResult result;
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return result;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    char name[256] = {};
    ::ttyname_r(slave, name, sizeof name);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);

    char dirTemplate[] = "/tmp/bench_headless.XXXXXX";
    const char* dir = ::mkdtemp(dirTemplate);
    int out[2];
    if (dir == nullptr || ::pipe2(out, O_CLOEXEC) != 0) {
        std::perror("bench_headless");
        return result;
    }
    const std::string errPath = std::string(dir) + "/stderr.txt";

    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(dir) != 0) ::_exit(127);
        ::dup2(out[1], 1);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) ::dup2(err, 2);
        ::execl(veska.c_str(), veska.c_str(), "--headless", "--port", name, "--limit", "10000000",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    const auto started = Clock::now();

    std::atomic<long> rows{0};
    std::thread reader([fd = out[0], &rows] {
        std::vector<char> buffer(1 << 16);
        for (;;) {
            const ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            rows += std::count(buffer.data(), buffer.data() + n, '\n');
        }
    });

    const auto waitRows = [&rows](long wanted, double seconds) {
        const auto until = Clock::now() + std::chrono::duration<double>(seconds);
        while (rows.load() < wanted && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return rows.load() >= wanted;
    };

    // Probes until the child shows it reads: bytes written before its open are purged.
    int probe = 0;
    bool alive = false;
    for (int i = 0; i < 500 && !alive; ++i) {
        const std::string p = Packet(probe++);
        WriteAll(master, p.data(), p.size());
        alive = waitRows(1, 0.02);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const long before = rows.load();

    if (alive && idleSeconds > 0) {
        const double cpu0 = ProcCpuSeconds(child);
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
        const double cpu1 = ProcCpuSeconds(child);
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        result.idlePercent = 100.0 * (cpu1 - cpu0) / wall;
    }

    bool complete = alive;
    if (alive && packets > 0) {
        std::string stream;
        stream.reserve(static_cast<std::size_t>(packets) * 14);
        for (long n = 0; n < packets; ++n) stream += Packet(static_cast<int>(n));
        complete = WriteAll(master, stream.data(), stream.size()) && waitRows(before + packets, 300);
    }
    ::kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    result.wallSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    reader.join();
    ::close(out[0]);
    ::close(master);
    ::close(slave);

    result.rows = rows.load();
    result.userSeconds = Seconds(usage.ru_utime);
    result.systemSeconds = Seconds(usage.ru_stime);
    result.cpuSeconds = result.userSeconds + result.systemSeconds;
    result.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    result.ok = complete && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!result.ok) {
        std::ifstream err(errPath);
        std::fprintf(stderr, "run failed (status %d, %ld rows of %ld); child's stderr:\n%s\n", status, result.rows,
                     before + packets, std::string((std::istreambuf_iterator<char>(err)), {}).c_str());
    }
    const std::string cleanup = std::string("rm -rf '") + dir + "'";
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir);
    return result;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    long packets = 100000;
    int runs = 3;
    double idle = 0;
    std::string veska = VESKA_BINARY;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--packets" && hasValue) {
            packets = std::atol(argv[++i]);
        } else if (a == "--runs" && hasValue) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--idle" && hasValue) {
            idle = std::atof(argv[++i]);
        } else if (a == "--veska" && hasValue) {
            veska = argv[++i];
        } else {
            std::fprintf(stderr, "usage: bench_headless [--packets N] [--runs R] [--idle SECONDS] [--veska PATH]\n");
            return 2;
        }
    }
    std::signal(SIGPIPE, SIG_IGN);

    if (idle > 0) {
        const RunResult r = RunOnce(veska, 0, idle);
        if (!r.ok) return 1;
        std::printf("idle, connected to a silent pty for %.0f s: %.3f %% of one core (peak RSS %.1f MB)\n", idle,
                    r.idlePercent, r.peakMb);
        return 0;
    }

    // Start-up, one row and the stop, to tell the per-packet cost from the fixed one.
    std::vector<double> baseCpu;
    for (int i = 0; i < runs; ++i) {
        const RunResult r = RunOnce(veska, 0, 0);
        if (!r.ok) return 1;
        baseCpu.push_back(r.cpuSeconds);
        std::printf("start, one row, stop: CPU %.3f s (user %.3f, system %.3f), peak RSS %.1f MB\n", r.cpuSeconds,
                    r.userSeconds, r.systemSeconds, r.peakMb);
    }
    const double base = Median(baseCpu);

    std::vector<double> perPacket, netPerPacket, peak, wall;
    for (int i = 0; i < runs; ++i) {
        const RunResult r = RunOnce(veska, packets, 0);
        if (!r.ok) return 1;
        const double us = 1e6 * r.cpuSeconds / static_cast<double>(r.rows);
        const double net = 1e6 * (r.cpuSeconds - base) / static_cast<double>(packets);
        perPacket.push_back(us);
        netPerPacket.push_back(net);
        peak.push_back(r.peakMb);
        wall.push_back(r.wallSeconds);
        std::printf("%ld rows: CPU %.3f s (user %.3f, system %.3f) = %.2f us per packet (%.2f us less start-up), "
                    "peak RSS %.1f MB, wall %.2f s\n",
                    r.rows, r.cpuSeconds, r.userSeconds, r.systemSeconds, us, net, r.peakMb, r.wallSeconds);
    }
    std::printf("median of %d runs: %.2f us CPU per packet (whole process), %.2f us less start-up and stop "
                "(%.3f s), peak RSS %.1f MB, wall %.2f s\n",
                runs, Median(perPacket), Median(netPerPacket), base, Median(peak), Median(wall));
    return 0;
}
