// Paradox record tables (the meter's Windows program wrote them) as every reader of record
// files meets them: the grid's rows, --export to CSV, text and a Veska table, --stats and
// --print. They read exactly like the same rows in a Veska table, are never changed, never
// become the table rows are recorded into, and damaged ones are refused with the reason.
#include "DataFilesTestSupport.h"
#include "support/FakeDialogs.h"
#include "support/ParadoxFileWriter.h"

#include "app/CommandLine.h"
#include "app/DataFileCli.h"
#include "app/PlotCli.h"
#include "app/ReportCli.h"
#include "protocol/MeterReading.h"
#include "session/Recorder.h"
#include "storage/ParadoxTable.h"
#include "storage/RecordColumns.h"
#include "storage/RecordFileReader.h"
#include "storage/RecordTable.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "ui/DataFileCommands.h"
#include "ui/RecordGridModel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <functional>

using namespace veska;
using namespace veska::test;

namespace {

// Every unit text the decoder gives, the symbol font's codes among them, and the awkward
// values: overload, negative, no coupling.
std::vector<Row> everyUnitRows() {
    static const char* const kUnits[] = {"",   "V",  "A",  "*",  "F",  "#",  "?",  "Hz", "kHz", "MHz", "%",
                                         "nV", "mV", "uV", "nA", "mA", "uA", "nF", "mF", "uF",  "k*",  "M*"};
    std::vector<Row> out;
    qint64 no = 1;
    for (const char* unit : kUnits) {
        Row r = row(no, QString::fromLatin1(unit));
        r.acdc = no % 3 == 0 ? QString() : no % 3 == 1 ? QStringLiteral("DC") : QStringLiteral("AC");
        r.value = no % 5 == 0 ? QStringLiteral("-%1.56").arg(no % 10) : r.value;
        r.nval = no % 5 == 0 ? -double(no) * 100 - 56 : double(no) * 1000 + 234;
        out.push_back(r);
        ++no;
    }
    Row overload = row(no, QStringLiteral("M*"));
    overload.value = QStringLiteral("0.L");
    overload.nval = 6001;
    overload.range = QStringLiteral("MANU");
    out.push_back(overload);
    return out;
}

ParadoxRow paradoxRow(const Row& r) {
    auto text = [](const QString& s) { return s.isEmpty() ? ParadoxValue{} : ParadoxValue{s.toStdString()}; };
    return {long(r.no),    long(r.time.msecsSinceStartOfDay()), text(r.acdc), text(r.value), text(r.unit),
            text(r.range), r.nval};
}

std::vector<ParadoxRow> paradoxRows(const std::vector<Row>& rows) {
    std::vector<ParadoxRow> out;
    for (const Row& r : rows) out.push_back(paradoxRow(r));
    return out;
}

qsizetype linesIn(const QByteArray& text) { return text.count("\r\n"); }

QByteArray digest(const QString& path) {
    return QCryptographicHash::hash(readAll(path), QCryptographicHash::Sha256);
}

// The six shown fields of every row, as the grid reads them.
std::vector<QStringList> gridTexts(const QString& path) {
    TableEngine e;
    RecordFileReader::openForReading(e, path);
    const RecordColumns::Indexes columns = RecordColumns::indexesIn(e);
    std::vector<QStringList> out;
    for (const QStringList& texts : e.rowTexts(0, int(e.rowCount()) + 1)) {
        QStringList shown;
        for (const int c : columns) shown << texts[c];
        out.push_back(shown);
    }
    return out;
}

struct ParadoxFiles : ::testing::Test {
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString writeParadox(const char* name, const std::vector<Row>& rows) {
        const QString p = path(name);
        EXPECT_TRUE(writeParadoxTable(p.toStdString(), paradoxRecordFields(), paradoxRows(rows)));
        return p;
    }
    // What every command makes of `table`: CSV, text, statistics.
    struct Outputs {
        QByteArray csv, text;
        QString statistics;
    };
    Outputs outputsOf(const QString& table, const char* tag) {
        Outputs o;
        const QString csv = dir.filePath(QStringLiteral("%1.csv").arg(QLatin1String(tag)));
        const QString text = dir.filePath(QStringLiteral("%1.txt").arg(QLatin1String(tag)));
        EXPECT_EQ(DataFileCli::exportTable(table, csv), QString());
        EXPECT_EQ(DataFileCli::exportTable(table, text), QString());
        EXPECT_EQ(DataFileCli::statistics(table, o.statistics), QString());
        o.csv = readAll(csv);
        o.text = readAll(text);
        return o;
    }
};

TEST_F(ParadoxFiles, ReadLikeTheSameRowsInAVeskaTableAndStayUnchanged) {
    for (const std::vector<Row>& rows : {everyUnitRows(), std::vector<Row>{}}) {
        SCOPED_TRACE(rows.size());
        const QString paradox = writeParadox("RUN.DB", rows);
        const QString veska = path("veska.db");
        QFile::remove(veska);
        writeRecordFile(veska, rows);
        const QByteArray before = digest(paradox);
        ASSERT_TRUE(RecordFileReader::isParadoxFile(paradox));
        EXPECT_FALSE(RecordFileReader::isParadoxFile(veska));

        EXPECT_EQ(gridTexts(paradox), gridTexts(veska));
        const Outputs fromParadox = outputsOf(paradox, "p");
        const Outputs fromVeska = outputsOf(veska, "v");
        EXPECT_EQ(fromParadox.csv, fromVeska.csv);
        EXPECT_EQ(fromParadox.text, fromVeska.text);
        EXPECT_EQ(fromParadox.statistics, fromVeska.statistics);
        if (!rows.empty()) {
            // The font's codes became plain units; the text export keeps them as recorded.
            EXPECT_TRUE(fromParadox.csv.contains(",k\xce\xa9,")) << fromParadox.csv.constData();
            EXPECT_TRUE(fromParadox.csv.contains(",\xc2\xb0" "C,"));
            EXPECT_TRUE(fromParadox.text.contains("\tk*\t"));
            EXPECT_EQ(gridTexts(paradox)[0][1], QStringLiteral("14:05:10"));
        }
        // An empty table gives no report, as from a Veska table.
        EXPECT_EQ(ReportCli::printTable(paradox, path("run.pdf")).isEmpty(), !rows.empty());
        EXPECT_EQ(digest(paradox), before);
        EXPECT_FALSE(DataFileCli::exportTable(paradox, paradox).isEmpty()) << "the source itself is never written";
        EXPECT_EQ(digest(paradox), before);
        QFile::remove(paradox);
    }
}

TEST_F(ParadoxFiles, FieldsMatchWithoutCaseAndExtraFieldsReachTheVeskaCopy) {
    std::vector<ParadoxField> fields{{"PROBE", pxfAlpha, 10}, {"no", pxfLong, 4},     {"TIME", pxfTime, 4},
                                     {"dc/ac", pxfAlpha, 2},   {"vAlUe", pxfAlpha, 6}, {"UNIT", pxfAlpha, 2},
                                     {"auto", pxfAlpha, 4},    {"NVAL", pxfNumber, 8}, {"Temp", pxfNumber, 8},
                                     {"Day", pxfDate, 4},      {"Ok", pxfLogical, 1},  {"Count", pxfShort, 2}};
    const std::vector<ParadoxRow> rows{
        {std::string("red"), 1L, paradoxTime(23, 59, 59, 999), std::string("DC"), std::string("1.234"),
         std::string("k*"), std::string("AUTO"), 1234.0, 21.5, 738865L, 1L, 7L},
        {ParadoxValue{}, 2L, paradoxTime(0, 0, 0), ParadoxValue{}, std::string("0.L"), std::string("M*"),
         std::string("MANU"), 6001.0, ParadoxValue{}, ParadoxValue{}, 0L, -3L}};
    const QString paradox = path("extra.db");
    ASSERT_TRUE(writeParadoxTable(paradox.toStdString(), fields, rows));
    const QByteArray before = digest(paradox);

    EXPECT_EQ(gridTexts(paradox),
              (std::vector<QStringList>{{"1", "23:59:59", "DC", "1.234", "k*", "AUTO"}, {"2", "00:00:00", "", "0.L", "M*", "MANU"}}));

    const QString copy = path("converted.db");
    ASSERT_EQ(DataFileCli::exportTable(paradox, copy), QString());
    EXPECT_EQ(digest(paradox), before);
    {
        TableEngine e;
        e.setTableName(copy);
        e.open();
        ASSERT_EQ(e.fields().size(), fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i)
            EXPECT_EQ(e.fields()[i].name.toStdString(), fields[i].name);
        const std::vector<QStringList> texts = e.rowTexts(0, 5);
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0], (QStringList{"red", "1", "23:59:59", "DC", "1.234", "k*", "AUTO", "1234", "21.5",
                                         "2023-12-11", "1", "7"}));
        EXPECT_EQ(texts[1].mid(8), (QStringList{"", "", "0", "-3"}));
    }
    // The converted copy is a Veska table: rows can be recorded into it.
    RecordTable table;
    ASSERT_NO_THROW(table.openTable(copy));
    EXPECT_TRUE(table.isWritable()) << table.notWritableReason().toStdString();
    setRow(table, row(3));
    EXPECT_EQ(table.rowCount(), 3);
    table.close();
}

TEST_F(ParadoxFiles, NeverBecomeTheRecordTable) {
    const QString paradox = writeParadox("KESTODB.DB", rows(1, 3));
    const QByteArray before = digest(paradox);
    RecordTable table;
    try {
        table.openTable(paradox);
        ADD_FAILURE() << "a Paradox table became the record table";
    } catch (const TableError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("veska --export %1 NEW.db").arg(paradox))) << e.what();
    }
    EXPECT_FALSE(table.isOpen());

    // The Windows program's own KESTODB.DB in the working directory: Veska records into its
    // own Kestodb.db beside it and leaves the Paradox file alone.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    EXPECT_NO_THROW(table.openDefault());
    QDir::setCurrent(previous);
    EXPECT_EQ(QFileInfo(table.filePath()).fileName(), QStringLiteral("Kestodb.db"));
    setRow(table, row(1));
    table.close();
    EXPECT_EQ(digest(paradox), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << QDir(dir.path()).entryList(QDir::Files).join(' ').toStdString();
}

// Standard error of this process while `run` runs.
QByteArray stderrOf(const std::function<void()>& run) {
    const int capture = memfd_create("test-stderr", 0);
    const int saved = dup(STDERR_FILENO);
    dup2(capture, STDERR_FILENO);
    run();
    dup2(saved, STDERR_FILENO);
    close(saved);
    QByteArray text(4096, '\0');
    const ssize_t n = pread(capture, text.data(), std::size_t(text.size()), 0);
    close(capture);
    return text.left(n > 0 ? n : 0);
}

TEST_F(ParadoxFiles, DamagedTruncatedEncryptedAndForeignFilesGiveTheReason) {
    const QString good = writeParadox("good.db", rows(1, 200));
    const QByteArray image = readAll(good);
    ASSERT_GE(image.size(), 0x1000);
    auto patched = [&image](int offset, char byte) {
        QByteArray b = image;
        b[offset] = byte;
        return b;
    };
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* reason;
    };
    QByteArray moreRows = image;
    moreRows[0x06] = char(0xF0);  // more rows than the blocks hold, fewer than they could
    const std::vector<Case> cases{
        {"within the first bytes", image.left(10), "is not a table file"},
        {"within the header", image.left(0x100), "truncated"},
        {"before the data", image.left(0x800), "truncated"},
        {"within the data", image.left(0x900), "truncated"},
        {"by one byte", image.left(image.size() - 1), "truncated"},
        {"encrypted", patched(0x5C, 0x01), "encrypted"},
        {"encrypted the old way", patched(0x26, 0x11), "encrypted"},
        {"an index file", patched(0x04, 0x01), "index file"},
        {"keyed without its index", patched(0x04, 0x00), "primary index KEYED WITHOUT ITS INDEX.PX is missing"},
        {"rows counted otherwise", moreRows, "damaged"},
        {"more rows than blocks", patched(0x09, 0x10), "damaged"},
        {"record size", patched(0x00, 0x07), "damaged"},
        {"field count", patched(0x22, 0x40), "its header gives 16391 fields"},
        {"a text file", QByteArray("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n1\t14:05:09\tDC\t1.234\tV\tAUTO\r\n"), "is not a table file"},
    };
    const QByteArray printed = stderrOf([&] {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            const QString file = dir.filePath(QString::fromLatin1(c.name).toUpper() + QStringLiteral(".DB"));
            {
                QFile f(file);
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                f.write(c.bytes);
            }
            const QString out = path("out.csv");
            const QString message = DataFileCli::exportTable(file, out);
            EXPECT_TRUE(message.contains(file)) << message.toStdString();
            EXPECT_TRUE(message.contains(QLatin1String(c.reason))) << message.toStdString();
            QString stats;
            EXPECT_FALSE(DataFileCli::statistics(file, stats).isEmpty());
            EXPECT_FALSE(QFile::exists(out));
            EXPECT_EQ(readAll(file), c.bytes);
        }
    });
    EXPECT_EQ(printed, QByteArray()) << "the library printed on its own";

    // A keyed table with its primary index beside it, a memo field, other fields.
    const QString keyed = path("keyed.db");
    QFile::copy(path("KEYED WITHOUT ITS INDEX.DB"), keyed);
    QFile px(path("KEYED.PX"));
    ASSERT_TRUE(px.open(QIODevice::WriteOnly));
    px.close();
    EXPECT_TRUE(DataFileCli::exportTable(keyed, path("o.txt")).contains("with the primary index KEYED.PX"));
    const QString memo = path("memo.db");
    ASSERT_TRUE(writeParadoxTable(memo.toStdString(), {{"No", pxfLong, 4}, {"Note", pxfMemoBLOb, 20}}, {{1L, ParadoxValue{}}}));
    EXPECT_TRUE(DataFileCli::exportTable(memo, path("o.txt")).contains("'Note' holds memo or binary data"));
    const QString other = path("other.db");
    ASSERT_TRUE(writeParadoxTable(other.toStdString(), {{"Name", pxfAlpha, 10}, {"Price", pxfNumber, 8}}, {{std::string("a"), 1.0}}));
    EXPECT_TRUE(DataFileCli::exportTable(other, path("o.txt")).contains("has no field 'No'"));
    EXPECT_FALSE(QFile::exists(path("o.txt")));
}

}  // namespace


TEST_F(ParadoxFiles, PlotLikeTheSameRowsInAVeskaTable) {
    const std::vector<Row> rows = everyUnitRows();
    const QString paradox = writeParadox("PLOT.DB", rows);
    const QString veska = path("plot.db");
    writeRecordFile(veska, rows);
    const QByteArray before = digest(paradox);
    auto picture = [this](const QString& table, const char* out) {
        QString error;
        const auto cl = CommandLine::parse({QStringLiteral("--plot"), table, path(out)}, error);
        EXPECT_TRUE(cl.has_value()) << error.toStdString();
        EXPECT_EQ(PlotCli::plot(*cl), QString());
        // The picture names its table; the rest must be the same.
        return readAll(path(out)).replace(QFile::encodeName(table), "TABLE");
    };
    const QByteArray fromParadox = picture(paradox, "p.svg");
    EXPECT_FALSE(fromParadox.isEmpty());
    EXPECT_EQ(fromParadox, picture(veska, "v.svg"));
    EXPECT_EQ(digest(paradox), before);
}

namespace {

// The window's record-file commands and grid over a record table of two saved rows and one
// recorded in this run.
struct WindowDesk {
    WindowDesk() {
        QDir::setCurrent(dir.path());
        writeRecordFile(dir.filePath("Kestodb.db"), rows(1, 2));
        table.openTable(QStringLiteral("Kestodb"));
        setRow(table, row(3, QStringLiteral("#")));
        commands.setDialogs(&dialogs);
        QObject::connect(&commands, &DataFileCommands::shownTableChanged, &grid, &RecordGridModel::showTable);
        QObject::connect(&commands, &DataFileCommands::information, [this](const QString& t) { infos << t; });
        QObject::connect(&commands, &DataFileCommands::error, [this](const QString& t) { errors << t; });
        recorder.samplingTimer().stop();
        recorder.setNextRecordNo(4);
    }
    ~WindowDesk() {
        table.close();
        QDir::setCurrent(QDir::tempPath());
    }
    QString open(const QString& file) {
        dialogs.chosenFile = file;
        EXPECT_TRUE(commands.openRecordFile());
        return file;
    }
    QString gridCell(int row, int column) const { return grid.data(grid.index(row, column)).toString(); }

    QTemporaryDir dir;
    RecordTable table;
    Recorder recorder{table};
    DataFileCommands commands{table};
    RecordGridModel grid{table};
    FakeDialogs dialogs;
    QStringList infos, errors;  // the messages the window would show
};

}  // namespace

TEST(ParadoxInTheWindow, OpenShowsTheRowsWhileRecordingGoesOnInTheRecordTable) {
    WindowDesk d;
    const QString paradox = d.dir.filePath("OLD.DB");
    ASSERT_TRUE(writeParadoxTable(paradox.toStdString(), paradoxRecordFields(), paradoxRows(rows(100, 5, QStringLiteral("M*")))));
    const QByteArray before = digest(paradox);
    const QString recordTable = d.table.filePath();

    d.open(paradox);
    EXPECT_TRUE(d.dialogs.saveQuestions.isEmpty()) << "the run's rows stay where they are";
    ASSERT_EQ(d.infos.size(), 1);
    EXPECT_TRUE(d.infos[0].contains(QStringLiteral("recording goes on in %1").arg(recordTable)));
    EXPECT_TRUE(d.infos[0].contains(QStringLiteral("veska --export %1 NEW.db").arg(paradox)));
    EXPECT_EQ(d.grid.rowCount(), 5);
    EXPECT_EQ(d.gridCell(0, 0), "100");
    EXPECT_EQ(d.gridCell(4, 4), "M*");
    EXPECT_EQ(d.table.filePath(), recordTable);

    // A reading is recorded into the record table; the grid keeps showing the file.
    d.recorder.offerReading(MeterReading{"1.000", 1000.0F, "DC", "V", "AUTO"});
    EXPECT_EQ(d.table.rowCount(), 4);
    EXPECT_EQ(d.table.unsavedRows(), 2);
    EXPECT_EQ(d.grid.rowCount(), 5);

    // Save and print work on what the grid shows; the run's rows stay unsaved.
    d.dialogs.chosenFile = d.dir.filePath("old.txt");
    ASSERT_TRUE(d.commands.saveRecordFileAs());
    EXPECT_EQ(linesIn(readAll(d.dir.filePath("old.txt"))), 6);
    EXPECT_EQ(d.table.unsavedRows(), 2);
    EXPECT_TRUE(d.commands.printRecords());
    EXPECT_EQ(d.dialogs.previews, 1);

    // Told once: another Paradox file is shown without the message again.
    const QString second = d.dir.filePath("second.db");
    ASSERT_TRUE(writeParadoxTable(second.toStdString(), paradoxRecordFields(), paradoxRows(rows(7, 2))));
    d.open(second);
    EXPECT_EQ(d.infos.filter(QStringLiteral("Paradox")).size(), 1);
    EXPECT_EQ(d.grid.rowCount(), 2);

    // The unsaved-rows question saves the record table itself.
    d.dialogs.chosenFile = d.dir.filePath("run.txt");
    ASSERT_TRUE(d.commands.saveRecordTableAs());
    EXPECT_EQ(linesIn(readAll(d.dir.filePath("run.txt"))), 5);
    EXPECT_EQ(d.table.unsavedRows(), 0);

    // Opening the record table's own file goes back to it, rows and all, without reopening.
    d.open(recordTable);
    EXPECT_EQ(d.commands.shownTable(), nullptr);
    EXPECT_EQ(d.grid.rowCount(), 4);
    EXPECT_EQ(d.gridCell(3, 0), "4");
    EXPECT_EQ(digest(paradox), before);

    // A damaged one is refused with the reason; the grid and the table stay as they were.
    QFile damaged(d.dir.filePath("damaged.db"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(readAll(paradox).left(0x900));
    damaged.close();
    d.dialogs.chosenFile = damaged.fileName();
    EXPECT_FALSE(d.commands.openRecordFile());
    ASSERT_EQ(d.errors.size(), 1);
    EXPECT_TRUE(d.errors[0].contains(damaged.fileName()) && d.errors[0].contains("truncated"));
    EXPECT_EQ(d.grid.rowCount(), 4);
    EXPECT_EQ(d.table.rowCount(), 4);
}
