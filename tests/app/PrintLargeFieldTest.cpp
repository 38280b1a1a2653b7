// `veska --print` of a table holding a huge field, in the real program under an address-space
// limit: the report is complete with the field cut, or the program says it failed and
// leaves no PDF; never a PDF with cells missing reported as done.
#include "storage/RecordTable.h"
#include "storage/TableEngine.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTime>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace veska::test {
namespace {

constexpr qsizetype kFieldBytes = 50 * 1000 * 1000;

void WriteTableWithAHugeField(const QString& path) {
    TableEngine::createTable(path, RecordTable::recordFields(), RecordTable::defaultTableName());
    TableEngine table;
    table.setTableName(path);
    table.open();
    const QString values[] = {QStringLiteral("1.234"), QString(kFieldBytes, QLatin1Char('7')), QStringLiteral("2.500")};
    for (int i = 0; i < 3; ++i) {
        table.append();
        table.setField(QStringLiteral("No"), qint64(i + 1));
        table.setField(QStringLiteral("Time"), QTime(14, 5, 9 + i));
        table.setField(QStringLiteral("DC/AC"), QStringLiteral("DC"));
        table.setField(QStringLiteral("Value"), values[i]);
        table.setField(QStringLiteral("Unit"), QStringLiteral("V"));
        table.setField(QStringLiteral("AUTO"), QStringLiteral("AUTO"));
        table.setField(QStringLiteral("Nval"), 1.0);
        table.post();
    }
    table.close();
}

struct PrintRun {
    int status = -1;
    bool crashed = false;
    QString errors;
};

PrintRun PrintUnderLimit(const QString& dir, const QString& pdf, rlim_t addressSpace) {
    QProcess veska;
    veska.setWorkingDirectory(dir);
    veska.setChildProcessModifier([addressSpace] {
        const rlimit limit{addressSpace, addressSpace};
        ::setrlimit(RLIMIT_AS, &limit);
    });
    veska.start(QStringLiteral(VESKA_PROGRAM), {"--print", "big.db", "--pdf", pdf});
    PrintRun run;
    if (!veska.waitForFinished(120000)) return run;
    run.crashed = veska.exitStatus() != QProcess::NormalExit;
    run.status = veska.exitCode();
    run.errors = QString::fromLocal8Bit(veska.readAllStandardError());
    return run;
}

QString TextOf(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Every cell of the three rows is there, the huge one cut with "…".
void ExpectCompleteReport(const QString& pdf) {
    const QString text = TextOf(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("1.234"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("2.500"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("7777") + QChar(0x2026))) << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("AUTO")), 4) << text.toStdString();  // the header and three rows
    EXPECT_EQ(text.count(QStringLiteral("14:05:")), 3) << text.toStdString();
    EXPECT_LT(text.size(), 4000);
}

TEST(PrintLargeField, AFiftyMegabyteFieldIsCutAndTightMemoryFailsCleanly) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit leaves";
#endif
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    QTemporaryDir dir;
    WriteTableWithAHugeField(dir.filePath(QStringLiteral("big.db")));

    // Room for the program and the field once, far from 38 times the field.
    constexpr rlim_t kMb = 1024 * 1024;
    const PrintRun roomy = PrintUnderLimit(dir.path(), QStringLiteral("roomy.pdf"), 400 * kMb);
    ASSERT_FALSE(roomy.crashed) << roomy.errors.toStdString();
    ASSERT_EQ(roomy.status, 0) << roomy.errors.toStdString();
    ExpectCompleteReport(dir.filePath(QStringLiteral("roomy.pdf")));

    // Less and less room: complete, or an error and no file, whichever allocation fails.
    for (const rlim_t mb : {250, 200, 160, 130, 110, 90}) {
        SCOPED_TRACE(testing::Message() << "address space limited to " << mb << " MB");
        const QString pdf = QStringLiteral("tight-%1.pdf").arg(mb);
        const PrintRun run = PrintUnderLimit(dir.path(), pdf, mb * kMb);
        EXPECT_FALSE(run.crashed) << run.errors.toStdString();
        if (run.status == 0) {
            ExpectCompleteReport(dir.filePath(pdf));
        } else {
            EXPECT_EQ(run.status, 1) << run.errors.toStdString();
            EXPECT_FALSE(QFileInfo::exists(dir.filePath(pdf)));
            EXPECT_TRUE(run.errors.contains(QStringLiteral("memory"))) << run.errors.toStdString();
        }
    }
}

}  // namespace
}  // namespace veska::test
