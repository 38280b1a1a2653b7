// veska: headless logging, the meter check and the data-file commands for scripts, on
// QtCore alone. The window and the printed report are handed to veska-window.
#include "app/CommandLine.h"
#include "app/DataFileCli.h"
#include "app/GuardedApplication.h"
#include "app/HeadlessLogger.h"
#include "app/MeterDoctor.h"
#include "app/WindowProgram.h"
#include "links/HidDeviceMonitor.h"
#include "links/HidapiPlatform.h"
#include "links/SimulatedMeters.h"
#include "links/UsbConnection.h"
#include "session/MeterSession.h"

#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace {

void printError(const QString& text) {
    std::fprintf(stderr, "veska: %s\n", text.toLocal8Bit().constData());
}

// `--doctor --list`: the meter links this program would take, one line each and without
// listening: "usb<TAB>CAPTION" for the "USB to Serial" cable it picks (by the same rule as
// a run), "serial<TAB>PATH<TAB>DESCRIPTION" for each serial device. 0 when anything is listed.
int listMeterLinks(const veska::CommandLine& cl) {
    veska::SimulatedMeters simulated;
    std::shared_ptr<veska::HidPlatform> hid = cl.simulate == veska::CommandLine::Simulate::Usb
                                                  ? simulated.startUsb(cl.rate)
                                                  : std::make_shared<veska::HidapiPlatform>();
    veska::HidDeviceMonitor monitor(std::move(hid));
    veska::UsbConnection usb(monitor, veska::UsbReportRoute::None, 2400);
    QStringList lines;
    if (const int row = usb.selectedRow(); row >= 0)
        lines << QStringLiteral("usb\t%1").arg(usb.deviceListModel()->stringList().value(row));
    for (const veska::SerialDeviceDescription& d : veska::MeterSession::serialDevices())
        lines << QStringLiteral("serial\t%1\t%2").arg(d.path, d.description);
    for (const QString& line : lines) std::printf("%s\n", line.toLocal8Bit().constData());
    return lines.isEmpty() ? 1 : 0;
}

// Examines every candidate device and prints what it found; 0 when a meter answered.
int runDoctor(const veska::CommandLine& cl) {
    if (cl.listOnly) return listMeterLinks(cl);
    veska::MeterDoctor::Options options;
    veska::SimulatedMeters simulated;
    for (const auto& [n, path] : cl.portMap) options.extraSerial.emplace_back(QStringLiteral("COM%1").arg(n), path);
    if (cl.port) options.extraSerial.emplace_back(QString(), *cl.port);
    if (cl.simulate == veska::CommandLine::Simulate::Serial) {
        if (!simulated.startSerial(cl.rate)) {
            printError(QStringLiteral("cannot start the simulated meter: %1").arg(simulated.errorText()));
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
    const auto cl = veska::CommandLine::parseProgramArguments(argc, argv, stderr);
    if (!cl) return 2;
    switch (cl->mode) {
    case veska::CommandLine::Mode::Help:
        std::fputs(veska::CommandLine::usage().toLocal8Bit().constData(), stdout);
        return 0;
    case veska::CommandLine::Mode::Version:
        std::fputs("veska " VESKA_VERSION "\n", stdout);
        return 0;
    case veska::CommandLine::Mode::Window:
    case veska::CommandLine::Mode::Print:
    case veska::CommandLine::Mode::Plot:
        printError(veska::WindowProgram::replaceProcess(argv));
        return 127;  // as a shell reports a program it cannot run
    default:
        break;
    }

    veska::GuardedApplication<QCoreApplication> app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Veska"));

    switch (cl->mode) {
    case veska::CommandLine::Mode::Export: {
        const QString failure = veska::DataFileCli::exportTable(cl->exportTable, cl->exportOut);
        if (!failure.isEmpty()) printError(failure);
        return failure.isEmpty() ? 0 : 1;
    }
    case veska::CommandLine::Mode::Stats: {
        QString text;
        const QString failure = veska::DataFileCli::statistics(cl->statsTable, text);
        if (!failure.isEmpty()) {
            printError(failure);
            return 1;
        }
        std::fputs(text.toUtf8().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    case veska::CommandLine::Mode::Doctor:
        return runDoctor(*cl);
    default: {
        veska::HeadlessLogger logger(*cl, {});
        return logger.run();
    }
    }
}
