#include "app/CommandLine.h"

#include "network/MqttBrokerUrl.h"

#include <QRegularExpression>

#include <cmath>

namespace veska {

namespace {

// An argument that looks like an option is one, never a value: "--export src.db --help"
// must not write a file named "--help". (A file of such a name is reached as ./--help.)
bool looksLikeOption(const QString& arg) { return arg.startsWith(QLatin1String("--")) || arg == QLatin1String("-h"); }

bool takeValue(const QStringList& args, int& i, const QString& name, QString& value, QString& error) {
    if (i + 1 >= args.size()) {
        error = QStringLiteral("%1 needs a value").arg(name);
        return false;
    }
    if (looksLikeOption(args[i + 1])) {
        error = QStringLiteral("%1 needs a value before the option '%2'").arg(name, args[i + 1]);
        return false;
    }
    value = args[++i];
    return true;
}

bool takeNumber(const QStringList& args, int& i, const QString& name, int minimum, std::optional<int>& out,
                QString& error) {
    QString text;
    if (!takeValue(args, i, name, text, error)) return false;
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < minimum) {
        error = QStringLiteral("%1 needs a whole number of at least %2, not '%3'").arg(name).arg(minimum).arg(text);
        return false;
    }
    out = v;
    return true;
}

bool parsePort(const QString& value, CommandLine& cl, QString& error) {
    static const QRegularExpression mapping(QStringLiteral("^COM([1-4])=(.+)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto m = mapping.match(value);
    if (m.hasMatch()) {
        cl.portMap.emplace_back(m.captured(1).toInt(), m.captured(2));
        return true;
    }
    if (value.trimmed().isEmpty()) {
        error = QStringLiteral("--port needs a port: COM1..COM4, COMn=PATH or a device path");
        return false;
    }
    if (value.contains(QLatin1Char('='))) {
        error = QStringLiteral("--port: '%1' is not COM1..COM4=PATH").arg(value);
        return false;
    }
    if (cl.port) {
        error = QStringLiteral("--port: one port to read, not both %1 and %2").arg(*cl.port, value);
        return false;
    }
    cl.port = value;
    return true;
}

// The meter is read from one place: a port, the USB cable or the simulated meter.
bool checkSources(const CommandLine& cl, bool rateGiven, QString& error) {
    using Mode = CommandLine::Mode;
    if (cl.mode == Mode::Help || cl.mode == Mode::Version) return true;
    QStringList sources;
    if (cl.port) sources << QStringLiteral("--port %1").arg(*cl.port);
    if (cl.usb) sources << QStringLiteral("--usb");
    if (cl.simulate != CommandLine::Simulate::None)
        sources << (cl.simulate == CommandLine::Simulate::Usb ? QStringLiteral("--simulate=usb") : QStringLiteral("--simulate"));
    if (rateGiven && cl.simulate == CommandLine::Simulate::None) {
        error = QStringLiteral("--rate sets the simulated meter's speed: it needs --simulate");
        return false;
    }
    if (cl.mode == Mode::Headless && sources.size() > 1) {
        error = QStringLiteral("read from one source, not %1").arg(sources.join(QStringLiteral(" and ")));
        return false;
    }
    if (cl.listOnly && cl.mode != Mode::Doctor) {
        error = QStringLiteral("--list works with --doctor");
        return false;
    }
    if (cl.mode != Mode::Headless && cl.mode != Mode::Doctor && (cl.port || cl.usb)) {
        error = QStringLiteral("%1 works with --headless or --doctor; the window takes --port COMn=PATH")
                    .arg(cl.port ? QStringLiteral("--port %1").arg(*cl.port) : QStringLiteral("--usb"));
        return false;
    }
    return true;
}

}  // namespace

std::optional<CommandLine> CommandLine::parse(const QStringList& args, QString& error) {
    CommandLine cl;
    bool rateGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString v;
        std::optional<int> n;
        if (a == "--headless") {
            cl.mode = Mode::Headless;
        } else if (a == "--doctor") {
            cl.mode = Mode::Doctor;
        } else if (a == "--simulate" || a == "--simulate=serial") {
            cl.simulate = Simulate::Serial;
        } else if (a == "--simulate=usb") {
            cl.simulate = Simulate::Usb;
        } else if (a == "--usb") {
            cl.usb = true;
        } else if (a == "--list") {
            cl.listOnly = true;
        } else if (a == "--rate") {
            if (!takeNumber(args, i, a, 1, n, error)) return std::nullopt;
            cl.rate = *n;
            rateGiven = true;
        } else if (a == "--port") {
            if (!takeValue(args, i, a, v, error) || !parsePort(v, cl, error)) return std::nullopt;
        } else if (a == "--samples") {
            if (!takeNumber(args, i, a, 1, cl.samples, error)) return std::nullopt;
        } else if (a == "--interval") {
            if (!takeNumber(args, i, a, 0, cl.interval, error)) return std::nullopt;
        } else if (a == "--limit") {
            if (!takeNumber(args, i, a, 1, cl.limit, error)) return std::nullopt;
        } else if (a == "--no-repeat") {
            cl.noRepeat = true;
        } else if (a == "--save") {
            if (!takeValue(args, i, a, v, error)) return std::nullopt;
            cl.save = v;
        } else if (a == "--mqtt") {
            if (!takeValue(args, i, a, v, error)) return std::nullopt;
            QString why;
            if (!MqttBrokerUrl::parse(v, &why)) {
                error = QStringLiteral("--mqtt: %1").arg(why);
                return std::nullopt;
            }
            cl.mqttUrl = v;
        } else if (a == "--mqtt-topic") {
            if (!takeValue(args, i, a, cl.mqttTopic, error)) return std::nullopt;
            if (cl.mqttTopic.isEmpty() || cl.mqttTopic.contains(QLatin1Char('+')) || cl.mqttTopic.contains(QLatin1Char('#'))) {
                error = QStringLiteral("--mqtt-topic: '%1' is not a usable topic prefix (not empty, no + or #)").arg(cl.mqttTopic);
                return std::nullopt;
            }
        } else if (a == "--mqtt-ca") {
            if (!takeValue(args, i, a, cl.mqttCa, error)) return std::nullopt;
        } else if (a == "--mqtt-password-file") {
            if (!takeValue(args, i, a, cl.mqttPasswordFile, error)) return std::nullopt;
        } else if (a == "--format") {
            if (!takeValue(args, i, a, v, error)) return std::nullopt;
            if (v == QLatin1String("tsv")) {
                cl.format = Format::Tsv;
            } else if (v == QLatin1String("csv")) {
                cl.format = Format::Csv;
            } else if (v == QLatin1String("jsonl")) {
                cl.format = Format::Jsonl;
            } else {
                error = QStringLiteral("--format needs tsv, csv or jsonl, not '%1'").arg(v);
                return std::nullopt;
            }
        } else if (a == "--stats") {
            if (!takeValue(args, i, a, cl.statsTable, error)) return std::nullopt;
            cl.mode = Mode::Stats;
        } else if (a == "--export") {
            if (!takeValue(args, i, a, cl.exportTable, error) || !takeValue(args, i, a, cl.exportOut, error))
                return std::nullopt;
            cl.mode = Mode::Export;
        } else if (a == "--print") {
            if (!takeValue(args, i, a, cl.printTable, error)) return std::nullopt;
            cl.mode = Mode::Print;
        } else if (a == "--plot") {
            if (!takeValue(args, i, a, cl.plotTable, error) || !takeValue(args, i, a, cl.plotOut, error))
                return std::nullopt;
            cl.mode = Mode::Plot;
        } else if (a == "--size") {
            static const QRegularExpression size(QStringLiteral("^([0-9]{1,5})x([0-9]{1,5})$"));
            if (!takeValue(args, i, a, v, error)) return std::nullopt;
            const auto m = size.match(v);
            const int w = m.captured(1).toInt(), h = m.captured(2).toInt();
            if (!m.hasMatch() || w < 200 || h < 150 || w > 10000 || h > 10000) {
                error = QStringLiteral("--size needs WIDTHxHEIGHT in pixels, from 200x150 to 10000x10000, not '%1'").arg(v);
                return std::nullopt;
            }
            cl.plotSize = QSize(w, h);
        } else if (a == "--from") {
            if (!takeValue(args, i, a, cl.plotFrom, error)) return std::nullopt;
        } else if (a == "--to") {
            if (!takeValue(args, i, a, cl.plotTo, error)) return std::nullopt;
        } else if (a == "--y") {
            if (!takeValue(args, i, a, v, error)) return std::nullopt;
            const QStringList parts = v.split(QLatin1Char(':'));
            bool okLow = false, okHigh = false;
            const double low = parts.size() == 2 ? parts[0].toDouble(&okLow) : 0.0;
            const double high = parts.size() == 2 ? parts[1].toDouble(&okHigh) : 0.0;
            if (!okLow || !okHigh || !(low < high) || !std::isfinite(low) || !std::isfinite(high)) {
                error = QStringLiteral("--y needs MIN:MAX in the base unit with MIN below MAX, not '%1'").arg(v);
                return std::nullopt;
            }
            cl.plotY = std::pair{low, high};
        } else if (a == "--pdf") {
            if (!takeValue(args, i, a, cl.pdfOut, error)) return std::nullopt;
        } else if (a == "--help" || a == "-h") {
            cl.mode = Mode::Help;
        } else if (a == "--version") {
            cl.mode = Mode::Version;
        } else {
            error = QStringLiteral("unknown option '%1'").arg(a);
            return std::nullopt;
        }
    }
    if (!cl.mqttUrl && (!cl.mqttTopic.isEmpty() || !cl.mqttCa.isEmpty() || !cl.mqttPasswordFile.isEmpty())) {
        error = QStringLiteral("--mqtt-topic, --mqtt-ca and --mqtt-password-file need --mqtt URL");
        return std::nullopt;
    }
    if (!cl.mqttPasswordFile.isEmpty()) {
        const auto url = MqttBrokerUrl::parse(*cl.mqttUrl);
        if (url && url->hasPassword) {
            error = QStringLiteral("--mqtt-password-file: the URL holds a password already; give it one way");
            return std::nullopt;
        }
        if (url && url->user.isEmpty()) {
            error = QStringLiteral("--mqtt-password-file needs the user in the URL: mqtt://USER@host");
            return std::nullopt;
        }
    }
    if (cl.mqttUrl && cl.mode != Mode::Headless && cl.mode != Mode::Help && cl.mode != Mode::Version) {
        error = QStringLiteral("--mqtt works with --headless; in the window use Connect > Publish (MQTT)...");
        return std::nullopt;
    }
    const bool plotOptions = !cl.plotFrom.isEmpty() || !cl.plotTo.isEmpty() || cl.plotY || cl.plotSize != QSize(1200, 700);
    if (plotOptions && cl.mode != Mode::Plot && cl.mode != Mode::Help && cl.mode != Mode::Version) {
        error = QStringLiteral("--size, --from, --to and --y go with --plot TABLE OUT");
        return std::nullopt;
    }
    if (!checkSources(cl, rateGiven, error)) return std::nullopt;
    if (cl.mode == Mode::Print && cl.pdfOut.isEmpty()) {
        error = QStringLiteral("--print needs --pdf OUT.pdf");
        return std::nullopt;
    }
    return cl;
}

QString CommandLine::usage() {
    return QStringLiteral(
        "usage: veska [--simulate[=usb]] [--rate N] [--port COMn=PATH]...\n"
        "       veska --headless [--port COMn|PATH | --usb] [--simulate[=usb] [--rate N]] [--samples N]\n"
        "             [--interval S] [--no-repeat] [--limit N] [--save FILE]\n"
        "             [--mqtt URL [--mqtt-topic PREFIX] [--mqtt-ca FILE] [--mqtt-password-file FILE]]\n"
        "             [--format tsv|csv|jsonl]\n"
        "       veska --doctor [--port COMn=PATH | --port PATH]... [--simulate[=usb]]\n"
        "       veska --doctor --list   (the meter links attached: usb CAPTION, serial PATH DESCRIPTION)\n"
        "       veska --export TABLE OUT\n"
        "       veska --print TABLE --pdf OUT.pdf\n"
        "       veska --stats TABLE\n"
        "       veska --plot TABLE OUT.png|OUT.svg|OUT.pdf [--size WxH] [--from TIME] [--to TIME]\n"
        "             [--y MIN:MAX]   (TIME: ISO 8601 or a time of day such as 14:05:30)\n"
        "       veska --help | --version\n");
}

std::optional<CommandLine> CommandLine::parseProgramArguments(int argc, char** argv, std::FILE* err) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    QString error;
    auto parsed = parse(args, error);
    if (!parsed) {
        std::fprintf(err, "veska: %s\n", error.toLocal8Bit().constData());
        std::fputs(usage().toLocal8Bit().constData(), err);
    }
    return parsed;
}

}  // namespace veska
