// Writes pictures of the LCD panel and the gauge for the documentation:
//   display_doc_images <output directory>
// Not a test: run it by hand when the look of the display changes.
#include "ui/AnalogGauge.h"
#include "ui/LcdPanel.h"
#include "ui/LimitPanel.h"
#include "protocol/ScaleSet.h"
#include "session/NeedlePosition.h"

#include "protocol/LcdState.h"
#include "protocol/MeterReading.h"
#include "protocol/ScaleSet.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QDir>
#include <QImage>
#include <QPixmap>

#include <cstdio>

using namespace veska;

namespace {

struct Sample {
    const char* file;
    LcdState lcd;
    MeterReading reading;
};

LcdState digits(const char* d1, const char* d2, const char* d3, const char* d4, int point) {
    LcdState lcd;
    lcd.digit1 = d1;
    lcd.digit2 = d2;
    lcd.digit3 = d3;
    lcd.digit4 = d4;
    lcd.pointIndex = point;
    return lcd;
}

std::vector<Sample> samples() {
    std::vector<Sample> out;
    {
        LcdState lcd = digits("1", "2", "3", "4", 1);
        lcd.negative = lcd.dc = lcd.autoRange = lcd.volt = true;
        out.push_back({"lcd-dc-volt", lcd, {"-1.234", -1234.0F, "DC", "V", "AUTO"}});
    }
    {
        LcdState lcd = digits("", "0", "@", "", 2);
        lcd.overload = lcd.autoRange = lcd.mega = lcd.ohm = true;
        out.push_back({"lcd-overload-megohm", lcd, {".0L", 6001.0F, "", "M*", "AUTO"}});
    }
    {
        LcdState lcd = digits("0", "2", "5", "3", 3);
        lcd.celsius = true;
        out.push_back({"lcd-celsius", lcd, {"025.3", 253.0F, "", "#", "MANU"}});
    }
    {
        LcdState lcd = digits("5", "9", "9", "9", 2);
        lcd.hertz = lcd.autoRange = true;
        out.push_back({"lcd-hertz", lcd, {"59.99", 5999.0F, "", "Hz", "AUTO"}});
    }
    {
        LcdState lcd = digits("0", "0", "4", "7", 3);
        lcd.hold = lcd.ac = lcd.milli = lcd.ampere = lcd.battery = lcd.rel = lcd.maxMark = true;
        out.push_back({"lcd-hold-ac-milliamp", lcd, {"004.7", 47.0F, "AC", "mA", "MANU"}});
    }
    return out;
}

bool save(const QPixmap& pixmap, const QString& path) {
    if (pixmap.save(path)) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

void runCycle(LcdPanel& panel, AnalogGauge& gauge, LimitPanel& limits, const LcdState& lcd, const MeterReading& reading) {
    gauge.setLinkAlive(true);
    panel.clearMarks();
    panel.showMarks(lcd);
    limits.showExtremes(QString(), QString(), QString::fromStdString(reading.unitText));
    panel.showDigits(lcd);
    const ScaleSet& scale = scaleSetForUnit(reading.unitText);
    gauge.showReading(scale, needlePosition(lcd, scale.gaugeOffset, scale.gaugeSpan, scale.code == ScaleCode::Temperature));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: display_doc_images <output directory>\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    for (const Sample& sample : samples()) {
        LcdPanel panel;
        AnalogGauge gauge;
        LimitPanel limits;
        gauge.setScaleSet(scaleSet(ScaleCode::Count6000));
        runCycle(panel, gauge, limits, sample.lcd, sample.reading);
        ok = save(panel.grab(), dir.filePath(QString::fromLatin1(sample.file) + ".png")) && ok;
    }

    LcdState percent = digits("0", "4", "5", "6", 3);
    percent.percent = true;
    const auto all = samples();
    const std::vector<std::pair<const char*, std::pair<LcdState, MeterReading>>> gauges{
        {"gauge-6", {all[0].lcd, all[0].reading}},
        {"gauge-10", {all[3].lcd, all[3].reading}},
        {"gauge-1", {percent, {"045.6", 456.0F, "", "%", "MANU"}}},
        {"gauge-13", {all[2].lcd, all[2].reading}},
    };
    for (const auto& [file, sample] : gauges) {
        AnalogGauge gauge;
        gauge.setScaleSet(scaleSet(ScaleCode::Count6000));
        if (QString::fromLatin1(file) == QLatin1String("gauge-6")) {
            // Show the red dots of a switched-on upper limit.
            gauge.setLimitMarks(4500.0F, true, -6002.0F, false);
        }
        gauge.setLinkAlive(true);
        const ScaleSet& scale = scaleSetForUnit(sample.second.unitText);
        gauge.showReading(scale, needlePosition(sample.first, scale.gaugeOffset, scale.gaugeSpan, scale.code == ScaleCode::Temperature));
        ok = save(gauge.grab(), dir.filePath(QString::fromLatin1(file) + ".png")) && ok;
    }
    return ok ? 0 : 1;
}
