// Paradox record tables as Open, --export and --stats meet them: the input is the file
// itself. A file is either refused with a message naming it, or read in full; then the text
// export keeps one line of six fields per row, and the file is never changed.
#include "storage/ParadoxTable.h"
#include "storage/RecordFileReader.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "storage/TextExport.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "paradox file fuzz: %s\n", what);
    std::abort();
}

// The files of one run, in memory where the system offers it.
class WorkDir {
public:
    WorkDir() {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
        std::string tmpl = base + "/veska-paradox-fuzz-XXXXXX";
        if (mkdtemp(tmpl.data()) == nullptr) fault("mkdtemp");
        m_path = tmpl;
    }
    ~WorkDir() { rmdir(m_path.c_str()); }
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    QString file(const char* name) const { return QString::fromStdString(m_path + "/" + name); }

private:
    std::string m_path;
};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const WorkDir dir;
    static const bool show = std::getenv("VESKA_FUZZ_SHOW") != nullptr;
    const QByteArray image(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString table = dir.file("RECORD.DB");
    const QString out = dir.file("record.txt");
    {
        QFile f(table);
        if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size()) std::abort();
    }
    // Other files go to the SQLite reader, which fuzz_record_file covers.
    if (veska::ParadoxTable::hasParadoxHeader(table)) {
        try {
            veska::TableEngine engine;
            veska::RecordFileReader::openForReading(engine, table);
            const veska::TextExport::Result result = veska::TextExport::exportTableAsText(engine, out);
            if (!result.ok) fault("the export of a table read in full failed");
            const QByteArray text = readAll(out);
            if (show) std::fprintf(stderr, "%lld rows:\n%s\n", engine.rowCount(), text.left(2000).constData());
            if (text.count("\r\n") != engine.rowCount() + 1) fault("the export has not one line per row");
            if (text.count('\t') != 5 * (engine.rowCount() + 1)) fault("a line without exactly six fields");
        } catch (const veska::TableError& e) {
            if (!e.message().contains(table)) fault("a refusal that does not name the file");
            if (show) std::fprintf(stderr, "refused: %s\n", qPrintable(e.message()));
        }
    }
    if (readAll(table) != image) fault("the file was changed");
    QFile::remove(table);
    QFile::remove(out);
    return 0;
}
