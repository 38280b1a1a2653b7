#include "DataFilesTestSupport.h"

#include "app/ReportCli.h"
#include "ui/RecordReport.h"

#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace veska;
using namespace veska::test;

namespace {

struct Word {
    QString text;
    double left, top;  // millimetres from the page's top-left corner
};
using Page = std::vector<Word>;

// The words of a PDF with their boxes, read back the way any PDF reader sees the text.
std::vector<Page> wordsOf(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(60000));
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    std::vector<Page> pages;
    static const char* const pattern =
        R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="[\d.]+">([^<]*)</word>)re";
    static const QRegularExpression token(QString::fromLatin1(pattern));
    for (auto it = token.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith(QLatin1String("<page"))) {
            pages.emplace_back();
            continue;
        }
        const double pt = 25.4 / 72.0;
        pages.back().push_back({m.captured(3), m.captured(1).toDouble() * pt, m.captured(2).toDouble() * pt});
    }
    return pages;
}

const Word* find(const Page& page, const QString& text, double nearTop = -1) {
    for (const Word& w : page)
        if (w.text == text && (nearTop < 0 || std::abs(w.top - nearTop) < 3.0)) return &w;
    return nullptr;
}

// A word box includes the font's side bearing and ascent: the check allows half a millimetre.
void expectAt(const Page& page, const QString& text, double left, double top) {
    const Word* w = find(page, text, top);
    ASSERT_NE(w, nullptr) << text.toStdString();
    EXPECT_NEAR(w->left, left, 0.5) << text.toStdString();
    EXPECT_NEAR(w->top, top, 0.5) << text.toStdString();
}

}  // namespace

TEST(RecordReport, SixtyRowsPrintWithHeaderAndFooterOnEveryPage) {
    QTemporaryDir dir;
    std::vector<Row> table = rows(1, 60);
    table[0].unit = QStringLiteral("k*");
    table[1].unit = QStringLiteral("#");
    writeRecordFile(dir.filePath("run.db"), table);
    const QString pdf = dir.filePath("run.pdf");
    ASSERT_EQ(ReportCli::printTable(dir.filePath("run.db"), pdf), QString());

    const std::vector<Page> pages = wordsOf(pdf);
    ASSERT_EQ(pages.size(), 2u) << "37 rows fit on a page";
    using L = RecordReport::Layout;
    const double margin = L::kMargin;
    const double columnTextTop = margin + L::kPageHeaderHeight + L::kColumnHeaderTextTop;
    const double footTop = 297.0 - margin - L::kFooterHeight + L::kFooterTextTop;
    const QStringList headers{"No", "Time", "DC/AC", "Value", "Unit", "AUTO"};
    for (const Page& page : pages) {
        const Word* title = find(page, "The", margin + L::kTitleTop);
        ASSERT_NE(title, nullptr);
        EXPECT_NEAR(title->top, margin + L::kTitleTop, 0.5);
        const Word* titleEnd = find(page, "Title");
        ASSERT_NE(titleEnd, nullptr);
        // Centred: as much room on the left as on the right of the printable width.
        EXPECT_NEAR(title->left - margin, 210.0 - margin - (titleEnd->left + 8.0), 4.0);
        for (int i = 0; i < headers.size(); ++i) expectAt(page, headers[i], margin + L::kHeaderLeft[i], columnTextTop);
        expectAt(page, "The", margin + L::kFooterTextLeft, footTop);
        EXPECT_NE(find(page, "Foot", footTop), nullptr);
    }
    const double detailTop = margin + L::kPageHeaderHeight + L::kColumnHeaderHeight + L::kDetailTextTop;
    const QStringList first{"1", "14:05:10", "DC", "1.234", "kΩ", "AUTO"};
    for (int i = 0; i < first.size(); ++i) expectAt(pages[0], first[i], margin + L::kDetailLeft[i], detailTop);
    expectAt(pages[0], "°C", margin + L::kDetailLeft[4], detailTop + L::kDetailHeight);
    expectAt(pages[1], "38", margin + L::kDetailLeft[0], detailTop);
    expectAt(pages[1], "60", margin + L::kDetailLeft[0], detailTop + 22 * L::kDetailHeight);
}

TEST(RecordReport, EmptyTableGivesNoPage) {
    QTemporaryDir dir;
    writeRecordFile(dir.filePath("empty.db"), {});
    const QString pdf = dir.filePath("empty.pdf");
    EXPECT_FALSE(ReportCli::printTable(dir.filePath("empty.db"), pdf).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(pdf));
    EXPECT_FALSE(QFileInfo::exists(pdf + ".part"));

    TableEngine e;
    e.setTableName(dir.filePath("empty.db"));
    e.open();
    QPrinter printer(QPrinter::HighResolution);
    RecordReport::setupPrinter(printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("direct.pdf"));
    EXPECT_EQ(RecordReport::render(e, printer), 0);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("direct.pdf")));
}
