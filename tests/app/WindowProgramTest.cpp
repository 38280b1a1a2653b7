#include "app/WindowProgram.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace veska;

namespace {

void makeProgram(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n");
    f.close();
    ASSERT_TRUE(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

struct ProgramRun {
    int status = -1;
    QString err;
};

ProgramRun runVeska(const QString& program, const QStringList& args) {
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardError())};
}

}  // namespace

TEST(WindowProgram, IsFoundBesideVeskaOrInTheHelperFolder) {
    QTemporaryDir dir;
    const QString veska = dir.filePath("usr/bin/veska");
    makeProgram(veska);
    EXPECT_EQ(WindowProgram::locate(veska, "../libexec/veska"), QString()) << "in neither place";

    const QString installed = dir.filePath("usr/libexec/veska/veska-window");
    makeProgram(installed);
    EXPECT_EQ(WindowProgram::locate(veska, "../libexec/veska"), installed);

    const QString beside = dir.filePath("usr/bin/veska-window");
    makeProgram(beside);
    EXPECT_EQ(WindowProgram::locate(veska, "../libexec/veska"), beside) << "the build tree's comes first";

    ASSERT_TRUE(QFile::setPermissions(beside, QFile::ReadOwner));
    EXPECT_EQ(WindowProgram::locate(veska, "../libexec/veska"), installed) << "a file that cannot run is skipped";
}

// The real programs: veska hands --print to veska-window, which answers for the missing
// table; a veska without its window says so instead of starting half a program.
TEST(WindowProgram, VeskaHandsThePrintedReportOver) {
    QTemporaryDir dir;
    const QStringList print = {"--print", dir.filePath("none.db"), "--pdf", dir.filePath("out.pdf")};

    const ProgramRun handed = runVeska(QStringLiteral(VESKA_PROGRAM), print);
    EXPECT_EQ(handed.status, 1) << handed.err.toStdString();
    EXPECT_TRUE(handed.err.contains("not found")) << handed.err.toStdString();

    const QString alone = dir.filePath("bin/veska");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("bin")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VESKA_PROGRAM), alone));
    const ProgramRun missing = runVeska(alone, print);
    EXPECT_EQ(missing.status, 127);
    EXPECT_TRUE(missing.err.contains("veska-window is missing")) << missing.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("out.pdf")));
}
