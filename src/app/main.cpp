// Program entry: the window by default; headless logging, export and print for scripts.
#include "app/CommandLine.h"
#include "app/GuardedApplication.h"
#include "app/HeadlessLogger.h"
#include "ui/MessageBoxDialogs.h"
#include "app/MeterDoctor.h"
#include "links/SimulatedMeters.h"
#include "ui/MainWindow.h"
#include "ui/ArialFont.h"
#include "links/HidapiPlatform.h"
#include "app/DataFileCli.h"
#include "links/PortMap.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <memory>

namespace {

void PrintError(const QString& text) {
    std::fprintf(stderr, "veska: %s\n", text.toLocal8Bit().constData());
}

// Without a display the GUI-less modes still need fonts for the printed report.
void UseOffscreenWithoutDisplay() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

int RunWindow(veska::GuardedApplication& app, const veska::CommandLine& cl) {
    veska::ArialFont::installWindowFonts();

    veska::MainWindow::Options options;
    for (const auto& [n, path] : cl.portMap) {
        options.portMap.setPath(*veska::portFromNumber(n), path);
        options.portsFromCommandLine[static_cast<std::size_t>(n - 1)] = true;
    }
    veska::SimulatedMeters simulated;
    if (cl.simulate == veska::CommandLine::Simulate::Serial) {
        if (!simulated.startSerial(cl.rate)) {
            PrintError(QStringLiteral("cannot start the simulated meter: %1").arg(simulated.errorText()));
            return 1;
        }
        options.portMap.setPath(veska::ComPortNumber::pnCOM1, simulated.serialPath());
        options.portsFromCommandLine[0] = true;
    } else if (cl.simulate == veska::CommandLine::Simulate::Usb) {
        options.hidPlatform = simulated.startUsb(cl.rate);
    }
    veska::MainWindow FCOMM(options);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        FCOMM.move(screen->availableGeometry().center() - FCOMM.rect().center());  // centred, as it opens
    }
    veska::MessageBoxDialogs boxes(&FCOMM);
    app.setReporter([&boxes](const QString& text) { boxes.error(text); });
    FCOMM.show();
    const int status = QApplication::exec();
    app.setReporter({});
    return status;
}

// Examines every candidate device and prints what it found; 0 when a meter answered.
int RunDoctor(const veska::CommandLine& cl) {
    veska::MeterDoctor::Options options;
    veska::SimulatedMeters simulated;
    for (const auto& [n, path] : cl.portMap) options.extraSerial.emplace_back(QStringLiteral("COM%1").arg(n), path);
    if (cl.port) options.extraSerial.emplace_back(QString(), *cl.port);
    if (cl.simulate == veska::CommandLine::Simulate::Serial) {
        if (!simulated.startSerial(cl.rate)) {
            PrintError(QStringLiteral("cannot start the simulated meter: %1").arg(simulated.errorText()));
            return 1;
        }
        options.extraSerial.emplace_back(QStringLiteral("COM1 (simulated meter)"), simulated.serialPath());
        options.machineSerialPorts = false;
    } else if (cl.simulate == veska::CommandLine::Simulate::Usb) {
        options.hid = simulated.startUsb(cl.rate);
        options.machineSerialPorts = false;
    } else {
        options.hid = std::make_shared<veska::HidapiPlatform>();
    }
    options.progress = [](const QString& text) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    };
    veska::MeterDoctor doctor(options);
    const auto findings = doctor.examine();
    std::fputs(veska::MeterDoctor::report(findings, options.listenMs).toLocal8Bit().constData(), stdout);
    return veska::MeterDoctor::meterFound(findings) ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    QString error;
    const auto cl = veska::CommandLine::parse(args, error);
    if (!cl) {
        PrintError(error);
        std::fputs(veska::CommandLine::usage().toLocal8Bit().constData(), stderr);
        return 2;
    }
    if (cl->mode == veska::CommandLine::Mode::Help) {
        std::fputs(veska::CommandLine::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (cl->mode == veska::CommandLine::Mode::Version) {
        std::fputs("veska " VESKA_VERSION "\n", stdout);
        return 0;
    }
    if (cl->mode != veska::CommandLine::Mode::Window) UseOffscreenWithoutDisplay();

    veska::GuardedApplication app(argc, argv);
    // The application title of the boxes. No display name: the toolkit would append it to
    // every window title ("... _Ver: 1.00 - Veska").
    QApplication::setApplicationName(QStringLiteral("Veska"));
    // Desktops match the window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.veska.Veska"));

    switch (cl->mode) {
    case veska::CommandLine::Mode::Export:
    case veska::CommandLine::Mode::Print: {
        const QString failure = cl->mode == veska::CommandLine::Mode::Export
                                    ? veska::DataFileCli::exportTable(cl->exportTable, cl->exportOut)
                                    : veska::DataFileCli::printTable(cl->printTable, cl->pdfOut);
        if (!failure.isEmpty()) PrintError(failure);
        return failure.isEmpty() ? 0 : 1;
    }
    case veska::CommandLine::Mode::Stats: {
        QString text;
        const QString failure = veska::DataFileCli::statistics(cl->statsTable, text);
        if (!failure.isEmpty()) {
            PrintError(failure);
            return 1;
        }
        std::fputs(text.toUtf8().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    case veska::CommandLine::Mode::Doctor:
        return RunDoctor(*cl);
    case veska::CommandLine::Mode::Headless: {
        veska::HeadlessLogger logger(*cl, {});
        return logger.run();
    }
    default:
        return RunWindow(app, *cl);
    }
}
