#include "storage/TableEngine.h"
#include "storage/TableError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <sys/resource.h>

#include <csignal>

using namespace veska;

namespace {

std::vector<TableEngine::Field> sevenFields() {
    using K = TableEngine::FieldKind;
    return {{"No", "INTEGER", K::Integer}, {"Time", "TIME", K::Time},    {"DC/AC", "CHAR(2)", K::Text},
            {"Value", "CHAR(6)", K::Text}, {"Unit", "CHAR(2)", K::Text}, {"AUTO", "CHAR(4)", K::Text},
            {"Nval", "FLOAT", K::Float}};
}

QByteArray digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QString errorOf(TableEngine& t) {
    try {
        t.open();
    } catch (const TableError& e) {
        return e.message();
    }
    return QString();
}

class TableEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("Kestodb.db");
        TableEngine::createTable(path, sevenFields());
        // Two rows already in the file.
        TableEngine t;
        t.setTableName(path);
        t.open();
        addRow(t, 1, QTime(9, 0, 1), "1.000");
        addRow(t, 2, QTime(9, 0, 2), "2.000");
        t.close();
    }

    static void addRow(TableEngine& t, qint64 no, QTime time, const QString& value) {
        t.append();
        t.setField("no", no);
        t.setField("time", time);
        t.setField("DC/AC", QString("DC"));
        t.setField("value", value);
        t.setField("unit", QString("k*"));
        t.setField("Auto", QString("AUTO"));
        t.setField("Nval", double(6001.0F));
        t.post();
    }

    void openRecordTable(TableEngine& t) {
        t.setTableName(path);
        t.setExclusive(true);
        t.setCachedUpdates(true);
        t.open();
    }

    QTemporaryDir dir;
    QString path;
};

TEST_F(TableEngineTest, OpenFailsWithTheEngineMessage) {
    TableEngine t;
    t.setTableName(dir.filePath("missing"));
    EXPECT_TRUE(errorOf(t).contains("not found")) << errorOf(t).toStdString();
    EXPECT_FALSE(t.isOpen());

    QFile text(dir.filePath("notes.db"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("No\tTime\r\n1\t14:05:09\r\n");
    text.close();
    t.setTableName(text.fileName());
    EXPECT_TRUE(errorOf(t).contains("is not a table file")) << errorOf(t).toStdString();
    EXPECT_FALSE(t.isOpen());

    QFile empty(dir.filePath("empty.db"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    t.setTableName(empty.fileName());
    EXPECT_TRUE(errorOf(t).contains("is not a table file")) << errorOf(t).toStdString();
}

TEST_F(TableEngineTest, BareNameResolvesInTheWorkingDirectoryAndIgnoresCase) {
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    EXPECT_EQ(TableEngine::resolvePath("Kestodb"), QFileInfo(path).absoluteFilePath());
    EXPECT_EQ(TableEngine::resolvePath(dir.path().toUpper() == dir.path() ? path : path.toUpper()),
              QFileInfo(path).absoluteFilePath());
    TableEngine t;
    t.setTableName("Kestodb");
    t.open();
    EXPECT_EQ(t.rowCount(), 2);
    QDir::setCurrent(before);
}

TEST_F(TableEngineTest, ExclusiveUseRefusesASecondConnection) {
    TableEngine first;
    openRecordTable(first);
    for (bool exclusive : {true, false}) {
        TableEngine second;
        second.setTableName(path);
        second.setExclusive(exclusive);
        second.setCachedUpdates(exclusive);
        EXPECT_TRUE(errorOf(second).contains("in use by another program")) << errorOf(second).toStdString();
        EXPECT_FALSE(second.isOpen());
    }
    first.close();
    TableEngine third;
    openRecordTable(third);
    EXPECT_EQ(third.rowCount(), 2);
}

TEST_F(TableEngineTest, ExclusiveUseRefusesASecondProcess) {
    QProcess holder;
    holder.start(VESKA_RECORDING_HELPER, {"hold", path});
    ASSERT_TRUE(holder.waitForReadyRead(20000));
    ASSERT_EQ(holder.readLine().trimmed(), "ready");
    TableEngine t;
    t.setTableName(path);
    t.setExclusive(true);
    t.setCachedUpdates(true);
    EXPECT_TRUE(errorOf(t).contains("in use by another program")) << errorOf(t).toStdString();
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(20000));
    EXPECT_EQ(errorOf(t), QString());
    EXPECT_EQ(t.rowCount(), 2);
}

TEST_F(TableEngineTest, CachedRowsAreSeenByEveryReaderButNeverWritten) {
    const QByteArray before = digest(path);
    TableEngine t;
    openRecordTable(t);
    for (int i = 3; i <= 2000; ++i) addRow(t, i, QTime(14, 5, 9), "-1.234");
    EXPECT_EQ(t.rowCount(), 2000);

    // Walk: every row, first to last, with display texts.
    qint64 walked = 0;
    for (t.first(); !t.eof(); t.next()) {
        ++walked;
        EXPECT_EQ(t.fieldText("NO"), QString::number(walked));
    }
    EXPECT_EQ(walked, 2000);
    const auto rows = t.rowTexts(1998, 10);
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[1], QStringList({"2000", "14:05:09", "DC", "-1.234", "k*", "AUTO", "6001"}));

    // The copy holds the cached rows.
    t.copyTo(dir.filePath("run1.db"));
    t.close();
    EXPECT_EQ(digest(path), before);

    TableEngine copy;
    copy.setTableName(dir.filePath("run1"));
    copy.open();
    EXPECT_EQ(copy.rowCount(), 2000);
    TableEngine reopened;
    openRecordTable(reopened);
    EXPECT_EQ(reopened.rowCount(), 2);
}

TEST_F(TableEngineTest, CachedRowsSpillBeyondThePageCacheAndAFailedSpillIsNeverSilent) {
    // Long runs spill into the file (memory stays flat) and still leave it as it was.
    const QByteArray before = digest(path);
    const qint64 sizeBefore = QFileInfo(path).size();
    TableEngine t;
    openRecordTable(t);
    constexpr qint64 kRows = 80000;  // beyond the 2 MB page cache
    for (qint64 no = 3; no <= kRows; ++no) addRow(t, no, QTime(14, 5, 9), "-1.234");
    EXPECT_GT(QFileInfo(path).size(), sizeBefore + 256 * 1024) << "no spill into the file";
    EXPECT_EQ(t.rowCount(), kRows);
    EXPECT_EQ(t.rowTexts(kRows - 1, 1).at(0).at(0), QString::number(kRows));
    t.close();
    EXPECT_EQ(digest(path), before);

    // Now while no file may grow: the spill fails and takes the cached rows with it. That
    // must be loud (the post throws, heldRowsLost) and never leave later rows in the file.
    openRecordTable(t);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit full = old;
    full.rlim_cur = rlim_t(QFileInfo(path).size());
    setrlimit(RLIMIT_FSIZE, &full);
    QString failure;
    qint64 no = 3;
    try {
        for (; no <= kRows; ++no) addRow(t, no, QTime(14, 5, 9), "-1.234");
    } catch (const TableError& e) {
        failure = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(failure.contains("File too large")) << failure.toStdString();
    EXPECT_TRUE(t.heldRowsLost());
    EXPECT_EQ(t.rowCount(), 2) << "the file's rows are all that is left, and the count says so";
    addRow(t, no, QTime(14, 5, 9), "-1.234");  // caches again, in a new transaction
    EXPECT_EQ(t.rowCount(), 3);
    t.close();
    EXPECT_EQ(digest(path), before);
}

TEST_F(TableEngineTest, EmptyRemovesEveryRowForTheRunOnly) {
    TableEngine t;
    openRecordTable(t);
    addRow(t, 3, QTime(10, 0), "3.000");
    t.empty();
    EXPECT_EQ(t.rowCount(), 0);
    t.first();
    EXPECT_TRUE(t.eof());
    addRow(t, 1, QTime(10, 0, 1), "9.000");
    ASSERT_EQ(t.rowTexts(0, 5).size(), 1U);
    EXPECT_EQ(t.rowTexts(0, 1)[0][3], "9.000");
    t.close();
    openRecordTable(t);
    EXPECT_EQ(t.rowCount(), 2);
}

TEST_F(TableEngineTest, CopyReplacesAnExistingFileAndRefusesHeldOnes) {
    TableEngine t;
    openRecordTable(t);
    const QString dest = dir.filePath("run1.db");
    QFile junk(dest);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a table at all");
    junk.close();
    QFile staleJournal(dest + "-journal");
    ASSERT_TRUE(staleJournal.open(QIODevice::WriteOnly));
    staleJournal.write("stale");
    staleJournal.close();

    t.copyTo(dest);
    addRow(t, 3, QTime(10, 0), "3.000");
    t.copyTo(dest);  // second save to the same name replaces the first
    EXPECT_FALSE(QFile::exists(dest + "-journal"));

    TableEngine copy;
    copy.setTableName(dest);
    copy.setExclusive(true);
    copy.open();
    EXPECT_EQ(copy.rowCount(), 3);
    ASSERT_EQ(copy.fields().size(), 7U);
    EXPECT_EQ(copy.fields()[2].name, "DC/AC");
    EXPECT_THROW(t.copyTo(dest), TableError);  // held by `copy`
    EXPECT_THROW(t.copyTo(path), TableError);  // the open table itself
    EXPECT_FALSE(QFile::exists(dest + ".part"));

    // The index step: an unknown field fails, a real one works.
    try {
        copy.addPrimaryIndex("Not");
        ADD_FAILURE() << "index over a missing field";
    } catch (const TableError& e) {
        EXPECT_EQ(e.message(), "Field 'Not' not found");
    }
    EXPECT_NO_THROW(copy.addPrimaryIndex("no"));
}

TEST_F(TableEngineTest, ACopyHoldsTheRowsAndNoIndexWhateverTheSourceCarries) {
    {
        TableEngine indexed;  // a table file saved with its primary index
        indexed.setTableName(path);
        indexed.open();
        indexed.addPrimaryIndex("No");
        indexed.close();
    }
    TableEngine t;
    openRecordTable(t);
    addRow(t, 3, QTime(10, 0), "3.000");
    const QString dest = dir.filePath("run2.db");
    t.copyTo(dest);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(dest).constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    auto count = [db](const char* sql) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        const int n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
        sqlite3_finalize(st);
        return n;
    };
    EXPECT_EQ(count("SELECT count(*) FROM sqlite_master WHERE type = 'index'"), 0);
    EXPECT_EQ(count("SELECT count(*) FROM sqlite_master WHERE type = 'table'"), 1);
    sqlite3_close(db);
    TableEngine copy;
    copy.setTableName(dest);
    copy.open();
    EXPECT_EQ(copy.rowCount(), 3);
}

TEST_F(TableEngineTest, FieldsAreFoundWithoutRegardToCase) {
    TableEngine t;
    openRecordTable(t);
    EXPECT_EQ(t.fieldIndex("dc/ac"), 2);
    EXPECT_EQ(t.fieldIndex("AUTO"), t.fieldIndex("auto"));
    t.append();
    EXPECT_THROW(t.setField("Volts", QString("x")), TableError);
    t.setField("NVAL", 12.5);
    t.post();
    t.first();
    for (int i = 0; i < 2; ++i) t.next();
    EXPECT_EQ(t.fieldText("nval"), "12.5");
    EXPECT_EQ(t.fieldText("time"), "");
    EXPECT_THROW(t.post(), TableError);  // nothing being appended
}

}  // namespace
