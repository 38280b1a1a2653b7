#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace veska {

// What the program was asked to do on its command line.
struct CommandLine {
    enum class Simulate { None, Serial, Usb };
    enum class Mode { Window, Headless, Export, Print, Plot, Stats, Help, Version, Doctor };
    enum class Format { Tsv, Csv, Jsonl };

    Mode mode = Mode::Window;
    Simulate simulate = Simulate::None;
    int rate = 0;                                    // simulated packets per second; 0 = like a real meter
    std::vector<std::pair<int, QString>> portMap;    // --port COMn=PATH
    std::optional<QString> port;                     // headless, doctor: --port COMn|PATH
    bool usb = false;                                // headless: read the USB cable
    bool listOnly = false;                           // --doctor --list: name what is attached, without listening
    std::optional<int> samples;                      // headless: stop after N recorded rows
    std::optional<int> interval;                     // headless: sampling interval in seconds
    bool noRepeat = false;                           // headless: suppress repeated readings
    std::optional<int> limit;                        // headless: record limit
    std::optional<QString> save;                     // headless: save the table here at the end
    std::optional<QString> mqttUrl;                  // headless: publish to this broker
    QString mqttTopic;                               // headless: topic prefix; empty: the default
    QString mqttCa;                                  // headless: CA file for mqtts://
    QString mqttPasswordFile;                        // headless: the broker password, kept out of ps
    Format format = Format::Tsv;                     // headless: --format tsv|csv|jsonl
    QString exportTable, exportOut;                  // --export TABLE OUT
    QString printTable, pdfOut;                      // --print TABLE --pdf OUT
    QString statsTable;                              // --stats TABLE
    QString plotTable, plotOut;                      // --plot TABLE OUT.(png|svg|pdf)
    QSize plotSize{1200, 700};                       // --plot: --size WxH
    QString plotFrom, plotTo;                        // --plot: --from TIME, --to TIME (empty: the run's ends)
    std::optional<std::pair<double, double>> plotY;  // --plot: --y MIN:MAX (none: fitted to what is shown)

    // Parses the arguments after the program name. On a mistake returns nothing and
    // sets 'error' to a message for standard error.
    static std::optional<CommandLine> parse(const QStringList& args, QString& error);
    static QString usage();
    // parse() on a program's own arguments; a mistake is told on `err` ("veska: <why>" and
    // the usage) and gives nothing (exit with status 2).
    static std::optional<CommandLine> parseProgramArguments(int argc, char** argv, std::FILE* err);
};

}  // namespace veska
