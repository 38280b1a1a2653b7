#include "DataFilesTestSupport.h"
#include "support/FakeDialogs.h"
#include "support/FileSizeLimit.h"

#include "app/DataFileCli.h"
#include "ui/DataFileCommands.h"
#include "ui/DataFileDialogs.h"
#include "storage/RecordTable.h"
#include "session/Recorder.h"
#include "storage/TableCopy.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "storage/TextExport.h"
#include "storage/TableStatistics.h"
#include "protocol/IsoTime.h"

#include <cmath>

#include <QDir>
#include <QPrinter>
#include <QFileDialog>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <csignal>

using namespace veska;
using namespace veska::test;

namespace {

// Answers the file dialogs from a queue and keeps what each dialog looked like; the print
// preview runs `preview` when a test sets it.
struct DeskDialogs : FakeDialogs {
    QString chooseFile(const FileDialogSpec& spec) override {
        specs.push_back(spec);
        return chosen.isEmpty() ? QString() : chosen.takeFirst();
    }
    void showPrintPreview(QPrinter& printer, const std::function<void(QPrinter*)>& paint) override {
        ++previews;
        if (preview) preview(printer, paint);
    }
    QStringList chosen;
    std::vector<FileDialogSpec> specs;
    std::function<void(QPrinter&, const std::function<void(QPrinter*)>&)> preview;
};

// The record table opened on a file of two rows, plus one row recorded in this run, with
// the commands' dialogs answered by the test.
struct Desk {
    Desk() {
        QDir::setCurrent(dir.path());
        writeRecordFile(path("Kestodb.db"), rows(1, 2));
        table.openTable(QStringLiteral("Kestodb"));
        setRow(table, row(3, QStringLiteral("#")));
        dialogs.saveChoice = UserDialogs::SaveChoice::Cancel;
        commands.setDialogs(&dialogs);
        QObject::connect(&commands, &DataFileCommands::information, [this](const QString& t) { infos << t; });
        QObject::connect(&commands, &DataFileCommands::error, [this](const QString& t) { errors << t; });
    }
    ~Desk() {
        table.close();
        QDir::setCurrent(QDir::tempPath());
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    // Files in the folder other than the table, its recovery journal and `expected`.
    QStringList strayFiles(const QStringList& expected = {}) const {
        QStringList out;
        const auto entries = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        for (const QString& e : entries)
            if (!e.startsWith(QLatin1String("Kestodb")) && !expected.contains(e)) out << e;
        return out;
    }

    QTemporaryDir dir;
    RecordTable table;
    DataFileCommands commands{table};
    DeskDialogs dialogs;
    QStringList& chosen = dialogs.chosen;
    std::vector<FileDialogSpec>& specs = dialogs.specs;
    UserDialogs::SaveChoice& answer = dialogs.saveChoice;
    QStringList& questions = dialogs.saveQuestions;
    QStringList infos, errors;
};

QList<QByteArray> linesOf(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    EXPECT_TRUE(lines.last().isEmpty()) << "the last line ends with CR LF";
    lines.removeLast();
    for (QByteArray& l : lines) {
        EXPECT_TRUE(l.endsWith('\r'));
        l.chop(1);
    }
    return lines;
}

std::vector<QStringList> tableRows(const QString& file) {
    TableEngine e;
    e.setTableName(file);
    e.open();
    return e.rowTexts(0, 1000);
}

QStringList indexesOf(const QString& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE type='index'", -1, &q, nullptr);
    QStringList out;
    while (sqlite3_step(q) == SQLITE_ROW) out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
    sqlite3_finalize(q);
    sqlite3_close(db);
    return out;
}

const QByteArray kExpectedText = "No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n"
                                 "1\t14:05:10\tDC\t1.234\tk*\tAUTO\r\n"
                                 "2\t14:05:11\tDC\t2.234\tk*\tAUTO\r\n"
                                 "3\t14:05:12\tDC\t3.234\t#\tAUTO\r\n";

}  // namespace

TEST(DataFiles, SaveAsChoosesCopyOrTextByTheExtension) {
    struct Case {
        const char* name;
        bool copy;
    };
    for (const Case c : {Case{"run1.xls", false}, Case{"run1.txt", false}, Case{"run1.DB", true},
                         Case{"run1.Db", true}, Case{"run1.db.xls", false}, Case{"run1.db", true}}) {
        SCOPED_TRACE(c.name);
        Desk d;
        d.chosen << d.path(c.name);
        ASSERT_TRUE(d.commands.saveRecordFileAs());
        ASSERT_EQ(d.specs.size(), 1u);
        EXPECT_EQ(d.specs[0].defaultSuffix, "xls");
        EXPECT_EQ(d.table.unsavedRows(), 0) << "a saved table has nothing left to lose";
        EXPECT_EQ(d.table.rowCount(), 3);
        EXPECT_TRUE(d.errors.isEmpty()) << d.errors.join('\n').toStdString();
        EXPECT_EQ(d.strayFiles({c.name}), QStringList());
        if (c.copy) {
            EXPECT_TRUE(d.infos.isEmpty());
            const auto copied = tableRows(d.path(c.name));
            ASSERT_EQ(copied.size(), 3u);
            EXPECT_EQ(copied[2], (QStringList{"3", "14:05:12", "DC", "3.234", "#", "AUTO", "3"}));
            TableEngine e;
            e.setTableName(d.path(c.name));
            e.open();
            QStringList names;
            for (const auto& f : e.fields()) names << f.name;
            EXPECT_EQ(names, (QStringList{"No", "Time", "DC/AC", "Value", "Unit", "AUTO", "Nval"}));
            const QStringList indexes = indexesOf(d.path(c.name));
            ASSERT_EQ(indexes.size(), 1);
            EXPECT_TRUE(indexes[0].contains("UNIQUE") && indexes[0].contains("(\"No\")")) << indexes[0].toStdString();
        } else {
            const QByteArray text = readAll(d.path(c.name));
            EXPECT_EQ(text, kExpectedText);
            const auto lines = linesOf(text);
            ASSERT_EQ(lines.size(), 4);
            for (const QByteArray& l : lines) EXPECT_EQ(l.count('\t'), 5);
            EXPECT_EQ(d.infos, QStringList{"save table to specified file: " + d.path(c.name) + " Scuss!"});
        }
    }
}

TEST(DataFiles, TextExportGivesTheEnginesDisplayTextsWhateverTheStoredType) {
    QTemporaryDir dir;
    const QString file = dir.filePath("typed.db");
    writeRecordFile(file, {});
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(file).constData(), &db);
    // A whole number stored as a real, a time as seconds, an empty field, a non-ASCII unit,
    // NUL bytes in a text (dropped: they end the text for many readers).
    char* failure = nullptr;
    sqlite3_exec(db, "INSERT INTO Kestodb VALUES(3.0, 50709, NULL, CAST(X'31002E3500' AS TEXT), '\xc2\xb5" "A', "
                     "CAST(X'4D00414E55' AS TEXT), 1.5)",
                 nullptr, nullptr, &failure);
    EXPECT_EQ(failure, nullptr) << failure;
    sqlite3_free(failure);
    sqlite3_close(db);
    TableEngine e;
    e.setTableName(file);
    e.open();
    ASSERT_TRUE(TextExport::exportTableAsText(e, dir.filePath("typed.txt")).ok);
    EXPECT_EQ(readAll(dir.filePath("typed.txt")), TextExport::headerLine() + "3\t14:05:09\t\t1.5\t\xb5" "A\tMANU\r\n");
    const QStringList texts = e.rowTexts(0, 1).front();
    EXPECT_EQ(texts.mid(0, 2), (QStringList{"3", "14:05:09"}));
}

TEST(DataFiles, SaveDialogAddsTheDefaultExtensionAndAsksBeforeOverwriting) {
    QTemporaryDir dir;
    QFileDialog dialog;
    DataFileDialogs::configure(dialog, DataFileDialogs::saveDialog());
    EXPECT_EQ(dialog.nameFilters(),
              (QStringList{"Excel File(*.xls)", "DB File(*.db)", "Txt File(*.txt)", "CSV (*.csv)", "All File(*.*)"}));
    EXPECT_EQ(dialog.selectedNameFilter(), "Excel File(*.xls)");
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    dialog.setDirectory(dir.path());
    dialog.selectFile(QStringLiteral("run1"));
    QMetaObject::invokeMethod(&dialog, "accept");
    EXPECT_EQ(dialog.selectedFiles(), QStringList{dir.filePath("run1.xls")});

    QFileDialog open;
    DataFileDialogs::configure(open, DataFileDialogs::openDialog());
    EXPECT_EQ(open.nameFilters(), (QStringList{"access data files (*.DB)", "All files (*.*)"}));
    EXPECT_EQ(open.fileMode(), QFileDialog::ExistingFile);
}

TEST(DataFiles, SavingTwiceToOneTableFileReplacesTheFirstCopy) {
    Desk d;
    d.chosen << d.path("run1.db") << d.path("run1.db");
    ASSERT_TRUE(d.commands.saveRecordFileAs());
    setRow(d.table, row(4));
    ASSERT_TRUE(d.commands.saveRecordFileAs());
    EXPECT_EQ(tableRows(d.path("run1.db")).size(), 4u);
    EXPECT_TRUE(d.errors.isEmpty());
    EXPECT_EQ(d.strayFiles({"run1.db"}), QStringList());
}

TEST(DataFiles, CopyWithRepeatedNumbersKeepsEveryRowWithoutTheIndex) {
    Desk d;
    setRow(d.table, row(1));  // the run's numbering restarted over the file's rows
    ASSERT_TRUE(d.commands.saveTo(d.path("run1.db")));
    EXPECT_EQ(tableRows(d.path("run1.db")).size(), 4u);
    EXPECT_TRUE(indexesOf(d.path("run1.db")).isEmpty());
    EXPECT_TRUE(d.errors.isEmpty());
}

TEST(DataFiles, CopyRefusesTheOpenTablesOwnFile) {
    Desk d;
    EXPECT_FALSE(d.commands.saveTo(d.path("Kestodb.db")));
    ASSERT_EQ(d.errors.size(), 1);
    EXPECT_EQ(d.table.rowCount(), 3);
    EXPECT_EQ(d.table.unsavedRows(), 1);
}

TEST(DataFiles, FailedSavesLeaveNoFileAndTheTableIntact) {
    struct Case {
        const char* what;
        const char* name;
        const char* reason;
    };
    for (const Case c : {Case{"folder under a regular file", "plain/run1", "Not a directory"},
                         Case{"proc", "/proc/veska-run1", "No such file or directory"}}) {
        for (const char* ext : {".xls", ".db"}) {
            SCOPED_TRACE(std::string(c.what) + ext);
            Desk d;
            QFile plain(d.path("plain"));
            ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
            plain.close();
            const QString name = QString::fromLatin1(c.name).startsWith('/') ? QString::fromLatin1(c.name) + ext
                                                                             : d.path(c.name) + ext;
            EXPECT_FALSE(d.commands.saveTo(name));
            ASSERT_EQ(d.errors.size(), 1);
            // The named file and the system's reason, never a temporary name.
            const QString named = QString(ext) == ".xls" ? "Could not save table to specified file: " + name + " ("
                                                         : "Cannot write table " + name + " (";
            EXPECT_TRUE(d.errors[0].startsWith(named)) << d.errors[0].toStdString();
            EXPECT_TRUE(d.errors[0].endsWith(QString(c.reason) + ")")) << d.errors[0].toStdString();
            EXPECT_TRUE(d.infos.isEmpty());
            EXPECT_FALSE(QFileInfo::exists(name));
            EXPECT_EQ(d.table.rowCount(), 3);
            EXPECT_EQ(d.table.unsavedRows(), 1);
            EXPECT_EQ(d.strayFiles({"plain"}), QStringList());
        }
    }
}


TEST(DataFiles, FullDiskLeavesTheOldFileUnderTheNameAndTheTableIntact) {
    for (const char* name : {"run1.xls", "run1.db"}) {
        SCOPED_TRACE(name);
        Desk d;
        for (qint64 no = 4; no < 3000; ++no) setRow(d.table, row(no));
        d.table.commitJournal();
        QFile old(d.path(name));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("earlier file");
        old.close();
        {
            FileSizeLimit limit(16 * 1024);
            EXPECT_FALSE(d.commands.saveTo(d.path(name)));
        }
        ASSERT_EQ(d.errors.size(), 1);
        EXPECT_TRUE(d.errors[0].contains(d.path(name))) << d.errors[0].toStdString();
        EXPECT_TRUE(d.infos.isEmpty());
        EXPECT_EQ(readAll(d.path(name)), "earlier file");
        EXPECT_EQ(d.strayFiles({name}), QStringList());
        EXPECT_EQ(d.table.rowCount(), 2999);
        EXPECT_EQ(d.table.unsavedRows(), 2997);
    }
}

TEST(DataFiles, OpenPathIsUpperCasedOnlyWhereItNamesTheChosenFile) {
    QTemporaryDir dir;
    const QString lower = dir.filePath("data/old.db");
    QDir(dir.path()).mkdir("data");
    writeRecordFile(lower, rows(1, 1));
    // Folders and file differ in case: the upper-cased path does not exist.
    EXPECT_EQ(DataFileCommands::openPathFor(lower), lower);
    // An upper-case twin is another file on this file system: still the chosen one.
    writeRecordFile(dir.filePath("data/OLD.DB"), rows(1, 1));
    EXPECT_EQ(DataFileCommands::openPathFor(lower), lower);
    const QString upper = dir.filePath("DATA/OLD.DB");
    QDir(dir.path()).mkdir("DATA");
    writeRecordFile(upper, rows(1, 1));
    EXPECT_EQ(DataFileCommands::openPathFor(lower), lower);
    EXPECT_EQ(DataFileCommands::openPathFor(upper), upper);
    EXPECT_EQ(DataFileCommands::openPathFor(QStringLiteral("C:\\data\\old.db")), "C:\\data\\old.db");
}

TEST(DataFiles, OpenReplacesTheTableAndRecordingContinuesTheRunsNumbers) {
    Desk d;
    Recorder recorder(d.table);
    recorder.samplingTimer().stop();
    recorder.setNextRecordNo(4);
    QDir(d.dir.path()).mkdir("data");
    writeRecordFile(d.path("data/old.db"), rows(100, 5));
    d.chosen << d.path("data/old.db");
    d.answer = UserDialogs::SaveChoice::Discard;
    ASSERT_TRUE(d.commands.openRecordFile());
    ASSERT_EQ(d.specs.size(), 1u);
    EXPECT_EQ(d.specs[0].filters.front(), "access data files (*.DB)");
    EXPECT_EQ(d.questions.size(), 1) << "one unsaved row was at stake";
    EXPECT_EQ(d.table.filePath(), d.path("data/old.db"));
    EXPECT_EQ(d.table.rowCount(), 5);
    EXPECT_EQ(d.table.unsavedRows(), 0);
    recorder.offerReading(MeterReading{"1.000", 1000.0F, "DC", "V", "AUTO"});
    EXPECT_EQ(d.table.rowTexts(5).value(0), "4");
    EXPECT_EQ(recorder.nextRecordNo(), 5);
    EXPECT_EQ(recorder.recordedRows(), 1);
}

TEST(DataFiles, OpenWithUnsavedRowsAsksAndHonoursTheAnswer) {
    using C = UserDialogs::SaveChoice;
    {  // Cancel: nothing changes.
        Desk d;
        d.chosen << d.path("Kestodb.db");
        d.answer = C::Cancel;
        EXPECT_FALSE(d.commands.openRecordFile());
        EXPECT_EQ(d.table.rowCount(), 3);
        EXPECT_EQ(d.table.unsavedRows(), 1);
    }
    {  // Discard, opening the file that is open: the run's rows are gone.
        Desk d;
        d.chosen << d.path("Kestodb.db");
        d.answer = C::Discard;
        EXPECT_TRUE(d.commands.openRecordFile());
        EXPECT_EQ(d.table.rowCount(), 2);
        EXPECT_TRUE(d.errors.isEmpty());
    }
    {  // Save: the save dialog runs, then the file opens.
        Desk d;
        d.chosen << d.path("Kestodb.db") << d.path("kept.xls");
        d.answer = C::Save;
        EXPECT_TRUE(d.commands.openRecordFile());
        EXPECT_EQ(readAll(d.path("kept.xls")), kExpectedText);
        EXPECT_EQ(d.table.rowCount(), 2);
    }
    {  // Save, but the save dialog is cancelled: the open is abandoned.
        Desk d;
        d.chosen << d.path("Kestodb.db");
        d.answer = C::Save;
        EXPECT_FALSE(d.commands.openRecordFile());
        EXPECT_EQ(d.table.rowCount(), 3);
    }
}

TEST(DataFiles, FailedOpenKeepsTheCurrentTableAndSaysSoOnce) {
    struct Case {
        const char* what;
        std::function<QString(Desk&)> prepare;
    };
    const Case cases[] = {
        {"missing", [](Desk& d) { return d.path("missing.db"); }},
        {"not a table",
         [](Desk& d) {
             QFile f(d.path("text.db"));
             f.open(QIODevice::WriteOnly);
             f.write("No\tTime\r\n1\t14:05:09\r\n");
             return d.path("text.db");
         }},
        {"another program's table",
         [](Desk& d) {
             TableEngine::createTable(d.path("other.db"), {{"Name", "TEXT", TableEngine::FieldKind::Text}});
             return d.path("other.db");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Desk d;
        d.chosen << c.prepare(d);
        d.answer = UserDialogs::SaveChoice::Discard;
        EXPECT_FALSE(d.commands.openRecordFile());
        EXPECT_EQ(d.errors.size(), 1);
        EXPECT_TRUE(d.questions.isEmpty()) << "nothing to decide when the file cannot be opened";
        EXPECT_TRUE(d.table.isOpen());
        EXPECT_EQ(d.table.filePath(), d.path("Kestodb.db"));
        EXPECT_EQ(d.table.rowCount(), 3);
        EXPECT_EQ(d.table.unsavedRows(), 1);
    }
    {  // Held by another program.
        Desk d;
        writeRecordFile(d.path("held.db"), rows(1, 1));
        TableEngine other;
        other.setTableName(d.path("held.db"));
        other.setExclusive(true);
        other.open();
        d.chosen << d.path("held.db");
        EXPECT_FALSE(d.commands.openRecordFile());
        ASSERT_EQ(d.errors.size(), 1);
        EXPECT_TRUE(d.errors[0].contains("in use")) << d.errors[0].toStdString();
        EXPECT_EQ(d.table.rowCount(), 3);
    }
}

TEST(DataFiles, PrintShowsThePreviewOnlyWithRows) {
    Desk d;
    int painted = 0;
    d.dialogs.preview = [&](QPrinter& printer, const std::function<void(QPrinter*)>& paint) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(d.path("preview.pdf"));
        paint(&printer);
        ++painted;
    };
    EXPECT_TRUE(d.commands.printRecords());
    EXPECT_EQ(painted, 1);
    EXPECT_GT(QFileInfo(d.path("preview.pdf")).size(), 0);
    d.table.empty();
    EXPECT_FALSE(d.commands.printRecords());
    EXPECT_EQ(painted, 1);
    EXPECT_EQ(d.infos, QStringList{DataFileCommands::nothingToPrintMessage()});
}

TEST(DataFiles, CommandLineExportSharesTheSaveRules) {
    QTemporaryDir dir;
    writeRecordFile(dir.filePath("run.db"), rows(1, 3));
    EXPECT_EQ(DataFileCli::exportTable(dir.filePath("run.db"), dir.filePath("out.txt")), QString());
    EXPECT_EQ(linesOf(readAll(dir.filePath("out.txt"))).size(), 4);
    EXPECT_EQ(DataFileCli::exportTable(dir.filePath("run.db"), dir.filePath("out.db")), QString());
    EXPECT_EQ(tableRows(dir.filePath("out.db")).size(), 3u);

    const QString missing = DataFileCli::exportTable(dir.filePath("none.db"), dir.filePath("x.txt"));
    EXPECT_FALSE(missing.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("x.txt")));
    const QString unwritable = DataFileCli::exportTable(dir.filePath("run.db"), dir.filePath("out.txt/x.txt"));
    EXPECT_TRUE(unwritable.startsWith("Could not save table to specified file: ")) << unwritable.toStdString();
}

// CSV from "Save as" of an older table (seven fields): times of day, SI values computed
// from the value and unit texts; the tab text export beside it is unchanged.
TEST(DataFiles, SaveAsCsvOfAnOlderTableComputesTheSiValues) {
    for (const char* name : {"run1.csv", "run1.CSV"}) {
        SCOPED_TRACE(name);
        Desk d;
        d.chosen << d.path(name);
        ASSERT_TRUE(d.commands.saveRecordFileAs());
        EXPECT_TRUE(d.errors.isEmpty()) << d.errors.join('\n').toStdString();
        EXPECT_EQ(d.table.unsavedRows(), 0);
        EXPECT_EQ(readAll(d.path(name)), QByteArray("No,Time,Mode,Value,Unit,SI value,Base unit,Overload,Range\r\n"
                                                    "1,14:05:10,DC,1.234,k\xce\xa9,1234,\xce\xa9,false,AUTO\r\n"
                                                    "2,14:05:11,DC,2.234,k\xce\xa9,2234,\xce\xa9,false,AUTO\r\n"
                                                    "3,14:05:12,DC,3.234,\xc2\xb0" "C,3.234,\xc2\xb0" "C,false,AUTO\r\n"));
        EXPECT_EQ(d.infos, QStringList{"save table to specified file: " + d.path(name) + " Scuss!"});
        EXPECT_EQ(d.strayFiles({name}), QStringList());
    }
}

namespace {

// A table of the current fields: rows as recording writes them, and one restored from an
// older run's journal (no moment, no SI value).
void writeNewRecordFile(const QString& path) {
    TableEngine::createTable(path, RecordTable::recordFields(), RecordTable::defaultTableName());
    TableEngine e;
    e.setTableName(path);
    e.open();
    struct R {
        qint64 no;
        const char* value;
        const char* unit;
        const char* utc;
        TableEngine::Value si;
    };
    const R rows[] = {{1, "4.698", "k*", "2026-12-10T03:14:15.123Z", 4698.0},
                      {2, "-.0L", "M*", "2026-12-10T03:14:16.123Z", std::monostate{}},
                      {3, "12.0", "uA", "2026-07-01T12:00:00.000Z", 0.000012},
                      {4, "01.50", "V", "", std::monostate{}}};
    for (const R& r : rows) {
        e.append();
        e.setField("No", r.no);
        e.setField("Time", QTime(14, 5, 9));
        e.setField("DC/AC", QStringLiteral("DC"));
        e.setField("Value", QString::fromLatin1(r.value));
        e.setField("Unit", QString::fromLatin1(r.unit));
        e.setField("AUTO", QStringLiteral("AUTO"));
        e.setField("Nval", 1.0);
        if (*r.utc) e.setField("UTC", QString::fromLatin1(r.utc));
        e.setField("SIval", r.si);
        e.post();
    }
    e.close();
}

}  // namespace

// `veska --export TABLE OUT.csv` of a table Veska wrote: full local timestamps from the
// stored moments, stored SI values, overload empty; a row without them falls back.
TEST(DataFiles, CommandLineExportWritesCsvWithTimestampsAndSiValues) {
    QTemporaryDir dir;
    writeNewRecordFile(dir.filePath("run.db"));
    EXPECT_EQ(DataFileCli::exportTable(dir.filePath("run.db"), dir.filePath("out.csv")), QString());
    const QList<QByteArray> lines = linesOf(readAll(dir.filePath("out.csv")));
    ASSERT_EQ(lines.size(), 5);
    const auto local = [](qint64 ms) { return QByteArray::fromStdString(IsoTime::local(ms)); };
    EXPECT_EQ(lines[1], "1," + local(1796872455123) + ",DC,4.698,k\xce\xa9,4698,\xce\xa9,false,AUTO");
    // An overload is no number: its minus must not start a spreadsheet formula.
    EXPECT_EQ(lines[2], "2," + local(1796872456123) + ",DC,'-.0L,M\xce\xa9,,\xce\xa9,true,AUTO");
    EXPECT_EQ(lines[3], "3," + local(1782907200000) + ",DC,12.0,\xc2\xb5" "A,0.000012,A,false,AUTO");
    EXPECT_EQ(lines[4], "4,14:05:09,DC,01.50,V,1.5,V,false,AUTO");
    // The tab-separated export of the same table is the six columns it always was.
    EXPECT_EQ(DataFileCli::exportTable(dir.filePath("run.db"), dir.filePath("out.txt")), QString());
    const QList<QByteArray> text = linesOf(readAll(dir.filePath("out.txt")));
    ASSERT_EQ(text.size(), 5);
    EXPECT_EQ(text[1], "1\t14:05:09\tDC\t4.698\tk*\tAUTO");
}

// Statistics per unit and coupling over a known table equal the textbook values: DC V
// 1,2,3,4 (mean 2.5, sample deviation sqrt(5/3)) apart from AC 230 V; one Ω value (no
// deviation); A only overloads.
TEST(DataFiles, StatisticsOfAKnownTableAreTheTextbookValues) {
    QTemporaryDir dir;
    std::vector<Row> rs;
    const char* values[][3] = {{"1.000", "V", "DC"}, {"2000", "mV", "DC"}, {"230.0", "V", "AC"},
                               {"3.000", "V", "DC"}, {".0L", "A", ""},     {"4.000", "V", "DC"},
                               {"1205", "k*", ""},   {"-0L.", "A", ""}};
    for (int i = 0; i < 8; ++i) {
        Row r = row(i + 1);
        r.value = values[i][0];
        r.unit = values[i][1];
        r.acdc = values[i][2];
        rs.push_back(r);
    }
    writeRecordFile(dir.filePath("known.db"), rs);
    TableEngine e;
    e.setTableName(dir.filePath("known.db"));
    e.open();
    const ReadingStatistics s = TableStatistics::compute(e);
    ASSERT_EQ(s.units().size(), 4u);
    const auto* v = s.find("V", "DC");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->count, 4u);
    EXPECT_EQ(v->minimum(), 1.0);
    EXPECT_EQ(v->maximum(), 4.0);
    EXPECT_DOUBLE_EQ(*v->mean(), 2.5);
    EXPECT_DOUBLE_EQ(*v->standardDeviation(), std::sqrt(5.0 / 3.0));
    EXPECT_EQ(v->firstTime, "14:05:10");
    EXPECT_EQ(v->lastTime, "14:05:15");
    const auto* ac = s.find("V", "AC");
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->count, 1u);
    EXPECT_EQ(ac->mean(), 230.0);
    EXPECT_EQ(s.find("V"), nullptr);
    const auto* ohm = s.find("\xce\xa9");
    ASSERT_NE(ohm, nullptr);
    EXPECT_EQ(ohm->count, 1u);
    EXPECT_EQ(ohm->mean(), 1205000.0);
    EXPECT_FALSE(ohm->standardDeviation());
    const auto* amp = s.find("A");
    ASSERT_NE(amp, nullptr);
    EXPECT_EQ(amp->count, 0u);
    EXPECT_EQ(amp->overloads, 2u);
    EXPECT_FALSE(amp->mean());
    e.close();

    // `veska --stats` prints the same as aligned text, with SI prefixes.
    QString text;
    EXPECT_EQ(DataFileCli::statistics(dir.filePath("known.db"), text), QString());
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << text.toStdString();
    EXPECT_EQ(lines[0].simplified(), "Unit Count Min Max Mean Std dev Overloads First Last");
    EXPECT_EQ(lines[1].simplified(), "V DC 4 1.000 V 4.000 V 2.500 V 1.291 V 0 14:05:10 14:05:15");
    // Groups in the order of their first reading: AC volts, then A, then Ω.
    EXPECT_EQ(lines[2].simplified(), "V AC 1 230.0 V 230.0 V 230.0 V 0 14:05:12 14:05:12");
    EXPECT_EQ(lines[3].simplified(), "A 0 2 14:05:14 14:05:17");
    EXPECT_EQ(lines[4].simplified(), "\u03a9 1 1.205 M\u03a9 1.205 M\u03a9 1.205 M\u03a9 0 14:05:16 14:05:16");
    QString none;
    EXPECT_FALSE(DataFileCli::statistics(dir.filePath("none.db"), none).isEmpty());
}
