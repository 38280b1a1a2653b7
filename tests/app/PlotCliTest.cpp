// veska --plot: the History view's picture of a record file, read back.
#include "app/CommandLine.h"
#include "app/PlotCli.h"
#include "protocol/IsoTime.h"
#include "storage/RecordTable.h"
#include "storage/TableEngine.h"
#include "ui/HistoryPicture.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <map>

namespace veska {
namespace {

constexpr std::int64_t kStart = 1'796'900'000'000;  // 2026-12-10, a few hours after midnight UTC

// A run of two units: 600 rows of volts at one per second, a pause of ten minutes, 300 rows
// of ohms; three overloads among the volts.
QString writeRun(const QTemporaryDir& dir) {
    // Rows are cached and copied out at once: one sync instead of one per row.
    const QString scratch = dir.filePath(QStringLiteral("scratch.db"));
    TableEngine::createTable(scratch, RecordTable::recordFields());
    TableEngine t;
    t.setTableName(scratch);
    t.setCachedUpdates(true);
    t.open();
    std::int64_t ms = kStart;
    for (int i = 0; i < 900; ++i) {
        ms += i == 600 ? 600'000 : 1000;
        const bool volts = i < 600;
        t.append();
        t.setField(QStringLiteral("No"), qint64(i + 1));
        t.setField(QStringLiteral("Time"), QTime(3, 0, 0).addMSecs(int(ms - kStart)));
        t.setField(QStringLiteral("DC/AC"), QStringLiteral("DC"));
        t.setField(QStringLiteral("Value"), volts && i % 200 == 100 ? QStringLiteral("0L")
                                            : volts ? QStringLiteral("%1").arg(1.0 + (i % 50) / 100.0, 0, 'f', 3)
                                                    : QStringLiteral("4.%1").arg(600 + i % 90));
        t.setField(QStringLiteral("Unit"), volts ? QStringLiteral("V") : QStringLiteral("k*"));
        t.setField(QStringLiteral("UTC"), QString::fromStdString(IsoTime::utc(ms)));
        t.post();
    }
    const QString path = dir.filePath(QStringLiteral("run.db"));
    t.copyTo(path);
    return path;
}

QString plot(const QStringList& args) {
    QString error;
    const auto cl = CommandLine::parse(args, error);
    if (!cl) return QStringLiteral("parse: ") + error;
    return PlotCli::plot(*cl);
}

struct SvgLines {
    std::map<QString, std::vector<QPolygonF>> lines;  // by stroke colour
    QString texts;                                      // every text, run together
};

// The polylines and the texts of an SVG that QSvgGenerator wrote (it puts each stroke's
// colour on the group around it).
SvgLines readSvg(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    SvgLines out;
    QStringList strokes;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("g")) strokes.removeLast();
        if (token != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("g")) {
            strokes << xml.attributes().value(QLatin1String("stroke")).toString();
        } else if (xml.name() == QLatin1String("polyline")) {
            QPolygonF line;
            for (const QString& point : xml.attributes().value(QLatin1String("points")).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                const QStringList xy = point.split(QLatin1Char(','));
                line << QPointF(xy.value(0).toDouble(), xy.value(1).toDouble());
            }
            out.lines[strokes.value(strokes.size() - 1)].push_back(line);
        } else if (xml.name() == QLatin1String("text")) {
            out.texts += xml.readElementText(QXmlStreamReader::IncludeChildElements);
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return out;
}

QString colourOf(int series) { return HistoryPicture::seriesColor(series).name(); }

TEST(PlotCli, SvgHoldsEveryLineInsideThePlotAndTwoPanes) {
    QTemporaryDir dir;
    const QString table = writeRun(dir);
    const QString out = dir.filePath(QStringLiteral("run.svg"));
    ASSERT_EQ(plot({QStringLiteral("--plot"), table, out, QStringLiteral("--size"), QStringLiteral("900x600")}), QString());
    const SvgLines svg = readSvg(out);
    const QRectF plotArea = QRectF(HistoryPicture::plotArea(QRect(0, 0, 900, 600))).adjusted(-0.01, -0.01, 1.01, 1.01);
    // Series 0 is V DC, series 1 Ω DC: in two panes, the volts above.
    const auto volts = svg.lines.find(colourOf(0)), ohms = svg.lines.find(colourOf(1));
    ASSERT_NE(volts, svg.lines.end());
    ASSERT_NE(ohms, svg.lines.end());
    QRectF voltsBox, ohmsBox;
    for (const auto& [lines, box] : {std::pair{&volts->second, &voltsBox}, std::pair{&ohms->second, &ohmsBox}}) {
        EXPECT_GE(lines->size(), 1u);
        for (const QPolygonF& line : *lines) {
            for (const QPointF& p : line) EXPECT_TRUE(plotArea.contains(p)) << p.x() << "," << p.y();
            *box |= line.boundingRect();
        }
    }
    EXPECT_LT(voltsBox.bottom(), ohmsBox.top());
    EXPECT_LT(voltsBox.right(), ohmsBox.left()) << "the pause lies between them";
    EXPECT_TRUE(svg.texts.contains(QStringLiteral("V DC")));
    EXPECT_TRUE(svg.texts.contains(QStringLiteral("4.60 kΩ"))) << svg.texts.toStdString();
    EXPECT_TRUE(svg.texts.contains(QStringLiteral("local time")));
}

TEST(PlotCli, PngAtTheRequestedSizeAndPdf) {
    QTemporaryDir dir;
    const QString table = writeRun(dir);
    const QString png = dir.filePath(QStringLiteral("run.png"));
    ASSERT_EQ(plot({QStringLiteral("--plot"), table, png, QStringLiteral("--size"), QStringLiteral("640x360"),
                    QStringLiteral("--y"), QStringLiteral("0:2")}),
              QString());
    const QImage image(png);
    EXPECT_EQ(image.size(), QSize(640, 360));
    const QString pdf = dir.filePath(QStringLiteral("run.pdf"));
    ASSERT_EQ(plot({QStringLiteral("--plot"), table, pdf}), QString());
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
}

TEST(PlotCli, TimesOfTheCommandLine) {
    QTemporaryDir dir;
    const QString table = writeRun(dir);
    const QString out = dir.filePath(QStringLiteral("part.svg"));
    // The first minute alone, by ISO 8601 moments: volts only, so one pane.
    const QString from = QString::fromStdString(IsoTime::utc(kStart));
    const QString to = QString::fromStdString(IsoTime::utc(kStart + 60'000));
    ASSERT_EQ(plot({QStringLiteral("--plot"), table, out, QStringLiteral("--from"), from, QStringLiteral("--to"), to}), QString());
    const SvgLines svg = readSvg(out);
    EXPECT_TRUE(svg.texts.contains(QStringLiteral("V DC")));
    EXPECT_FALSE(svg.texts.contains(QStringLiteral("kΩ")));
    EXPECT_EQ(svg.lines.count(colourOf(0)), 1u);
    EXPECT_EQ(svg.lines.count(colourOf(1)), 0u);

    struct Case {
        QStringList extra;
        QString error;
    };
    const std::vector<Case> cases{
        {{QStringLiteral("--from"), QStringLiteral("noon")}, QStringLiteral("--from: 'noon' is neither an ISO 8601 time nor a time of day")},
        {{QStringLiteral("--from"), to, QStringLiteral("--to"), from}, QStringLiteral("--from must come before --to")},
        {{QStringLiteral("--size"), QStringLiteral("10x10")}, QStringLiteral("parse: --size needs WIDTHxHEIGHT in pixels, from 200x150 to 10000x10000, not '10x10'")},
        {{QStringLiteral("--y"), QStringLiteral("2:1")}, QStringLiteral("parse: --y needs MIN:MAX in the base unit with MIN below MAX, not '2:1'")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(plot(QStringList{QStringLiteral("--plot"), table, out} + c.extra), c.error);
    EXPECT_TRUE(plot({QStringLiteral("--plot"), table, dir.filePath(QStringLiteral("run.jpg"))}).contains(QStringLiteral(".png, .svg or .pdf")));
    EXPECT_TRUE(plot({QStringLiteral("--plot"), dir.filePath(QStringLiteral("none.db")), out}).contains(QStringLiteral("none.db")));
}

}  // namespace
}  // namespace veska
