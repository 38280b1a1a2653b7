// Serial receive path through a real pseudo-terminal.
//
//   bench_serial                 both benchmarks
//   bench_serial --benchmark_filter=Idle
//
// PtyThroughput: 100,000 scenario packets written by a second thread as fast as the pty
// takes them, polled by the driver (1 ms ticks of up to 2048 bytes), framed and decoded.
// Counters: CPU ms per 1,000 packets for the whole process (writer included) and for the
// UI thread alone (driver + framing + decode), and peak resident memory.
//
// IdleConnected: the driver as the window runs it (100 ms ticks) on a silent port for 3 s;
// counter: percent of one core.

#include "protocol/PacketDecoder.h"
#include "protocol/VeskaSerialFraming.h"
#include "links/MeterScenario.h"
#include "links/SerialPortDriver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cerrno>
#include <ctime>
#include <thread>
#include <vector>

#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

using namespace veska;

namespace {

struct Pty {
    int master = -1;
    int slave = -1;
    QString path;

    Pty() {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return;
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        char name[256] = {};
        ::ttyname_r(slave, name, sizeof name);
        path = QString::fromLocal8Bit(name);
    }
    ~Pty() {
        if (master >= 0) ::close(master);
        if (slave >= 0) ::close(slave);
    }
    bool ok() const { return master >= 0; }
};

double ProcessCpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double PeakRssMegabytes() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t piece = std::min<std::size_t>(4096, bytes.size() - done);
        const ssize_t n = ::write(fd, bytes.data() + done, piece);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void PtyThroughput(benchmark::State& state) {
    const auto packets = static_cast<std::uint64_t>(state.range(0));
    const MeterScenario scenario;
    std::vector<std::uint8_t> stream{0x0A};
    std::size_t expected = 0;
    for (std::uint64_t n = 0; n < packets; ++n) {
        const MeterScenario::Step step = scenario.step(n);
        stream.insert(stream.end(), step.bytes.begin(), step.bytes.end());
        expected += step.broken ? 0 : 1;
    }

    for (auto _ : state) {
        Pty pty;
        if (!pty.ok()) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        PortMap map;
        map.setPath(ComPortNumber::Com1, pty.path);
        SerialPortDriver driver;
        driver.setPortMap(map);
        driver.setComPortSpeed(ComPortBaudRate::Baud2400);
        driver.setComPortPollingDelay(1);

        std::size_t accepted = 0;
        std::size_t decodeFailures = 0;
        DecodeResult decoded;
        VeskaSerialFraming framing([&](std::string_view text) {
            decodePacket(text, 6000, decoded);
            ++accepted;
            decodeFailures += decoded.ok ? 0 : 1;
        });
        driver.setOnReceiveData([&](const std::uint8_t* d, std::size_t n) { framing.feed(d, n); });
        if (!driver.connectPort()) {
            state.SkipWithError("cannot open the pty");
            return;
        }

        const double cpu0 = ProcessCpuSeconds();
        const double thread0 = ThreadCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        std::thread writer([&] { WriteAll(pty.master, stream); });
        // Blocks between events; the driver's ticks wake it.
        while (accepted < expected && wall.elapsed() < 300000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        writer.join();
        const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);

        const double perThousand = 1000.0 / static_cast<double>(packets);
        state.counters["cpu_ms_per_1000_packets"] = (ProcessCpuSeconds() - cpu0) * 1000.0 * perThousand;
        state.counters["ui_thread_cpu_ms_per_1000"] = (ThreadCpuSeconds() - thread0) * 1000.0 * perThousand;
        state.counters["packets_per_s"] = static_cast<double>(accepted) / seconds;
        state.counters["accepted"] = static_cast<double>(accepted);
        state.counters["expected"] = static_cast<double>(expected);
        state.counters["decode_failures"] = static_cast<double>(decodeFailures);
    }
    state.counters["peak_rss_MB"] = PeakRssMegabytes();
}
BENCHMARK(PtyThroughput)->Arg(100000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void IdleConnected(benchmark::State& state) {
    for (auto _ : state) {
        Pty pty;
        PortMap map;
        map.setPath(ComPortNumber::Com1, pty.path);
        SerialPortDriver driver;
        driver.setPortMap(map);
        driver.setComPortSpeed(ComPortBaudRate::Baud2400);
        driver.setComPortPollingDelay(static_cast<std::uint16_t>(state.range(0)));
        std::size_t calls = 0;
        driver.setOnReceiveData([&](const std::uint8_t*, std::size_t) { ++calls; });
        if (!pty.ok() || !driver.connectPort()) {
            state.SkipWithError("cannot open the pty");
            return;
        }
        const double cpu0 = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        loop.exec();
        const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        state.counters["cpu_percent_of_core"] = (ProcessCpuSeconds() - cpu0) / seconds * 100.0;
        state.counters["handler_calls"] = static_cast<double>(calls);
    }
}
BENCHMARK(IdleConnected)->Arg(100)->Arg(50)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
