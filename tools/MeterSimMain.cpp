// veska-meter-sim: a simulated meter on a pseudo-terminal.
//
//   veska-meter-sim [--rate N] [--chunks] [--seed S]
//
// Prints the pseudo-terminal's device path on the first line of standard output, then
// sends packets until killed: like a real meter (one every 0.4 to 0.5 s) or N per second.

#include "links/MeterSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("veska-meter-sim");

    QCommandLineParser parser;
    parser.setApplicationDescription("A simulated meter on a pseudo-terminal. Prints the device path, "
                                     "then sends packets until killed.");
    parser.addHelpOption();
    const QCommandLineOption rateOption("rate", "Send N packets per second instead of one every 0.4 to 0.5 s.", "N");
    const QCommandLineOption chunksOption("chunks", "Write packets in pieces of 1 to 6 bytes.");
    const QCommandLineOption seedOption("seed", "Vary the noise on the readings.", "S", "0");
    parser.addOptions({rateOption, chunksOption, seedOption});
    parser.process(app);

    veska::MeterSimulator simulator;
    if (parser.isSet(rateOption)) {
        bool ok = false;
        const double rate = parser.value(rateOption).toDouble(&ok);
        if (!ok || rate <= 0) {
            std::fprintf(stderr, "veska-meter-sim: --rate needs a positive number, not '%s'\n",
                         qPrintable(parser.value(rateOption)));
            return 2;
        }
        simulator.setRate(rate);
    }
    simulator.setOddChunks(parser.isSet(chunksOption));
    simulator.setScenario(veska::MeterScenario(parser.value(seedOption).toULongLong()));

    if (!simulator.open()) {
        std::fprintf(stderr, "veska-meter-sim: %s\n", qPrintable(simulator.errorText()));
        return 1;
    }
    std::printf("%s\n", qPrintable(simulator.slavePath()));
    std::fflush(stdout);
    simulator.start();
    return QCoreApplication::exec();
}
