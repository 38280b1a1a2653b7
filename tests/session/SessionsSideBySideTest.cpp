// Several meters in one process: each session records into its own table and journal, and
// the sessions that may read USB share the process's one device monitor.
#include "links/HidDeviceMonitor.h"
#include "links/PortMap.h"
#include "links/SimulatedMeters.h"
#include "session/MeterSession.h"
#include "session/Recorder.h"
#include "session/RunPolicy.h"
#include "storage/RecordTable.h"
#include "storage/RecoveryJournal.h"
#include "storage/TableFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace veska;

namespace {

// A session on its own table file, opened as the programs open it.
struct RecordingSession {
    MeterSession session;
    RunPolicy run{session};

    RecordingSession(const QString& tablePath, std::shared_ptr<HidDeviceMonitor> monitor = {})
        : session(SessionSetup{ModelSwitches::thisBuild(), std::move(monitor), tablePath, {}}) {
        session.startUp();
        EXPECT_EQ(run.openTable().state, RunPolicy::TableState::Recordable);
    }
    ~RecordingSession() {
        session.disconnectLink();
        run.closeTable(RunPolicy::UnsavedRows::Decided);
    }
    void connectSerial(const QString& path) {
        PortMap map;
        map.setPath(ComPortNumber::Com1, path);
        session.setPortMap(map);
        session.connectSerial(ComPortNumber::Com1);
    }
    int rows() const { return session.recorder().recordedRows(); }
    // This session's rows are in its own table and journal (which it holds while it runs).
    void expectOwnRows(const QString& tablePath) {
        const RecordTable& table = session.recordTable();
        EXPECT_EQ(table.filePath(), tablePath);
        EXPECT_EQ(table.engine().rowCount(), rows());
        EXPECT_EQ(table.journalPath(), TableFiles::journalPath(tablePath));
        EXPECT_TRUE(RecoveryJournal::inUse(table.journalPath()));
    }
    // Ends the run keeping the journal, which then holds every row of this session.
    void expectJournalKeepsEveryRow(const QString& tablePath) {
        session.disconnectLink();
        const int recorded = rows();
        run.closeTable(RunPolicy::UnsavedRows::Kept);
        EXPECT_EQ(RecoveryJournal::rowsIn(TableFiles::journalPath(tablePath)), recorded);
    }
};

class SessionsSideBySide : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QTemporaryDir dir;
};

TEST_F(SessionsSideBySide, TwoSerialMetersRecordIntoTheirOwnTablesAndJournals) {
    SimulatedMeters meterA;
    SimulatedMeters meterB;
    ASSERT_TRUE(meterA.startSerial(40)) << meterA.errorText().toStdString();
    ASSERT_TRUE(meterB.startSerial(25)) << meterB.errorText().toStdString();
    RecordingSession a(path("a.db"));
    RecordingSession b(path("b.db"));
    a.connectSerial(meterA.serialPath());
    b.connectSerial(meterB.serialPath());
    ASSERT_EQ(a.session.linkStatus().kind, LinkKind::Serial);
    ASSERT_EQ(b.session.linkStatus().kind, LinkKind::Serial);

    ASSERT_TRUE(QTest::qWaitFor([&] { return a.rows() >= 8 && b.rows() >= 8; }, 15000))
        << a.rows() << " and " << b.rows() << " rows";
    EXPECT_EQ(a.session.linkStatus().state, LinkState::Receiving);
    EXPECT_EQ(b.session.linkStatus().state, LinkState::Receiving);
    // Each numbers its own rows and keeps them in its own files.
    EXPECT_EQ(a.session.recorder().nextRecordNo(), a.rows() + 1);
    EXPECT_EQ(b.session.recorder().nextRecordNo(), b.rows() + 1);
    a.expectOwnRows(path("a.db"));
    b.expectOwnRows(path("b.db"));
    a.expectJournalKeepsEveryRow(path("a.db"));
    b.expectJournalKeepsEveryRow(path("b.db"));
}

TEST_F(SessionsSideBySide, AUsbSessionAndASerialSessionShareOneDeviceMonitor) {
    SimulatedMeters usbMeter;
    SimulatedMeters serialMeter;
    auto monitor = std::make_shared<HidDeviceMonitor>(usbMeter.startUsb(30));
    ASSERT_TRUE(serialMeter.startSerial(30)) << serialMeter.errorText().toStdString();
    RecordingSession usb(path("usb.db"), monitor);
    RecordingSession serial(path("serial.db"), monitor);
    EXPECT_TRUE(usb.session.hasUsb());
    EXPECT_TRUE(serial.session.hasUsb());

    ASSERT_GE(usb.session.selectedUsbCable(), 0);
    usb.session.connectUsb();
    serial.connectSerial(serialMeter.serialPath());
    EXPECT_EQ(usb.session.linkStatus().kind, LinkKind::Usb);
    EXPECT_EQ(serial.session.linkStatus().kind, LinkKind::Serial);

    ASSERT_TRUE(QTest::qWaitFor([&] { return usb.rows() >= 5 && serial.rows() >= 5; }, 15000))
        << usb.rows() << " and " << serial.rows() << " rows";
    // Connecting one session's link leaves the other session's link alone.
    EXPECT_TRUE(usb.session.linkStatus().isOpen());
    EXPECT_TRUE(serial.session.linkStatus().isOpen());
    usb.expectOwnRows(path("usb.db"));
    serial.expectOwnRows(path("serial.db"));
    usb.expectJournalKeepsEveryRow(path("usb.db"));
    serial.expectJournalKeepsEveryRow(path("serial.db"));
}

}  // namespace
