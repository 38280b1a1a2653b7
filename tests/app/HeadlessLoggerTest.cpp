#include "links/HidDeviceMonitor.h"
#include "support/FakeDialogs.h"
#include "app/HeadlessLogger.h"
#include "session/MeterSession.h"
#include "ui/MainWindow.h"
#include "ui/LcdLabel.h"
#include "ui/LcdPanel.h"
#include "links/SimulatedHidPlatform.h"
#include "storage/RecordTable.h"
#include "storage/RecoveryJournal.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <map>
#include <cstdio>

namespace veska::test {
namespace {

// Runs one headless session in a scratch directory and keeps what it wrote.
struct HeadlessRun {
    int status = -1;
    QStringList rows;
    QString errors;
    QStringList savedTo;
    std::size_t chartPoints = 0;  // added to the chart's history by the run
};

std::string ReadAll(std::FILE* f) {
    std::rewind(f);
    std::string s;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
}

HeadlessRun RunHeadless(const QStringList& args, const QString& dir) {
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir);
    QString error;
    auto cl = CommandLine::parse(QStringList{"--headless"} + args, error);
    EXPECT_TRUE(cl) << error.toStdString();
    HeadlessRun run;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
        HeadlessLogger logger(*cl, [&](RecordTable& table, const QString& file) {
            run.savedTo << QStringLiteral("%1 rows to %2").arg(table.rowCount()).arg(file);
            return QString();
        }, out, err);
        const std::size_t chartPointsAtStart = logger.session().chart().shownPointCount();
        run.status = logger.run();
        run.chartPoints = logger.session().chart().shownPointCount() - chartPointsAtStart;
    }
    run.rows = QString::fromStdString(ReadAll(out)).split('\n', Qt::SkipEmptyParts);
    run.errors = QString::fromStdString(ReadAll(err));
    std::fclose(out);
    std::fclose(err);
    QDir::setCurrent(previous);
    return run;
}

TEST(HeadlessLogger, LogsTheSimulatedMeterOnEitherLink) {
    for (const QString& simulate : {QStringLiteral("--simulate"), QStringLiteral("--simulate=usb")}) {
        SCOPED_TRACE(simulate.toStdString());
        QTemporaryDir dir;
        const HeadlessRun run = RunHeadless({simulate, "--rate", "40", "--samples", "5", "--save", "out.xls"}, dir.path());
        EXPECT_EQ(run.status, 0) << run.errors.toStdString();
        ASSERT_EQ(run.rows.size(), 5);
        for (int i = 0; i < 5; ++i) {
            const QStringList fields = run.rows[i].split('\t');
            ASSERT_EQ(fields.size(), 6) << run.rows[i].toStdString();
            EXPECT_EQ(fields[0], QString::number(i + 1));
            EXPECT_EQ(fields[5], "AUTO");
        }
        EXPECT_EQ(run.savedTo, QStringList{"5 rows to out.xls"});
        EXPECT_EQ(run.chartPoints, 0U) << "no chart, so no history that only grows";
        // A normal end leaves no recovery journal behind.
        EXPECT_FALSE(QFile::exists(dir.filePath("Kestodb-recovery.db")));
    }
}

TEST(HeadlessLogger, AMissingPortFailsWithItsPath) {
    QTemporaryDir dir;
    const HeadlessRun run =
        RunHeadless({"--port", dir.filePath("no-such-tty"), "--save", "earlier-run.db"}, dir.path());
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.rows.isEmpty());
    EXPECT_TRUE(run.errors.contains(dir.filePath("no-such-tty"))) << run.errors.toStdString();
    // A run that never started leaves an earlier run's file of that name alone.
    EXPECT_TRUE(run.savedTo.isEmpty());
}

TEST(HeadlessLogger, StopsOnSigterm) {
    QTemporaryDir dir;
    QTimer::singleShot(700, [] { std::raise(SIGTERM); });
    const HeadlessRun run = RunHeadless({"--simulate", "--rate", "50"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_GE(run.rows.size(), 1);
}

TEST(HeadlessLogger, ARecordLimitBelowTheSamplesSaysSoOnceAndEndsTheRun) {
    QTemporaryDir dir;
    const HeadlessRun run =
        RunHeadless({"--simulate", "--rate", "400", "--limit", "5", "--samples", "50", "--save", "out.txt"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_EQ(run.rows.size(), 5);
    EXPECT_EQ(run.errors.count("record limit of 5 rows"), 1) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("--limit N")) << run.errors.toStdString();
    EXPECT_EQ(run.savedTo, QStringList{"5 rows to out.txt"});
}

// CSV: the header, then one row per recorded reading with a full timestamp and SI value.
TEST(HeadlessLogger, FormatCsvWritesTheHeaderAndOneRowPerRecordedReading) {
    QTemporaryDir dir;
    const HeadlessRun run = RunHeadless({"--simulate", "--rate", "40", "--samples", "3", "--format", "csv"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    ASSERT_EQ(run.rows.size(), 4);
    EXPECT_EQ(run.rows[0], "No,Time,Mode,Value,Unit,SI value,Base unit,Overload,Range\r");
    for (int i = 1; i < 4; ++i) {
        ASSERT_TRUE(run.rows[i].endsWith('\r')) << "CSV lines end in CR LF";
        const QStringList fields = run.rows[i].chopped(1).split(',');
        ASSERT_EQ(fields.size(), 9) << run.rows[i].toStdString();
        EXPECT_EQ(fields[0], QString::number(i));
        // ISO 8601 with date, milliseconds and offset: 2026-12-10T04:14:15.123+01:00
        EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}([+-]\d\d:\d\d|Z)$)").match(fields[1]).hasMatch())
            << fields[1].toStdString();
        EXPECT_TRUE(fields[7] == "true" || fields[7] == "false");
    }
    // The run's statistics end on standard error.
    EXPECT_TRUE(run.errors.contains("statistics of this run")) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("Std dev")) << run.errors.toStdString();
}

// JSON lines: every decoded reading, each a JSON object; the record number only on the
// readings that became rows, counting up from 1.
TEST(HeadlessLogger, FormatJsonlWritesEveryReadingWithTheRecordNumberOfRecordedOnes) {
    QTemporaryDir dir;
    const HeadlessRun run =
        RunHeadless({"--simulate", "--rate", "40", "--interval", "1", "--samples", "2", "--format", "jsonl"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    ASSERT_GT(run.rows.size(), 2);
    QList<qint64> numbers;
    int unrecorded = 0;
    for (const QString& line : run.rows) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        ASSERT_TRUE(doc.isObject()) << line.toStdString();
        const QJsonObject o = doc.object();
        for (const char* key : {"time", "value", "unit", "si_value", "base_unit", "mode", "range", "overload", "hold",
                                "rel", "low_battery", "no"})
            EXPECT_TRUE(o.contains(QLatin1String(key))) << key << " missing in " << line.toStdString();
        EXPECT_TRUE(o.value("time").toString().endsWith('Z')) << line.toStdString();
        if (o.value("no").isNull()) {
            ++unrecorded;
        } else {
            numbers << o.value("no").toInteger();
        }
    }
    EXPECT_EQ(numbers, (QList<qint64>{1, 2}));
    EXPECT_GT(unrecorded, 0) << "readings between samples are written too";
}

// --- the real program in a child process ---

struct ProgramRun {
    int status = -1;
    bool crashed = false;
    QByteArray out, err;
};

// Starts veska --headless in `dir`; `during` runs while it does (it may signal the process)
// and returns when the run should be waited for. With `fileSizeLimit` the child may not
// write files beyond that many bytes: a full disk that needs no root.
ProgramRun RunProgram(const QStringList& args, const QString& dir, rlim_t fileSizeLimit = 0,
                      const std::function<void(QProcess&, ProgramRun&)>& during = {}) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProgram(QStringLiteral(VESKA_PROGRAM));
    p.setArguments(QStringList{"--headless"} + args);
    if (fileSizeLimit > 0) {
        p.setChildProcessModifier([fileSizeLimit] {
            std::signal(SIGXFSZ, SIG_IGN);  // writes past the limit fail with EFBIG instead of killing
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = fileSizeLimit;
            setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
    ProgramRun run;
    p.start();
    EXPECT_TRUE(p.waitForStarted(10000));
    if (during) during(p, run);
    EXPECT_TRUE(p.waitForFinished(60000)) << run.err.toStdString();
    run.out += p.readAllStandardOutput();
    run.err += p.readAllStandardError();
    run.crashed = p.exitStatus() == QProcess::CrashExit;
    run.status = p.exitCode();
    return run;
}

// Reads the child's output until `done` says so (or a minute has passed).
void ReadUntil(QProcess& p, ProgramRun& run, const std::function<bool()>& done) {
    const QDeadlineTimer deadline(60000);
    while (!done() && !deadline.hasExpired() && p.state() == QProcess::Running) {
        p.waitForReadyRead(100);
        run.out += p.readAllStandardOutput();
        run.err += p.readAllStandardError();
    }
}

// The rows of a saved text file: after the title line, numbered 1, 2, 3 ... without a gap.
QStringList SavedRows(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {"cannot read " + path};
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.endsWith('\n'));
    QStringList rows = text.split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(!rows.isEmpty() && rows.takeFirst().startsWith("No\t"));
    for (int i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].section('\t', 0, 0), QString::number(i + 1));
    return rows;
}

TEST(HeadlessProgram, AClosedPipeEndsTheRunWithTheSaveAndStatus141) {
    // veska --headless ... --save p.txt | head -3
    QTemporaryDir dir;
    QProcess head;
    head.setProgram(QStringLiteral("head"));
    head.setArguments({"-3"});
    QProcess veska;
    veska.setWorkingDirectory(dir.path());
    veska.setProgram(QStringLiteral(VESKA_PROGRAM));
    veska.setArguments({"--headless", "--simulate", "--rate", "200", "--samples", "100000", "--save", "p.txt"});
    veska.setStandardOutputProcess(&head);
    head.start();
    veska.start();
    ASSERT_TRUE(veska.waitForFinished(60000));
    ASSERT_TRUE(head.waitForFinished(10000));
    EXPECT_EQ(head.readAllStandardOutput().count('\n'), 3);
    EXPECT_EQ(veska.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(veska.exitCode(), HeadlessLogger::kBrokenPipeStatus) << veska.readAllStandardError().toStdString();
    EXPECT_GE(SavedRows(dir.filePath("p.txt")).size(), 3);
    EXPECT_FALSE(QFile::exists(dir.filePath("Kestodb-recovery.db")));  // saved: nothing left to recover
}

TEST(HeadlessProgram, AHangupSavesEveryRowPrinted) {
    QTemporaryDir dir;
    const ProgramRun run = RunProgram({"--simulate", "--rate", "100", "--save", "h.txt"}, dir.path(), 0,
                                      [](QProcess& p, ProgramRun& r) {
                                          ReadUntil(p, r, [&r] { return r.out.count('\n') >= 3; });
                                          ::kill(pid_t(p.processId()), SIGHUP);
                                      });
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(SavedRows(dir.filePath("h.txt")).size(), run.out.count('\n'));
}

TEST(HeadlessProgram, AFailedFinalSaveKeepsTheRowsInTheJournal) {
    for (const char* target : {"missing/x.txt", "missing/x.db"}) {
        SCOPED_TRACE(target);
        QTemporaryDir dir;
        const ProgramRun run = RunProgram({"--simulate", "--rate", "100", "--samples", "5", "--save", target}, dir.path());
        EXPECT_EQ(run.status, 1) << run.err.toStdString();
        EXPECT_TRUE(QString::fromUtf8(run.err).contains(target)) << run.err.toStdString();
        EXPECT_EQ(RecoveryJournal::rowsIn(dir.filePath("Kestodb-recovery.db")), 5) << run.err.toStdString();
    }
}

TEST(HeadlessProgram, AFullDiskWhileRecordingPausesOnceAndTheHeldRowsAreSaved) {
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const QString saved = elsewhere.filePath("x.txt");
    const ProgramRun run = RunProgram({"--simulate", "--rate", "5000", "--limit", "10000000", "--save", saved},
                                      dir.path(), 400 * 1024, [](QProcess& p, ProgramRun& r) {
                                          ReadUntil(p, r, [&r] { return r.err.contains("Recording paused"); });
                                          // A few more readings meet the paused recording.
                                          QDeadlineTimer more(1500);
                                          while (!more.hasExpired()) p.waitForReadyRead(100);
                                          ::kill(pid_t(p.processId()), SIGTERM);
                                      });
    ASSERT_FALSE(run.crashed) << run.err.toStdString();
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.count("Recording paused"), 1) << run.err.toStdString();
    EXPECT_GT(run.out.count('\n'), 0);
    EXPECT_EQ(SavedRows(saved).size(), run.out.count('\n'));
}

// A table that cannot be written ends the run at once with the reason, instead of running
// for ever without recording.
TEST(HeadlessLogger, AnUnwritableTableEndsTheRunWithItsReason) {
    QTemporaryDir dir;
    const QString tables = dir.filePath("tables");
    QDir().mkpath(tables);
    const QByteArray at = QFile::encodeName(tables);
    const bool mounted = ::geteuid() == 0 && ::mount("tmpfs", at.constData(), "tmpfs", 0, "size=1m") == 0;
    if (::geteuid() == 0 && !mounted) GTEST_SKIP() << "root writes regardless of permissions and no tmpfs can be mounted";
    TableEngine::createTable(tables + "/Kestodb.db", RecordTable::recordFields(), "Kestodb");
    const bool readOnly = mounted ? ::mount("tmpfs", at.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0
                                  : ::chmod(at.constData(), 0555) == 0;
    ASSERT_TRUE(readOnly);
    QTimer guard;  // a run that kept going would otherwise never end
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { std::raise(SIGTERM); });
    guard.start(10000);
    const HeadlessRun run = RunHeadless({"--simulate", "--rate", "50", "--samples", "2"}, tables);
    guard.stop();
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.rows.isEmpty());
    EXPECT_TRUE(run.errors.contains(tables + "/Kestodb.db")) << run.errors.toStdString();
    EXPECT_EQ(run.errors.count('\n'), 1) << run.errors.toStdString();
    if (mounted) {
        ::umount2(at.constData(), MNT_DETACH);
    } else {
        ::chmod(at.constData(), 0755);
    }
}

}  // namespace

namespace {

// Every file of a folder with its bytes: what a second copy must leave alone.
std::map<QString, QByteArray> FolderContents(const QString& path) {
    std::map<QString, QByteArray> contents;
    for (const QString& name : QDir(path).entryList(QDir::Files | QDir::Hidden)) {
        QFile f(QDir(path).filePath(name));
        contents[name] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("unreadable");
    }
    return contents;
}

}  // namespace

// A second copy started on the folder of a running one: one message saying the table is in
// use, then it goes on (a window) or ends (headless) without a table, and neither touches
// the first copy's table or recovery journal. The first copy is a real running program.
TEST(SecondCopy, TellsOnceThatTheTableIsInUseAndLeavesTheFirstCopysFilesAlone) {
    enum class Second { Window, Headless };
    for (const Second second : {Second::Window, Second::Headless}) {
        SCOPED_TRACE(second == Second::Window ? "window" : "headless");
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        QProcess first;
        first.setWorkingDirectory(dir.path());
        first.setProgram(QStringLiteral(VESKA_PROGRAM));
        first.setArguments({"--headless", "--simulate", "--rate", "50", "--save", "first.txt"});
        first.start();
        ASSERT_TRUE(first.waitForStarted(10000));
        ProgramRun firstRun;
        ReadUntil(first, firstRun, [&] { return firstRun.out.count('\n') >= 3; });
        ASSERT_GE(firstRun.out.count('\n'), 3) << firstRun.err.toStdString();
        // Held still while the second copy starts, so its files can be compared byte by byte.
        ::kill(pid_t(first.processId()), SIGSTOP);
        const auto before = FolderContents(dir.path());
        ASSERT_EQ(before.count("Kestodb-recovery.db"), 1U);

        QStringList told;
        if (second == Second::Window) {
            const QString previous = QDir::currentPath();
            QDir::setCurrent(dir.path());
            {
                FakeDialogs dialogs;
                MainWindow::Options o;
                o.dialogs = &dialogs;
                o.deviceMonitor = std::make_shared<HidDeviceMonitor>(std::make_shared<SimulatedHidPlatform>());
                MainWindow window(o);
                window.setBeep([] {});
                QTest::qWait(200);  // queued messages arrive
                // It goes on without a table: a reading is shown, nothing is recorded, and
                // nothing more is said about the table.
                window.handlePacket("2B30313233203200000080000D");
                QTest::qWait(200);
                EXPECT_EQ(window.lcdPanel().digit(4)->text(), "3");
                EXPECT_FALSE(window.recordTable().isOpen());
                EXPECT_TRUE(dialogs.questions.isEmpty()) << dialogs.questions.join('\n').toStdString();
                told = dialogs.errors + dialogs.infos;
            }
            QDir::setCurrent(previous);
        } else {
            const ProgramRun run = RunProgram({"--simulate", "--rate", "50", "--samples", "3"}, dir.path());
            EXPECT_EQ(run.status, 1);
            told = QString::fromUtf8(run.err).split('\n', Qt::SkipEmptyParts).filter("veska:");
        }
        ASSERT_EQ(told.size(), 1) << told.join('\n').toStdString();
        EXPECT_TRUE(told[0].contains(QStringLiteral("Table ")) && told[0].contains("is in use by another program"))
            << told[0].toStdString();
        EXPECT_TRUE(FolderContents(dir.path()) == before) << "the second copy changed the first copy's files";

        // The first copy goes on and ends as usual, its rows all saved.
        ::kill(pid_t(first.processId()), SIGCONT);
        QTest::qWait(200);
        ::kill(pid_t(first.processId()), SIGTERM);
        ASSERT_TRUE(first.waitForFinished(30000));
        EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
        EXPECT_GE(SavedRows(dir.filePath("first.txt")).size(), 3);
    }
}

}  // namespace veska::test
