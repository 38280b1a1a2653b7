// Record files that another program wrote or changed: whatever their fields and row ids
// hold, they open, and the text export keeps one line of six fields per row, in row order.
#include "DataFilesTestSupport.h"

#include "storage/RecordFileReader.h"
#include "storage/RecordTable.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "storage/TextExport.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <limits>
#include <sys/wait.h>
#include <unistd.h>
#include <variant>

using namespace veska;
using namespace veska::test;

namespace {

struct ForeignFile {
    ForeignFile() { writeRecordFile(path, {}); }

    // One statement with its values bound in order: qint64, double, text (QByteArray) or,
    // wrapped in Blob, a blob.
    struct Blob {
        QByteArray bytes;
    };
    using Bound = std::variant<qint64, double, QByteArray, Blob>;
    void exec(const char* sql, const std::vector<Bound>& values = {}) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        for (std::size_t i = 0; i < values.size(); ++i) {
            const int n = int(i) + 1;
            if (const auto* v = std::get_if<qint64>(&values[i])) sqlite3_bind_int64(st, n, *v);
            if (const auto* v = std::get_if<double>(&values[i])) sqlite3_bind_double(st, n, *v);
            if (const auto* v = std::get_if<QByteArray>(&values[i]))
                sqlite3_bind_text(st, n, v->constData(), int(v->size()), SQLITE_TRANSIENT);
            if (const auto* v = std::get_if<Blob>(&values[i]))
                sqlite3_bind_blob(st, n, v->bytes.constData(), int(v->bytes.size()), SQLITE_TRANSIENT);
        }
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(db);
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    // Opened as --export opens a file, exported as text.
    QByteArray exported() {
        TableEngine e;
        e.setTableName(path);
        e.setExclusive(true);
        e.open();
        const QString out = dir.filePath("out.txt");
        const TextExport::Result r = TextExport::exportTableAsText(e, out);
        EXPECT_TRUE(r.ok) << r.reason.toStdString();
        return readAll(out);
    }
    std::vector<QStringList> rowTexts() {
        TableEngine e;
        e.setTableName(path);
        e.open();
        return e.rowTexts(0, 100);
    }

    QTemporaryDir dir;
    QString path = dir.filePath("foreign.db");
};

}  // namespace

TEST(ForeignRecordFile, TabsAndLineBreaksInsideFieldsBecomeBlanks) {
    struct Case {
        QByteArray stored;
        QByteArray written;
    };
    const std::vector<Case> cases{
        {"a\tb", "a b"},
        {"line1\nline2", "line1 line2"},
        {"x\r\ny", "x  y"},
        {"\r", " "},
        {"\t\t", "  "},
        {"\xc2\xb5\tA\n", "\xb5 A "},  // converted to the 8-bit code page first
        {"plain", "plain"},
    };
    ForeignFile f;
    QByteArray expected = TextExport::headerLine();
    qint64 no = 1;
    for (const Case& c : cases) {
        // The same text once stored as text (Value) and once as a blob (Unit).
        f.exec("INSERT INTO Kestodb(No, Value, Unit) VALUES(?, ?, ?)",
               {no, c.stored, ForeignFile::Blob{c.stored}});
        expected += QByteArray::number(no++) + "\t\t\t" + c.written + '\t' + c.written + "\t\r\n";
    }
    EXPECT_EQ(f.exported(), expected);
}

TEST(ForeignRecordFile, RowIdsAtTheEndsOfTheRangeKeepEveryRowInOrder) {
    ForeignFile f;
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    for (const auto& [id, no] : {std::pair{kMax, qint64(3)}, std::pair{kMin, qint64(1)}, std::pair{qint64(-1), qint64(2)}})
        f.exec("INSERT INTO Kestodb(rowid, No, AUTO) VALUES(?, ?, 'AUTO')", {id, no});
    EXPECT_EQ(f.exported(), TextExport::headerLine() + "1\t\t\t\t\tAUTO\r\n2\t\t\t\t\tAUTO\r\n3\t\t\t\t\tAUTO\r\n");
    const auto rows = f.rowTexts();
    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].front(), QString::number(i + 1));
}

TEST(ForeignRecordFile, RealsInWholeNumberFieldsShowTruncatedOnlyWhenTheyFit) {
    struct Case {
        double stored;
        const char* shown;
    };
    const std::vector<Case> cases{
        {3.7, "3"},
        {-2.5, "-2"},
        {1e300, "1e+300"},
        {-1e19, "-1e+19"},
        {1e19, "1e+19"},  // just beyond the largest whole number
        {std::numeric_limits<double>::infinity(), "inf"},
    };
    ForeignFile f;
    QByteArray expected = TextExport::headerLine();
    for (const Case& c : cases) {
        f.exec("INSERT INTO Kestodb(No) VALUES(?)", {c.stored});
        expected += QByteArray(c.shown) + "\t\t\t\t\t\r\n";
    }
    EXPECT_EQ(f.exported(), expected);
    const auto rows = f.rowTexts();
    ASSERT_EQ(rows.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(rows[i].front(), cases[i].shown) << cases[i].stored;
}

TEST(ForeignRecordFile, AFieldNamedRowidHidesNeitherRowsNorTheirOrder) {
    ForeignFile f;
    f.exec("ALTER TABLE Kestodb ADD COLUMN rowid INTEGER");
    // Its values run against the order the rows were written in, one is empty.
    const std::vector<ForeignFile::Bound> hidden{qint64(30), QByteArray("x"), qint64(10)};
    for (qint64 no = 1; no <= 3; ++no)
        f.exec("INSERT INTO Kestodb(No, AUTO, rowid) VALUES(?, 'AUTO', ?)", {no, hidden[std::size_t(no - 1)]});
    f.exec("UPDATE Kestodb SET rowid = NULL WHERE No = 2");
    EXPECT_EQ(f.exported(), TextExport::headerLine() + "1\t\t\t\t\tAUTO\r\n2\t\t\t\t\tAUTO\r\n3\t\t\t\t\tAUTO\r\n");
    const auto rows = f.rowTexts();
    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].front(), QString::number(i + 1));
}

namespace {

// What opening `path` for reading (as --export, --stats and Open do) says, empty when it opens.
QString readingFailure(const QString& path) {
    try {
        TableEngine e;
        RecordFileReader::openForReading(e, path);
        return QString();
    } catch (const TableError& e) {
        return e.message();
    }
}

// Leaves a hot rollback journal beside `path`, as a writer killed with its cache spilled does.
void killWriterMidTransaction(const QString& path) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        sqlite3_exec(db, "PRAGMA cache_size=5; BEGIN", nullptr, nullptr, nullptr);
        for (int i = 0; i < 5000; ++i)
            sqlite3_exec(db, "INSERT INTO Kestodb(No, AUTO) VALUES(1, 'a rather long text to fill pages quickly')", nullptr, nullptr, nullptr);
        ::_exit(0);  // as SIGKILL would: nothing committed, nothing rolled back
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
}

}  // namespace

// Files that cannot be read give the real reason, and stay as they were.
TEST(ForeignRecordFile, FilesThatCannotBeReadSayWhy) {
    const char* const fields = "(No INTEGER PRIMARY KEY, Time TEXT, \"DC/AC\" TEXT, Value TEXT, Unit TEXT, AUTO TEXT, Nval REAL)";
    {
        ForeignFile f;
        f.exec("DROP TABLE Kestodb");
        f.exec(QByteArray("CREATE TABLE Kestodb").append(fields).append(" WITHOUT ROWID").constData());
        const QString why = readingFailure(f.path);
        EXPECT_TRUE(why.contains("is a WITHOUT ROWID table")) << why.toStdString();
    }
    {
        ForeignFile f;
        f.exec("DROP TABLE Kestodb");
        f.exec("CREATE TABLE notes(text TEXT)");
        f.exec(QByteArray("CREATE TABLE Kestodb").append(fields).constData());
        const QString why = readingFailure(f.path);
        EXPECT_TRUE(why.contains("its first table 'notes' has no field 'No'") && why.contains("also holds 'Kestodb'"))
            << why.toStdString();
    }
    {
        ForeignFile f;
        killWriterMidTransaction(f.path);
        ASSERT_TRUE(QFileInfo::exists(f.path + "-journal"));
        const QByteArray before = readAll(f.path);
        const QString why = readingFailure(f.path);
        EXPECT_TRUE(why.contains("left half-written by a program that stopped") && why.contains(f.path + "-journal"))
            << why.toStdString();
        EXPECT_EQ(readAll(f.path), before) << "a file that is only read is never rolled back";
        EXPECT_TRUE(QFileInfo::exists(f.path + "-journal"));
    }
}
