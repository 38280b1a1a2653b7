#include "storage/ParadoxTable.h"

#include "storage/LibraryOutputCapture.h"
#include "storage/TableError.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include "storage/ParadoxLibrary.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace veska {

namespace {

// The header fields that decide whether a file may be handed to pxlib at all. pxlib
// trusts them: an encryption word makes it decrypt every block it walks (a damaged one
// sends it round for minutes), a block count beyond the file makes it read past the end.
// Offsets of the published Paradox header layout, little-endian.
struct HeaderFacts {
    int recordSize = 0;   // 0x00
    int headerSize = 0;   // 0x02
    int fileType = 0;     // 0x04: 0 keyed table, 2 table without key, others index files
    int blockKb = 0;      // 0x05: size of a data block in KB
    qint64 records = 0;   // 0x06
    int fileBlocks = 0;   // 0x0C
    int firstBlock = 0;   // 0x0E
    int lastBlock = 0;    // 0x10
    int fieldCount = 0;   // 0x21
    quint32 encryption1 = 0;  // 0x25
    int version = 0;      // 0x39
    quint32 encryption2 = 0;  // 0x5C (version 4 files on)
};

constexpr int kHeaderBytes = 0x60;
constexpr int kKeyedTable = 0;
constexpr int kPlainTable = 2;
constexpr quint32 kNotEncryptedMark = 0xFF00FF00u;  // encryption1 of files that keep it at 0x5C
constexpr int kBlockHeaderBytes = 6;
// Reads beyond those the blocks and rows need (the header, the field descriptions).
constexpr qint64 kSpareReads = 256;
constexpr int kMaxFields = 255;
// pxlib's line about a block walk that found another number of rows than the header says.
constexpr const char* kCountLine = "Number of records counted in blocks";

quint32 little(const unsigned char* p, int bytes) {
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

bool readHeader(const QString& path, HeaderFacts& facts, qint64& fileSize) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    fileSize = file.size();
    unsigned char h[kHeaderBytes] = {};
    if (file.read(reinterpret_cast<char*>(h), kHeaderBytes) != kHeaderBytes) return false;
    facts.recordSize = int(little(h + 0x00, 2));
    facts.headerSize = int(little(h + 0x02, 2));
    facts.fileType = h[0x04];
    facts.blockKb = h[0x05];
    facts.records = qint64(little(h + 0x06, 4));
    facts.fileBlocks = int(little(h + 0x0C, 2));
    facts.firstBlock = int(little(h + 0x0E, 2));
    facts.lastBlock = int(little(h + 0x10, 2));
    facts.fieldCount = int(little(h + 0x21, 2));
    facts.encryption1 = little(h + 0x25, 4);
    facts.version = h[0x39];
    facts.encryption2 = little(h + 0x5C, 4);
    return true;
}

bool looksLikeParadox(const HeaderFacts& f) {
    static constexpr int kBlockSizes[] = {1, 2, 3, 4, 8, 16, 32};
    const bool blockSizeKnown = std::find(std::begin(kBlockSizes), std::end(kBlockSizes), f.blockKb) != std::end(kBlockSizes);
    return f.version >= 3 && f.version <= 12 && f.fileType <= 8 && blockSizeKnown && f.recordSize > 0 &&
           f.headerSize > 0 && f.headerSize % 0x800 == 0;
}

QString latin1(const char* text) { return text != nullptr ? QString::fromLatin1(text) : QString(); }

}  // namespace

// The file as pxlib reads it: read-only, and with a budget of reads. pxlib follows the
// links between data blocks as they are stored; links that run in a circle would keep it
// reading for ever, and it goes on even when reads fail. Past the budget every read gives
// zeros, which end any chain of blocks, and the file counts as damaged.
struct ParadoxTable::Document {
    explicit Document(const ParadoxLibrary& library) : lib(library) {}
    const ParadoxLibrary& lib;
    pxdoc_t* px = nullptr;
    std::FILE* file = nullptr;
    int fd = -1;
    qint64 reads = 0;
    qint64 readBudget = 0;
    bool exhausted = false;  // more reads were asked for than the file can need

    bool open(const QString& path) {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        cookie_io_functions_t io{};
        io.read = [](void* self, char* buffer, std::size_t size) -> ssize_t {
            auto* d = static_cast<Document*>(self);
            if (++d->reads > d->readBudget) {
                d->exhausted = true;
                std::memset(buffer, 0, size);
                return ssize_t(size);
            }
            return ::read(d->fd, buffer, size);
        };
        io.seek = [](void* self, off64_t* offset, int whence) -> int {
            const off64_t at = ::lseek64(static_cast<Document*>(self)->fd, *offset, whence);
            if (at < 0) return -1;
            *offset = at;
            return 0;
        };
        file = ::fopencookie(this, "rb", io);
        return file != nullptr;
    }
    // Allows `reads` more reads from now on.
    void allowReads(qint64 more) {
        reads = 0;
        readBudget = more;
    }
    ~Document() {
        if (px != nullptr) {
            lib.close(px);
            lib.deleteDocument(px);
        }
        if (file != nullptr) std::fclose(file);
        if (fd >= 0) ::close(fd);
    }
};

bool ParadoxTable::hasParadoxHeader(const QString& path) {
    HeaderFacts facts;
    qint64 size = 0;
    return readHeader(path, facts, size) && looksLikeParadox(facts);
}

QString ParadoxTable::convertCommand(const QString& path) {
    QString native = QDir::toNativeSeparators(path);
    if (native.contains(QLatin1Char(' '))) native = QLatin1Char('"') + native + QLatin1Char('"');
    return QStringLiteral("veska --export %1 NEW.db").arg(native);
}

QString ParadoxTable::notRecordableMessage(const QString& path) {
    return QStringLiteral("%1 is a Paradox table: Veska reads it but does not record into it. "
                          "To record into a copy, convert it: %2")
        .arg(QDir::toNativeSeparators(path), convertCommand(path));
}

void ParadoxTable::onLibraryError(px_doc*, int, const char* message, void* self) {
    // Called from C: keep the text, never throw.
    static_cast<ParadoxTable*>(self)->m_libraryError = latin1(message).trimmed();
}

void ParadoxTable::refuse(const QString& reason) const {
    throw TableError(QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(m_path), reason));
}

ParadoxTable::ParadoxTable(const QString& path) : m_path(path), m_lib(std::make_unique<ParadoxLibrary>()) {
    checkHeader();
    openDocument();
    readFields();
}

ParadoxTable::~ParadoxTable() = default;

void ParadoxTable::checkHeader() {
    HeaderFacts f;
    if (!QFileInfo(m_path).isFile()) refuse(QStringLiteral("there is no such file"));
    if (!readHeader(m_path, f, m_fileSize)) {
        if (!QFileInfo(m_path).isReadable()) refuse(QStringLiteral("the file cannot be read"));
        refuse(QStringLiteral("it is too short for a Paradox table (truncated)"));
    }
    if (!looksLikeParadox(f)) refuse(QStringLiteral("it is not a Paradox table"));
    if (f.fileType == kKeyedTable) {
        const QFileInfo info(m_path);
        QString index = info.completeBaseName() + QStringLiteral(".PX");
        const QStringList files = QDir(info.absolutePath()).entryList(QDir::Files);
        const auto found = std::find_if(files.begin(), files.end(), [&index](const QString& name) {
            return name.compare(index, Qt::CaseInsensitive) == 0;
        });
        const bool beside = found != files.end();
        if (beside) index = *found;
        refuse(beside ? QStringLiteral("it is a keyed Paradox table (with the primary index %1): Veska reads record "
                                       "tables without a key")
                            .arg(index)
                      : QStringLiteral("it is a keyed Paradox table whose primary index %1 is missing: Veska reads "
                                       "record tables without a key")
                            .arg(index));
    }
    if (f.fileType != kPlainTable) refuse(QStringLiteral("it is a Paradox index file, not a table"));
    if ((f.encryption1 != 0 && f.encryption1 != kNotEncryptedMark) || (f.version >= 4 && f.encryption2 != 0))
        refuse(QStringLiteral("it is an encrypted (password-protected) Paradox table"));
    // Paradox tables have at most 255 fields of at least one byte each; pxlib reads the
    // field descriptions of any count it is given, at a cost that grows with its square.
    if (f.fieldCount < 1 || f.fieldCount > kMaxFields || f.fieldCount > f.recordSize)
        refuse(QStringLiteral("it is damaged (its header gives %1 fields)").arg(f.fieldCount));
    m_fileBlocks = f.fileBlocks;
    const qint64 blockBytes = qint64(f.blockKb) * 1024;
    const qint64 expected = qint64(f.headerSize) + qint64(f.fileBlocks) * blockBytes;
    if (m_fileSize < expected)
        refuse(QStringLiteral("it is truncated (it holds %1 bytes, its header describes %2)").arg(m_fileSize).arg(expected));
    const qint64 perBlock = (blockBytes - kBlockHeaderBytes) / f.recordSize;
    if (f.firstBlock > f.fileBlocks || f.lastBlock > f.fileBlocks || f.records > qint64(f.fileBlocks) * perBlock ||
        (f.records > 0 && f.firstBlock == 0))
        refuse(QStringLiteral("it is damaged (its header does not match its data blocks)"));
}

void ParadoxTable::openDocument() {
    if (!m_lib->loaded()) refuse(m_lib->error());
    m_doc = std::make_unique<Document>(*m_lib);
    m_doc->px = m_lib->newDocument(&ParadoxTable::onLibraryError, nullptr, nullptr, nullptr, this);
    if (m_doc->px == nullptr) refuse(QStringLiteral("out of memory"));
    // Read-only at the system's level: nothing the library does can change the file.
    if (!m_doc->open(m_path)) refuse(QString::fromLocal8Bit(std::strerror(errno)));
    // Opening reads the header and walks every data block once.
    m_doc->allowReads(kSpareReads + 4 * qint64(m_fileBlocks));
    LibraryOutputCapture quiet({kCountLine});
    const int rc = m_lib->openFile(m_doc->px, m_doc->file);
    const bool countsDiffer = !quiet.finish().empty();
    if (rc < 0) {
        // A document that failed to open must not be closed as an open one.
        m_lib->deleteDocument(m_doc->px);
        m_doc->px = nullptr;
        refuse(QStringLiteral("it is damaged (%1)").arg(m_libraryError.isEmpty() ? QStringLiteral("unreadable header") : m_libraryError));
    }
    if (m_doc->exhausted) refuse(QStringLiteral("it is damaged (its data blocks are linked in a circle)"));
    if (countsDiffer) refuse(QStringLiteral("it is damaged (its data blocks hold another number of rows than its header says)"));
}

void ParadoxTable::readFields() {
    pxdoc_t* px = m_doc->px;
    const int count = m_lib->numFields(px);
    pxfield_t* fields = m_lib->fields(px);
    if (count <= 0 || fields == nullptr) refuse(QStringLiteral("it is damaged (it has no fields)"));
    int offset = 0;
    for (int i = 0; i < count; ++i) {
        const pxfield_t& f = fields[i];
        const QString name = latin1(f.px_fname);
        if (name.isEmpty()) refuse(QStringLiteral("it is damaged (field %1 has no name)").arg(i + 1));
        if (f.px_flen <= 0) refuse(QStringLiteral("it is damaged (field '%1' has no size)").arg(name));
        using K = TableEngine::FieldKind;
        Field field{name, QString(), K::Text};
        switch (f.px_ftype) {
        case pxfAlpha: field.declaredType = QStringLiteral("CHAR(%1)").arg(f.px_flen); break;
        case pxfShort:
        case pxfLong:
        case pxfAutoInc: field = {name, QStringLiteral("INTEGER"), K::Integer}; break;
        case pxfTime: field = {name, QStringLiteral("TIME"), K::Time}; break;
        case pxfNumber:
        case pxfCurrency: field = {name, QStringLiteral("FLOAT"), K::Float}; break;
        case pxfDate: field.declaredType = QStringLiteral("DATE"); break;
        // Not declared as a time: that would read as a time of day and lose the date.
        case pxfTimestamp: field.declaredType = QStringLiteral("CHAR(23)"); break;
        case pxfLogical: field.declaredType = QStringLiteral("BOOLEAN"); break;
        case pxfMemoBLOb:
        case pxfBLOb:
        case pxfFmtMemoBLOb:
        case pxfOLE:
        case pxfGraphic:
        case pxfBytes:
            refuse(QStringLiteral("its field '%1' holds memo or binary data, which record tables do not have").arg(name));
        case pxfBCD:
            refuse(QStringLiteral("its field '%1' is a BCD number, which record tables do not have").arg(name));
        default:
            refuse(QStringLiteral("it is damaged (field '%1' has an unknown type, %2)").arg(name).arg(int(f.px_ftype)));
        }
        m_fields.push_back(field);
        m_types.push_back(f.px_ftype);
        m_lengths.push_back(f.px_flen);
        offset += f.px_flen;
    }
    m_recordSize = m_lib->recordSize(px);
    if (offset != m_recordSize) refuse(QStringLiteral("it is damaged (its fields do not fill its rows)"));
    m_rowCount = m_lib->numRecords(px);
    if (m_rowCount < 0) refuse(QStringLiteral("it is damaged (it counts %1 rows)").arg(m_rowCount));
}

int ParadoxTable::fieldIndex(const QString& name) const {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

std::vector<TableEngine::Field> ParadoxTable::engineFields() const {
    std::vector<TableEngine::Field> out;
    out.reserve(m_fields.size());
    for (const Field& f : m_fields) out.push_back({f.name, f.declaredType, f.kind});
    return out;
}

TableEngine::Value ParadoxTable::value(int type, char* data, int length) {
    pxdoc_t* px = m_doc->px;
    switch (type) {
    case pxfAlpha: {
        char* text = nullptr;
        if (m_lib->alpha(px, data, length, &text) <= 0 || text == nullptr) return std::monostate{};
        QString s = QString::fromLatin1(text);
        px->free(px, text);
        return s;
    }
    case pxfShort: {
        short v = 0;
        if (m_lib->shortValue(px, data, length, &v) <= 0) return std::monostate{};
        return qint64(v);
    }
    case pxfLong:
    case pxfAutoInc:
    case pxfTime:
    case pxfDate: {
        long v = 0;
        if (m_lib->longValue(px, data, length, &v) <= 0) return std::monostate{};
        if (type == pxfTime) {
            if (v < 0 || v >= 86400000L) return std::monostate{};
            return QTime::fromMSecsSinceStartOfDay(int(v));
        }
        if (type == pxfDate) {
            // Days since 1 January of the year 1, that day being 1.
            const QDate date = QDate::fromJulianDay(qint64(v) + 1721425);
            return date.isValid() ? date.toString(Qt::ISODate) : QString();
        }
        return qint64(v);
    }
    case pxfNumber:
    case pxfCurrency:
    case pxfTimestamp: {
        double v = 0;
        if (m_lib->doubleValue(px, data, length, &v) <= 0) return std::monostate{};
        if (type != pxfTimestamp) return v;
        // Milliseconds since the start of 1 January of the year 1.
        if (!std::isfinite(v) || v < 0 || v > 4e17) return std::monostate{};
        const qint64 ms = qint64(v);
        const QDate date = QDate::fromJulianDay(ms / 86400000 + 1721426);
        const QTime time = QTime::fromMSecsSinceStartOfDay(int(ms % 86400000));
        return QStringLiteral("%1T%2").arg(date.toString(Qt::ISODate), time.toString(QStringLiteral("hh:mm:ss.zzz")));
    }
    case pxfLogical: {
        char v = 0;
        if (m_lib->byteValue(px, data, length, &v) <= 0) return std::monostate{};
        return qint64(v != 0 ? 1 : 0);
    }
    default:
        return std::monostate{};
    }
}

void ParadoxTable::readRows(const std::function<void(const Row&)>& row) {
    std::vector<char> record(std::size_t(m_recordSize) + 1, '\0');
    Row values(m_fields.size());
    // Rows are read in order; pxlib reads about four times per row (seeks drop the buffer).
    m_doc->allowReads(kSpareReads + 8 * (qint64(m_fileBlocks) + m_rowCount));
    LibraryOutputCapture quiet({kCountLine});
    for (qint64 r = 0; r < m_rowCount; ++r) {
        m_libraryError.clear();
        if (m_lib->record(m_doc->px, int(r), record.data()) == nullptr)
            refuse(QStringLiteral("it is damaged (row %1 cannot be read: %2)").arg(r + 1).arg(m_libraryError));
        int offset = 0;
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            values[i] = value(m_types[i], record.data() + offset, m_lengths[i]);
            offset += m_lengths[i];
        }
        if (m_doc->exhausted) refuse(QStringLiteral("it is damaged (its data blocks are linked in a circle)"));
        row(values);
    }
}

}  // namespace veska
