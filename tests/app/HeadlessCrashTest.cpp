// The real program killed at random moments of a fast run: whatever it printed is in the
// recovery journal it leaves behind.
#include "storage/RecoveryJournal.h"
#include "storage/TableFiles.h"
#include "storage/TableEngine.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <set>

namespace veska::test {
namespace {

// Record numbers of the complete lines printed (tsv: the number is the first field).
std::vector<qint64> PrintedNumbers(const QByteArray& out) {
    std::vector<qint64> numbers;
    QList<QByteArray> lines = out.split('\n');
    lines.removeLast();  // the part after the last line break is no printed row
    for (const QByteArray& line : lines) numbers.push_back(line.left(line.indexOf('\t')).toLongLong());
    return numbers;
}

std::vector<qint64> JournalNumbers(const QString& path) {
    TableEngine journal;
    journal.setTableName(path);
    journal.open();
    std::vector<qint64> numbers;
    for (journal.first(); !journal.eof(); journal.next())
        numbers.push_back(std::get<qint64>(journal.fieldValue(QStringLiteral("No"))));
    return numbers;
}

TEST(HeadlessCrash, EveryPrintedRowIsInTheJournalAfterSigkill) {
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> afterFirstRowMs(0, 1500);
    for (int run = 0; run < 6; ++run) {
        QTemporaryDir dir;
        QProcess veska;
        veska.setWorkingDirectory(dir.path());
        veska.setProgram(QStringLiteral(VESKA_PROGRAM));
        veska.setArguments({"--headless", "--simulate", "--rate", "200", "--limit", "1000000"});
        veska.start();
        ASSERT_TRUE(veska.waitForStarted());
        QByteArray out;
        const QDeadlineTimer firstRow(10000);
        while (!out.contains('\n') && !firstRow.hasExpired() && veska.state() == QProcess::Running) {
            veska.waitForReadyRead(100);
            out += veska.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains('\n')) << "no row within 10 s: " << veska.readAllStandardError().toStdString();
        const int delay = afterFirstRowMs(random);
        SCOPED_TRACE(testing::Message() << "killed " << delay << " ms after the first row");
        const QDeadlineTimer kill(delay);
        while (!kill.hasExpired()) {
            veska.waitForReadyRead(int(std::max<qint64>(1, kill.remainingTime())));
            out += veska.readAllStandardOutput();
        }
        ::kill(pid_t(veska.processId()), SIGKILL);
        ASSERT_TRUE(veska.waitForFinished(5000));
        out += veska.readAllStandardOutput();  // what reached the pipe before the kill

        const std::vector<qint64> printed = PrintedNumbers(out);
        const QString journalPath = TableFiles::journalPath(dir.filePath(QStringLiteral("Kestodb.db")));
        ASSERT_TRUE(QFileInfo::exists(journalPath)) << printed.size() << " rows printed, no journal";
        const std::vector<qint64> kept = JournalNumbers(journalPath);
        // The journal is an exact prefix of the run: 1, 2, 3, ... without a gap.
        for (std::size_t i = 0; i < kept.size(); ++i) ASSERT_EQ(kept[i], qint64(i) + 1);
        ASSERT_FALSE(printed.empty());
        EXPECT_EQ(printed.front(), 1);
        EXPECT_LE(printed.back(), qint64(kept.size())) << printed.size() << " printed, " << kept.size() << " kept";
    }
}

}  // namespace
}  // namespace veska::test
