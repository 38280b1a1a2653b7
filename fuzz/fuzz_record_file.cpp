// Record files as Open and --export meet them: a table file built from the input (odd schemas,
// NULLs, huge and binary fields, tabs and line breaks inside fields, damaged pages), opened the
// way --export opens it and exported as tab-separated text. Whatever the fields hold, the text
// keeps one line per row with the six fields on it, and the rows read by position (as the grid
// and the printout read them) are the exported ones, in the same order.
//
// The input is a small program; reading past its end gives zeros.
//   flags; column count; per column a name choice and a type choice (own bytes for either
//   when chosen); row count; per row an optional row id and one value per column; the rest,
//   when flag kPatch is set, is byte patches (2-byte offset, byte) to the finished file image.
#include "storage/RecordColumns.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "storage/TextExport.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <sqlite3.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::uint8_t kWithoutRowid = 0x01;
constexpr std::uint8_t kIndex = 0x02;
constexpr std::uint8_t kMoreObjects = 0x04;
constexpr std::uint8_t kRowIds = 0x08;
constexpr std::uint8_t kOddTableName = 0x10;
constexpr std::uint8_t kSmallPages = 0x20;
constexpr std::uint8_t kPatch = 0x40;

constexpr std::size_t kMaxColumns = 12;
constexpr std::size_t kMaxRows = 64;
// Huge fields in all, per input; enough to spill over many pages without exhausting memory.
constexpr std::size_t kHugeBudget = 1u << 20;

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_pos >= m_size; }
    std::size_t left() const { return m_size - m_pos; }
    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::uint16_t u16() {
        const std::uint16_t high = byte();
        return std::uint16_t(high << 8 | byte());
    }
    std::uint64_t u64() {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = v << 8 | byte();
        return v;
    }
    std::string text(std::size_t n) {
        n = std::min(n, left());
        std::string s(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        return s;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

[[noreturn]] void fault(const char* what, const QByteArray& text) {
    std::fprintf(stderr, "record file fuzz: %s\n--- export (%lld bytes, first 2000) ---\n%s\n", what,
                 static_cast<long long>(text.size()), text.left(2000).toHex(' ').constData());
    std::abort();
}

std::string sqlName(const std::string& identifier) {
    std::string q = "\"";
    for (const char c : identifier) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + '"';
}

std::string columnName(Input& in) {
    static const char* const kNames[] = {"No",   "Time",  "DC/AC", "Value", "Unit", "AUTO", "Nval",
                                         "no",   "TIME",  "auto",  "rowid", "a\tb", "c\nd", ""};
    const std::uint8_t choice = in.byte();
    if (choice >= 0xF0) return in.text(choice & 0x0F);
    return kNames[choice % std::size(kNames)];
}

std::string columnType(Input& in) {
    static const char* const kTypes[] = {"INTEGER", "TIME",         "FLOAT",   "CHAR(6)", "TEXT",
                                         "BLOB",    "",             "REAL",    "DOUBLE",  "NUMERIC",
                                         "INTEGER PRIMARY KEY",     "VARCHAR(255)",       "DATETIME",
                                         "INT NOT NULL",            "TEXT UNIQUE", "TIME PRIMARY KEY"};
    const std::uint8_t choice = in.byte();
    if (choice >= 0xF0) return in.text(choice & 0x0F);
    return kTypes[choice % std::size(kTypes)];
}

// Binds one value chosen by the input to parameter `index`.
void bindValue(sqlite3_stmt* st, int index, Input& in, std::size_t& hugeLeft) {
    using namespace std::string_view_literals;
    static constexpr std::string_view kAwkward[] = {
        "\t"sv,  "\r\n"sv, "a\tb"sv, "line1\nline2"sv, "\r"sv, "x\t\t\ty"sv, "\n\n"sv, "\xe2\x80\xa8"sv,
        "\xc2\x85"sv, "\xc3\xbc\t\xc3\xb6"sv, "\xff\xfe\t"sv, "\0\t\0"sv};
    switch (in.byte() % 12) {
    case 0:
        sqlite3_bind_null(st, index);
        break;
    case 1:
        sqlite3_bind_int64(st, index, static_cast<sqlite3_int64>(in.u64()));
        break;
    case 2:
        sqlite3_bind_int64(st, index, static_cast<std::int8_t>(in.byte()));
        break;
    case 3: {
        const std::uint64_t bits = in.u64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        sqlite3_bind_double(st, index, d);
        break;
    }
    case 4: {
        const std::string s = in.text(in.byte() % 32);
        sqlite3_bind_text(st, index, s.data(), int(s.size()), SQLITE_TRANSIENT);
        break;
    }
    case 5: {
        const std::string s = in.text(in.byte() % 32);
        sqlite3_bind_blob(st, index, s.data(), int(s.size()), SQLITE_TRANSIENT);
        break;
    }
    case 6: {
        const std::string_view s = kAwkward[in.byte() % std::size(kAwkward)];
        sqlite3_bind_text(st, index, s.data(), int(s.size()), SQLITE_STATIC);
        break;
    }
    case 7:
    case 8: {
        // A huge field of one repeated byte with one other byte (a tab, say) somewhere inside.
        const std::size_t size = std::min<std::size_t>(std::size_t(1 + in.byte() % 64) << 14, hugeLeft);
        hugeLeft -= size;
        std::string s(size, static_cast<char>(in.byte()));
        const std::uint8_t odd = in.byte();
        if (!s.empty()) s[std::size_t(in.u16()) % s.size()] = static_cast<char>(odd);
        if (in.byte() & 1) {
            sqlite3_bind_blob(st, index, s.data(), int(s.size()), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_text(st, index, s.data(), int(s.size()), SQLITE_TRANSIENT);
        }
        break;
    }
    case 9:
        sqlite3_bind_zeroblob(st, index, in.byte() % 64);
        break;
    case 10: {
        const std::string s = in.text(in.byte());
        sqlite3_bind_text(st, index, s.data(), int(s.size()), SQLITE_TRANSIENT);
        break;
    }
    default: {
        static const double kSpecial[] = {std::numeric_limits<double>::infinity(),
                                          -std::numeric_limits<double>::infinity(),
                                          -0.0,
                                          1e308,
                                          -1e300,
                                          9.3e18,
                                          -9.3e18,
                                          9223372036854775807.0,
                                          std::numeric_limits<double>::denorm_min(),
                                          0.1,
                                          86400.5,
                                          -1.5};
        sqlite3_bind_double(st, index, kSpecial[in.byte() % std::size(kSpecial)]);
        break;
    }
    }
}

sqlite3_int64 rowId(Input& in) {
    switch (in.byte() % 5) {
    case 0: return std::numeric_limits<sqlite3_int64>::min() + in.byte();
    case 1: return std::numeric_limits<sqlite3_int64>::max() - in.byte();
    case 2: return static_cast<std::int8_t>(in.byte());
    default: return static_cast<sqlite3_int64>(in.u64());
    }
}

// Builds the table file's image in memory; empty when the schema is not one SQLite takes.
QByteArray buildImage(Input& in) {
    const std::uint8_t flags = in.byte();
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) {
        sqlite3_close(db);
        return {};
    }
    auto exec = [db](const std::string& sql) { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); };
    if (flags & kSmallPages) exec("PRAGMA page_size=512");
    const std::string table = flags & kOddTableName ? in.text(in.byte() % 8) + "\t\"x'" : std::string("Kestodb");
    const std::size_t columns = 1 + in.byte() % kMaxColumns;
    std::string create = "CREATE TABLE " + sqlName(table) + "(";
    std::vector<std::string> names;
    for (std::size_t i = 0; i < columns; ++i) {
        names.push_back(columnName(in));
        create += (i ? "," : "") + sqlName(names.back()) + " " + columnType(in);
    }
    create += ")";
    if (flags & kWithoutRowid) create += " WITHOUT ROWID";
    QByteArray image;
    if (exec(create) == SQLITE_OK) {
        if (flags & kIndex) exec("CREATE INDEX i0 ON " + sqlName(table) + "(" + sqlName(names[0]) + ")");
        if (flags & kMoreObjects) {
            exec("CREATE TABLE other(x)");
            exec("CREATE VIEW v AS SELECT * FROM " + sqlName(table));
        }
        std::string insert = "INSERT INTO " + sqlName(table) + "(";
        std::string marks;
        const bool withIds = (flags & kRowIds) && !(flags & kWithoutRowid);
        if (withIds) {
            insert += "_rowid_,";
            marks += "?,";
        }
        for (std::size_t i = 0; i < columns; ++i) {
            insert += (i ? "," : "") + sqlName(names[i]);
            marks += i ? ",?" : "?";
        }
        insert += ") VALUES(" + marks + ")";
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, insert.c_str(), -1, &st, nullptr) == SQLITE_OK) {
            exec("BEGIN");
            std::size_t hugeLeft = kHugeBudget;
            const std::size_t rows = in.byte() % (kMaxRows + 1);
            for (std::size_t r = 0; r < rows && !in.atEnd(); ++r) {
                int param = 1;
                if (withIds) sqlite3_bind_int64(st, param++, rowId(in));
                for (std::size_t i = 0; i < columns; ++i) bindValue(st, param++, in, hugeLeft);
                sqlite3_step(st);  // a row the schema refuses (NOT NULL, UNIQUE, ...) is left out
                sqlite3_reset(st);
                sqlite3_clear_bindings(st);
            }
            exec("COMMIT");
        }
        sqlite3_finalize(st);
        sqlite3_int64 size = 0;
        if (unsigned char* bytes = sqlite3_serialize(db, "main", &size, 0)) {
            image = QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(size));
            sqlite3_free(bytes);
        }
    }
    sqlite3_close(db);
    if ((flags & kPatch) && !image.isEmpty()) {
        while (in.left() >= 3) {
            const std::size_t offset = std::size_t(in.u16()) % std::size_t(image.size());
            image[qsizetype(offset)] = static_cast<char>(in.byte());
        }
    }
    return image;
}

// A folder for the files of one run, emptied after every input and removed at exit. In
// memory where the system offers it: the export syncs its file to disk.
class WorkDir {
public:
    WorkDir() {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
        std::string tmpl = base + "/veska-fuzz-XXXXXX";
        if (mkdtemp(tmpl.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_path = tmpl;
    }
    ~WorkDir() { rmdir(m_path.c_str()); }
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    QString file(const char* name) const { return QString::fromStdString(m_path + "/" + name); }

private:
    std::string m_path;
};

// The export: the header, then exactly one CR LF ended line of six fields per row. Gives the
// lines without their ends.
QList<QByteArray> checkExport(const QByteArray& text, qint64 rows, bool damaged) {
    const QByteArray header = veska::TextExport::headerLine();
    if (!text.startsWith(header)) fault("the export does not start with the header line", text);
    QList<QByteArray> lines;
    qsizetype pos = header.size();
    while (pos < text.size()) {
        const qsizetype end = text.indexOf("\r\n", pos);
        if (end < 0) fault("the last line does not end with CR LF", text);
        const QByteArray line = text.mid(pos, end - pos);
        if (line.contains('\r') || line.contains('\n')) fault("a line break inside a field", text);
        if (line.count('\t') != veska::RecordColumns::kCount - 1) fault("a line without exactly six fields", text);
        lines << line;
        pos = end + 2;
    }
    // A damaged file may count its rows through an index that no longer matches the table.
    if (!damaged && lines.size() != rows) fault("the export has not one line per row", text);
    return lines;
}

// The grid and the printout read rows by position; they must show what the export wrote.
void checkRowsByPosition(const veska::TableEngine& engine, const QList<QByteArray>& lines, const QByteArray& text) {
    const veska::RecordColumns::Indexes columns = veska::RecordColumns::indexesIn(engine);
    const std::vector<QStringList> rows = engine.rowTexts(0, int(lines.size()) + 1);
    if (qsizetype(rows.size()) != lines.size()) fault("reading by position gives another number of rows", text);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        QList<QByteArray> fields;
        // The export turns tabs and line breaks into blanks and drops NULs.
        for (const int c : columns)
            fields << rows[r][c].toLatin1().replace('\t', ' ').replace('\r', ' ').replace('\n', ' ').replace(QByteArray(1, '\0'), QByteArray());
        if (fields.join('\t') != lines[qsizetype(r)]) fault("reading by position gives other texts than the export", text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const WorkDir dir;
    // VESKA_FUZZ_SHOW=1 prints what became of each input, for looking at seeds and crashes.
    static const bool show = std::getenv("VESKA_FUZZ_SHOW") != nullptr;
    Input in(data, size);
    const bool damaged = size > 0 && (data[0] & kPatch);
    const QByteArray image = buildImage(in);
    if (image.isEmpty()) return 0;
    const QString table = dir.file("record.db");
    const QString out = dir.file("record.txt");
    {
        QFile f(table);
        if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size()) std::abort();
    }
    {
        veska::TableEngine engine;
        engine.setTableName(table);
        engine.setExclusive(true);
        try {
            engine.open();
            veska::RecordColumns::indexesIn(engine);
            const veska::TextExport::Result result = veska::TextExport::exportTableAsText(engine, out);
            if (result.ok) {
                QFile f(out);
                if (!f.open(QIODevice::ReadOnly)) std::abort();
                const QByteArray text = f.readAll();
                if (show) std::fprintf(stderr, "%lld rows:\n%s\n", engine.rowCount(), text.left(4000).constData());
                const QList<QByteArray> lines = checkExport(text, engine.rowCount(), damaged);
                if (!damaged) checkRowsByPosition(engine, lines, text);
            } else if (show) {
                std::fprintf(stderr, "export failed: %s\n", qPrintable(result.reason));
            }
        } catch (const veska::TableError& e) {
            // Not a record file, or a damaged one: the user gets the message; nothing to check.
            if (show) std::fprintf(stderr, "refused: %s\n", qPrintable(e.message()));
        }
    }
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) QFile::remove(table + QLatin1String(suffix));
    QFile::remove(out);
    return 0;
}
