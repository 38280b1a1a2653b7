#include "support/FakeDialogs.h"
#include "app/HeadlessLogger.h"
#include "ui/MainWindow.h"
#include "storage/RecordTable.h"
#include "session/Recorder.h"
#include "links/MeterScenario.h"
#include "session/MeterSession.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace veska::test {
namespace {

// Everything a session recorded, as the rows it handed out.
void Collect(MeterSession& session, QList<QStringList>& into) {
    QObject::connect(&session, &MeterSession::rowRecorded, [&into](const QStringList& row) { into.append(row); });
    session.recorder().setClock([] { return QTime(14, 5, 9); });
    session.recorder().setMomentClock([] { return qint64(1796872455123); });
}

}  // namespace

// The window and the headless mode attach to the same kind of session: one meter stream
// gives both the same rows, and the rows handed out are the rows the table holds.
TEST(SessionParity, WindowAndHeadlessRecordTheSameRows) {
    const QString previous = QDir::currentPath();
    QTemporaryDir windowDir;
    QTemporaryDir headlessDir;
    ASSERT_TRUE(windowDir.isValid() && headlessDir.isValid());

    QDir::setCurrent(windowDir.path());
    FakeDialogs dialogs;
    MainWindow::Options options;
    options.dialogs = &dialogs;
    MainWindow window(options);
    window.setBeep([] {});

    QDir::setCurrent(headlessDir.path());
    QString error;
    const auto commandLine = CommandLine::parse({"--headless"}, error);
    ASSERT_TRUE(commandLine);
    std::FILE* printed = std::tmpfile();
    ASSERT_NE(printed, nullptr);
    HeadlessLogger headless(*commandLine, {}, printed, printed);
    MeterSession& headlessSession = headless.session();
    headlessSession.recordTable().openDefault();
    QDir::setCurrent(previous);

    QList<QStringList> windowRows;
    QList<QStringList> headlessRows;
    Collect(window.session(), windowRows);
    Collect(headlessSession, headlessRows);

    // Every situation of the simulated meter, broken packets included, fed in odd chunks.
    const MeterScenario scenario(7);
    std::vector<std::uint8_t> stream;
    for (std::uint64_t n = 0; n < 2 * MeterScenario::cycleLength(); ++n) {
        const auto bytes = scenario.step(n).bytes;
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    for (std::size_t at = 0; at < stream.size(); at += 5) {
        const std::size_t n = std::min<std::size_t>(5, stream.size() - at);
        window.session().handleSerialBytes(stream.data() + at, n);
        headlessSession.handleSerialBytes(stream.data() + at, n);
    }

    ASSERT_GT(windowRows.size(), 10);
    EXPECT_EQ(windowRows, headlessRows);
    for (qint64 i = 0; i < windowRows.size(); ++i) {
        EXPECT_EQ(window.recordTable().rowTexts(i), windowRows.at(i)) << "row " << i;
    }
    window.recorder().setConfirmHook({});
    headlessSession.recordTable().close();
    std::fclose(printed);
}

}  // namespace veska::test
