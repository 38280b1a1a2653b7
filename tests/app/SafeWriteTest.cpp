// Every writer against real faults: a full disk, a read-only folder, links, FIFOs, /dev/full.
#include "storage/TableFiles.h"
#include "support/FakeDialogs.h"
#include "support/FileSizeLimit.h"
#include "DataFilesTestSupport.h"

#include "app/DataFileCli.h"
#include "app/ReportCli.h"
#include "ui/DataFileCommands.h"
#include "ui/HistoryChart.h"
#include "ui/HistoryPicture.h"
#include "history/HistoryModel.h"
#include "storage/TableHistorySource.h"
#include "storage/RecordTable.h"
#include "storage/RecoveryJournal.h"
#include "storage/SafeFileWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <iostream>
#include <thread>

using namespace veska;
using namespace veska::test;

namespace {

const QByteArray kEarlier = "earlier file";


// A small tmpfs on `dir`, unmounted again at the end. Needs root (or a user namespace).
class Tmpfs {
public:
    Tmpfs(const QString& dir, int kilobytes) : m_dir(QFile::encodeName(dir)) {
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
        m_mounted = ::mount("tmpfs", m_dir.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~Tmpfs() {
        if (m_mounted) ::umount2(m_dir.constData(), MNT_DETACH);
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;
    bool mounted() const { return m_mounted; }
    bool makeReadOnly() {
        return ::mount("tmpfs", m_dir.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QByteArray m_dir;
    bool m_mounted = false;
};

bool canWriteIn(const QString& folder) {
    QFile probe(folder + "/.probe");
    const bool ok = probe.open(QIODevice::WriteOnly);
    probe.remove();
    return ok;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The record table (a file of two rows plus the run's rows), the data-file commands and the
// chart, with every message they send captured.
struct Bench {
    explicit Bench(qint64 runRows) {
        QDir::setCurrent(dir.path());
        writeRecordFile(path("Kestodb.db"), rows(1, 2));
        table.openTable(QStringLiteral("Kestodb"));
        for (qint64 no = 3; no < 3 + runRows; ++no) setRow(table, row(no));
        table.commitJournal();
        QDir(dir.path()).mkdir("out");
        commands.setDialogs(&dialogs);
        QObject::connect(&commands, &DataFileCommands::error, [this](const QString& t) { errors << t; });
        QObject::connect(&commands, &DataFileCommands::information, [this](const QString& t) { infos << t; });
        QObject::connect(&chart, &HistoryChart::errorRequested, [this](const QString& t) { errors << t; });
        chart.resize(322, 246);
        chart.setOpenTableHook([this] { return table.filePath(); });
        source = readAll(path("Kestodb.db"));
        journal = TableFiles::journalPath(path("Kestodb.db"));
    }
    ~Bench() {
        table.close();
        QDir::setCurrent(QDir::tempPath());
    }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    RecordTable table;
    FakeDialogs dialogs;
    DataFileCommands commands{table};
    HistoryChart chart;
    QByteArray source;
    QString journal;
    QStringList errors, infos;
};

// The History window's export of the record table's run, as its Export command writes it.
void saveHistoryPicture(Bench& b, const QString& target);

struct Writer {
    const char* what;
    const char* fileName;  // the name it writes under in the target folder
    QByteArray magic;      // how a complete file of this kind starts
    std::function<void(Bench&, const QString& target)> write;
};

const std::vector<Writer>& writers() {
    static const std::vector<Writer> all{
        {"table copy", "copy.db", "SQLite format 3", [](Bench& b, const QString& t) { b.commands.saveTo(t); }},
        {"text export", "text.txt", "No\tTime", [](Bench& b, const QString& t) { b.commands.saveTo(t); }},
        {"CSV export", "data.csv", "No,Time", [](Bench& b, const QString& t) { b.commands.saveTo(t); }},
        {"PDF report", "report.pdf", "%PDF",
         [](Bench& b, const QString& t) {
             // The print dialog's "print to file", as the user fills it in.
             b.dialogs.preview = [t](QPrinter& printer, const std::function<void(QPrinter*)>& paint) {
                 printer.setOutputFormat(QPrinter::PdfFormat);
                 printer.setOutputFileName(t);
                 paint(&printer);
             };
             b.commands.printRecords();
         }},
        {"chart picture", "databmp.bmp", "BM",
         [](Bench& b, const QString& t) {
             b.chart.setPictureDirectory(QFileInfo(t).path());
             b.chart.saveChartPicture();
         }},
        {"history PNG", "history.png", "\x89PNG", saveHistoryPicture},
        {"history SVG", "history.svg", "<?xml", saveHistoryPicture},
        {"history PDF", "history.pdf", "%PDF", saveHistoryPicture},
    };
    return all;
}

void saveHistoryPicture(Bench& b, const QString& target) {
    const TableHistorySource source(b.table.engine());
    HistoryModel model;
    model.scan(source, 0, source.rowCount());
    model.finish();
    const QSize size(1600, 1000);
    const int width = HistoryPicture::plotArea(QRect(QPoint(0, 0), size)).width();
    const QString failure = HistoryPicture::save(target, size, model, model.envelope(model.wholeRun(), width), {},
                                                 b.table.filePath());
    if (!failure.isEmpty()) b.errors << failure;
}

bool isFifo(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// Reads a FIFO opened without blocking until its writer has come and gone.
QByteArray drain(int fd) {
    QByteArray out;
    char buffer[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) break;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, n);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;
        }
    }
    ::close(fd);
    return out;
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

// Each writer against each fault: the failure is reported once with the chosen name and the
// system's reason, the target is untouched (or complete where the write can succeed), no
// temporary is left behind, and the table file never changes.
TEST(SafeWrite, EveryWriterSurvivesEveryFault) {
    struct Fault {
        const char* what;
        qint64 runRows;  // enough rows that the file outgrows the room given
        // Prepares the folder and the target; returns an empty text, or why the case is skipped.
        std::function<QString(Bench&, const QString& folder, const QString& target)> setUp;
        const char* reason;  // empty: the write succeeds
        std::function<void(Bench&, const QString& target)> check;
    };
    const auto earlierFileKept = [](Bench&, const QString& t) { EXPECT_EQ(readAll(t), kEarlier); };
    const auto linkKept = [](const QString& to) {
        return [to](Bench& b, const QString& t) {
            EXPECT_EQ(QFileInfo(t).symLinkTarget(), QFileInfo(to == "source" ? b.path("Kestodb.db") : to).absoluteFilePath());
        };
    };
    std::unique_ptr<Tmpfs> mount;
    std::unique_ptr<FileSizeLimit> limit;
    QByteArray fifoBytes;
    std::thread fifoReader;
    std::unique_ptr<TableEngine> holder;  // another program's open table
    QByteArray held;

    const std::vector<Fault> faults{
        {"full disk (file size limit)", 1000,
         [&](Bench&, const QString&, const QString& t) {
             writeFile(t, kEarlier);
             limit = std::make_unique<FileSizeLimit>(16 * 1024);
             return QString();
         },
         "File too large", earlierFileKept},
        {"full disk (small tmpfs)", 1000,
         [&](Bench&, const QString& folder, const QString& t) {
             mount = std::make_unique<Tmpfs>(folder, 16);
             if (!mount->mounted()) return QStringLiteral("cannot mount a tmpfs here (needs root)");
             writeFile(t, kEarlier);
             return QString();
         },
         "No space left on device", earlierFileKept},
        {"read-only folder", 1,
         [&](Bench&, const QString& folder, const QString& t) {
             if (geteuid() != 0) {
                 writeFile(t, kEarlier);
                 QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
                 return canWriteIn(folder) ? QStringLiteral("folder permissions do not stop writes here") : QString();
             }
             // Root ignores folder permissions: a read-only file system stops it.
             mount = std::make_unique<Tmpfs>(folder, 64);
             if (!mount->mounted()) return QStringLiteral("running as root and cannot mount a read-only tmpfs");
             writeFile(t, kEarlier);
             if (!mount->makeReadOnly()) return QStringLiteral("cannot remount the tmpfs read-only");
             return QString();
         },
         geteuid() == 0 ? "Read-only file system" : "Permission denied", earlierFileKept},
        {"link to the table being saved", 1,
         [&](Bench& b, const QString&, const QString& t) {
             QFile::link(b.path("Kestodb.db"), t);
             return QString();
         },
         "it is the open table", linkKept("source")},
        {"hard link to the recovery journal", 1,
         [&](Bench& b, const QString&, const QString& t) {
             ::link(QFile::encodeName(b.journal).constData(), QFile::encodeName(t).constData());
             return QFileInfo::exists(t) ? QString() : QStringLiteral("no hard links on this file system");
         },
         "it is the recovery journal", [](Bench& b, const QString& t) { EXPECT_EQ(readAll(t), readAll(b.journal)); }},
        {"table held by another program", 1,
         [&](Bench&, const QString&, const QString& t) {
             writeRecordFile(t, rows(1, 1));
             held = readAll(t);
             holder = std::make_unique<TableEngine>();
             holder->setTableName(t);
             holder->setExclusive(true);
             holder->setCachedUpdates(true);
             holder->open();
             return QString();
         },
         "in use by another program", [&](Bench&, const QString& t) { EXPECT_EQ(readAll(t), held); }},
        // Never a target, held or not: the record table of a folder and any recovery journal.
        {"link to the record table of its folder", 1,
         [&](Bench&, const QString& folder, const QString& t) {
             writeRecordFile(folder + "/Kestodb.db", rows(1, 3));
             held = readAll(folder + "/Kestodb.db");
             QFile::link(folder + "/Kestodb.db", t);
             return QString();
         },
         "it is the record table of", [&](Bench&, const QString& t) { EXPECT_EQ(readAll(t), held); }},
        {"link to a recovery journal by its name", 1,
         [&](Bench&, const QString& folder, const QString& t) {
             writeRecordFile(folder + "/run.db", rows(1, 3));  // no writer makes a journal's name
             QFile::rename(folder + "/run.db", folder + "/run-recovery-20261210-120000.db");
             held = readAll(folder + "/run-recovery-20261210-120000.db");
             QFile::link(folder + "/run-recovery-20261210-120000.db", t);
             return QString();
         },
         "it is a recovery journal", [&](Bench&, const QString& t) { EXPECT_EQ(readAll(t), held); }},
        {"a recovery journal under another name", 1,
         [&](Bench& b, const QString&, const QString& t) {
             QFile::copy(b.journal, t);
             held = readAll(t);
             return QString();
         },
         "it is a recovery journal by its content", [&](Bench&, const QString& t) { EXPECT_EQ(readAll(t), held); }},
        {"FIFO without a reader", 1,
         [&](Bench&, const QString&, const QString& t) {
             ::mkfifo(QFile::encodeName(t).constData(), 0600);
             return QString();
         },
         "no program is reading from it", [](Bench&, const QString& t) { EXPECT_TRUE(isFifo(t)); }},
        {"FIFO with a reader", 1,
         [&](Bench&, const QString&, const QString& t) {
             ::mkfifo(QFile::encodeName(t).constData(), 0600);
             // Opened before the writer comes, as a program waiting for the data would be.
             const int fd = ::open(QFile::encodeName(t).constData(), O_RDONLY | O_NONBLOCK);
             fifoReader = std::thread([&fifoBytes, fd] { fifoBytes = drain(fd); });
             return QString();
         },
         "", [&](Bench&, const QString& t) { EXPECT_TRUE(isFifo(t)); }},
        {"/dev/full through a link", 1,
         [&](Bench&, const QString&, const QString& t) {
             QFile::link("/dev/full", t);
             return QString();
         },
         "No space left on device", linkKept("/dev/full")},
        {"link to an older file elsewhere", 1,
         [&](Bench& b, const QString&, const QString& t) {
             QDir(b.dir.path()).mkdir("real");
             writeFile(b.path("real/older"), kEarlier);
             QFile::link(b.path("real/older"), t);
             return QString();
         },
         "", [&](Bench& b, const QString& t) {
             EXPECT_EQ(QFileInfo(t).symLinkTarget(), b.path("real/older"));
             EXPECT_EQ(filesIn(b.path("real")), QStringList{"older"});
         }},
    };

    for (const Writer& w : writers()) {
        for (const Fault& f : faults) {
            SCOPED_TRACE(std::string(w.what) + " / " + f.what);
            Bench b(f.runRows);
            const QString folder = b.path("out");
            const QString target = folder + '/' + w.fileName;
            const QString skipped = f.setUp(b, folder, target);
            if (!skipped.isEmpty()) {
                limit.reset();
                mount.reset();
                std::cout << "[ SKIPPED  ] " << w.what << " / " << f.what << ": " << skipped.toStdString() << '\n';
                continue;
            }
            const QStringList before = filesIn(folder);
            w.write(b, target);
            limit.reset();
            if (fifoReader.joinable()) fifoReader.join();

            if (QByteArray(f.reason).isEmpty()) {
                EXPECT_EQ(b.errors, QStringList()) << b.errors.join(QLatin1Char('|')).toStdString();
                const QByteArray written = isFifo(target) ? fifoBytes : readAll(target);
                EXPECT_TRUE(written.startsWith(w.magic)) << written.left(16).toStdString();
                if (w.magic == "%PDF") {
                    EXPECT_TRUE(written.trimmed().endsWith("%%EOF"));
                }
            } else {
                EXPECT_EQ(b.errors.size(), 1) << b.errors.join('|').toStdString();
                const QString message = b.errors.value(0);
                EXPECT_TRUE(message.contains(target)) << message.toStdString();
                EXPECT_TRUE(message.contains(f.reason)) << message.toStdString();
                EXPECT_FALSE(message.contains(".tmp")) << message.toStdString();
                EXPECT_FALSE(b.infos.join('|').contains("Scuss!"));
            }
            f.check(b, target);
            EXPECT_EQ(filesIn(folder), before) << "no temporary left behind";
            EXPECT_EQ(readAll(b.path("Kestodb.db")), b.source);
            EXPECT_EQ(b.table.rowCount(), 2 + f.runRows) << "the run's rows stay";
            if (geteuid() != 0) QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            fifoBytes.clear();
            holder.reset();
            mount.reset();
        }
    }
}

// The command line reads its source read-only: a file that is not a table stays exactly as
// it was, a link back to the source is refused, and a full disk leaves no file behind.
TEST(SafeWrite, CommandLineKeepsTheSourceAndReportsEveryFailure) {
    QTemporaryDir dir;
    const QString src = dir.filePath("src.db");
    writeRecordFile(src, rows(1, 300));
    const QByteArray source = readAll(src);
    writeFile(dir.filePath("empty.db"), QByteArray());
    QFile::link(src, dir.filePath("alias.txt"));
    QFile::link(src, dir.filePath("alias.db"));
    QFile::link(src, dir.filePath("alias.pdf"));

    struct Case {
        const char* what;
        const char* source;
        const char* out;
        bool print;
        rlim_t sizeLimit;    // 0: none
        const char* reason;  // what the message must say
    };
    for (const Case c : {
             Case{"empty source, text", "empty.db", "o.txt", false, 0, "is not a table file"},
             Case{"empty source, copy", "empty.db", "o.db", false, 0, "is not a table file"},
             Case{"empty source, report", "empty.db", "o.pdf", true, 0, "is not a table file"},
             Case{"link to the source, text", "src.db", "alias.txt", false, 0, "it is the open table"},
             Case{"link to the source, copy", "src.db", "alias.db", false, 0, "it is the open table"},
             Case{"link to the source, report", "src.db", "alias.pdf", true, 0, "it is the open table"},
             Case{"full disk, text", "src.db", "o.txt", false, 4096, "File too large"},
             Case{"full disk, copy", "src.db", "o.db", false, 4096, "File too large"},
             Case{"full disk, report", "src.db", "o.pdf", true, 4096, "File too large"},
         }) {
        SCOPED_TRACE(c.what);
        const QString in = dir.filePath(c.source);
        const QString out = dir.filePath(c.out);
        const QByteArray before = readAll(in);
        const QStringList files = filesIn(dir.path());
        QString message;
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (c.sizeLimit != 0) limit = std::make_unique<FileSizeLimit>(c.sizeLimit);
            message = c.print ? ReportCli::printTable(in, out) : DataFileCli::exportTable(in, out);
        }
        EXPECT_TRUE(message.contains(c.reason)) << message.toStdString();
        EXPECT_TRUE(message.contains(c.sizeLimit != 0 || QFileInfo(out).isSymLink() ? out : in)) << message.toStdString();
        EXPECT_EQ(readAll(in), before);
        EXPECT_EQ(filesIn(dir.path()), files) << "nothing created, nothing left behind";
    }
    EXPECT_EQ(readAll(src), source);
    EXPECT_EQ(QFileInfo(dir.filePath("empty.db")).size(), 0);
    EXPECT_TRUE(QFileInfo(dir.filePath("alias.txt")).isSymLink());
}

// The print preview draws without touching the file; printing to a PDF file then goes
// through the safe path (a full disk gives the reason and no truncated file).
TEST(SafeWrite, PrintToPdfFromThePreviewWritesOnlyWhenPrinted) {
    Bench b(3000);
    const QString pdf = b.path("out/printed.pdf");
    writeFile(pdf, kEarlier);
    bool printed = false;
    b.dialogs.preview = [&](QPrinter& printer, const std::function<void(QPrinter*)>& paint) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        QPrintPreviewWidget preview(&printer);
        QObject::connect(&preview, &QPrintPreviewWidget::paintRequested, [&](QPrinter* p) { paint(p); });
        preview.updatePreview();
        EXPECT_GT(preview.pageCount(), 1);
        EXPECT_EQ(readAll(pdf), kEarlier) << "the preview wrote the file";
        {
            FileSizeLimit limit(16 * 1024);
            preview.print();
        }
        printed = true;
    };
    b.commands.printRecords();
    ASSERT_TRUE(printed);
    ASSERT_EQ(b.errors.size(), 1) << b.errors.join('|').toStdString();
    EXPECT_TRUE(b.errors[0].contains(pdf) && b.errors[0].contains("File too large")) << b.errors[0].toStdString();
    EXPECT_EQ(readAll(pdf), kEarlier);
    EXPECT_EQ(filesIn(b.path("out")), QStringList{"printed.pdf"});
}

