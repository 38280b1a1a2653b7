// veska-window: the window and the printed report, the modes that need the GUI libraries.
// `veska` hands them over here (WindowProgram); every other mode is veska's alone.
#include "app/CommandLine.h"
#include "app/GuardedApplication.h"
#include "app/PlotCli.h"
#include "app/ReportCli.h"
#include "links/HidDeviceMonitor.h"
#include "links/HidapiPlatform.h"
#include "links/PortMap.h"
#include "links/SimulatedMeters.h"
#include "ui/ArialFont.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxDialogs.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>

namespace {

using WindowApplication = veska::GuardedApplication<QApplication>;

void printError(const QString& text) {
    std::fprintf(stderr, "veska: %s\n", text.toLocal8Bit().constData());
}

// Without a display the printed report still needs fonts: the offscreen platform has them.
void useOffscreenWithoutDisplay() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

int runWindow(WindowApplication& app, const veska::CommandLine& cl) {
    veska::ArialFont::installWindowFonts();

    veska::MainWindow::Options options;
    for (const auto& [n, path] : cl.portMap) {
        options.portMap.setPath(*veska::portFromNumber(n), path);
        options.portsFromCommandLine[static_cast<std::size_t>(n - 1)] = true;
    }
    veska::SimulatedMeters simulated;
    if (cl.simulate == veska::CommandLine::Simulate::Serial) {
        if (!simulated.startSerial(cl.rate)) {
            printError(QStringLiteral("cannot start the simulated meter: %1").arg(simulated.errorText()));
            return 1;
        }
        options.portMap.setPath(veska::ComPortNumber::Com1, simulated.serialPath());
        options.portsFromCommandLine[0] = true;
    }
    // The process's one device monitor: the simulated cable, or the machine's HID devices.
    std::shared_ptr<veska::HidPlatform> hid;
    if (cl.simulate == veska::CommandLine::Simulate::Usb) {
        hid = simulated.startUsb(cl.rate);
    } else {
        hid = std::make_shared<veska::HidapiPlatform>();
    }
    options.deviceMonitor = std::make_shared<veska::HidDeviceMonitor>(std::move(hid));
    veska::MainWindow window(options);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        window.move(screen->availableGeometry().center() - window.rect().center());  // centred, as it opens
    }
    veska::MessageBoxDialogs boxes(&window);
    app.setReporter([&boxes](const QString& text) { boxes.error(text); });
    window.show();
    const int status = QApplication::exec();
    app.setReporter({});
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    const auto cl = veska::CommandLine::parseProgramArguments(argc, argv, stderr);
    if (!cl) return 2;
    const bool picture = cl->mode == veska::CommandLine::Mode::Print || cl->mode == veska::CommandLine::Mode::Plot;
    if (cl->mode != veska::CommandLine::Mode::Window && !picture) {
        printError(QStringLiteral("this program shows the window and prints reports; run veska for the rest"));
        return 2;
    }
    if (picture) useOffscreenWithoutDisplay();

    WindowApplication app(argc, argv);
    // The application title of the boxes. No display name: the toolkit would append it to
    // every window title ("... _Ver: 1.00 - Veska").
    QApplication::setApplicationName(QStringLiteral("Veska"));
    // Desktops match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.veska.Veska"));

    if (cl->mode == veska::CommandLine::Mode::Print) {
        const QString failure = veska::ReportCli::printTable(cl->printTable, cl->pdfOut);
        if (!failure.isEmpty()) printError(failure);
        return failure.isEmpty() ? 0 : 1;
    }
    if (cl->mode == veska::CommandLine::Mode::Plot) {
        const QString failure = veska::PlotCli::plot(*cl);
        if (!failure.isEmpty()) printError(failure);
        return failure.isEmpty() ? 0 : 1;
    }
    return runWindow(app, *cl);
}
