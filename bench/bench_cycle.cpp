// The whole window's reading update cycle, packet after packet: decode, panel, limits,
// peaks, gauge, recording (limitless), bar and chart, on the offscreen platform.
// Prints the median cost per packet and how the cost around the 100,000th packet compares
// with the cost around the 100th. Run: bench_cycle [packets] [--paint]
#include "ui/MainWindow.h"
#include "ui/UserDialogs.h"
#include "session/Recorder.h"
#include "links/MeterScenario.h"
#include "protocol/HexText.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

class SilentDialogs : public veska::UserDialogs {
public:
    void information(const QString&) override {}
    void error(const QString&) override {}
    bool askYesNo(const QString&) override { return false; }
    SaveChoice askSaveUnsaved(const QString&) override { return SaveChoice::Discard; }
    QString chooseFile(const veska::FileDialogSpec&) override { return {}; }
    void showPrintPreview(QPrinter&, const std::function<void(QPrinter*)>&) override {}
};

// Packet texts as the serial framing hands them on (sign byte to end byte).
std::vector<std::string> Packets(std::size_t count) {
    veska::MeterScenario scenario(7);
    std::vector<std::string> out;
    for (std::uint64_t n = 0; out.size() < count; ++n) {
        const veska::MeterScenario::Step step = scenario.step(n);
        if (step.broken) continue;
        std::string text;
        for (std::size_t i = 0; i < 13; ++i) veska::appendHexByte(text, step.bytes[i]);
        out.push_back(text);
    }
    return out;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::size_t count = argc > 1 && argv[1][0] != '-' ? std::stoul(argv[1]) : 100000;
    const bool paint = QCoreApplication::arguments().contains(QStringLiteral("--paint"));

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    SilentDialogs dialogs;
    veska::MainWindow::Options options;
    options.dialogs = &dialogs;
    veska::MainWindow window(options);
    window.show();
    window.recorder().setRecordLimit(veska::Recorder::kLimitless);
    QCoreApplication::processEvents();

    const std::vector<std::string> packets = Packets(count);
    std::vector<double> micros(packets.size());
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        window.handlePacket(packets[i]);
        // As between two packets of a running program: the event loop paints what changed.
        if (paint) QCoreApplication::processEvents();
        micros[i] = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    }
    const std::size_t window1 = std::min<std::size_t>(1000, packets.size() / 4);
    const std::vector<double> early(micros.begin() + static_cast<long>(std::min<std::size_t>(100, packets.size() / 10)),
                                    micros.begin() + static_cast<long>(std::min<std::size_t>(100, packets.size() / 10) + window1));
    const std::vector<double> late(micros.end() - static_cast<long>(window1), micros.end());
    const double e = Median(early);
    const double l = Median(late);
    std::printf("packets %zu%s, rows %lld\n", packets.size(), paint ? " (painted after each)" : "",
                static_cast<long long>(window.recorder().recordedRows()));
    std::printf("median cost per packet: %.1f us\n", Median(micros));
    std::printf("median around packet 100: %.1f us, around packet %zu: %.1f us, ratio %.2f\n", e, packets.size(), l,
                l / e);
    window.recorder().setConfirmHook({});
    return 0;
}
