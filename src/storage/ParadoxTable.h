#pragma once

#include "storage/TableEngine.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

struct px_doc;

namespace veska {

class ParadoxLibrary;

// A Paradox table file (the record files of the meter's Windows program) read through pxlib,
// which does all the reading; this class only decides which files may be handed to it. The
// file is opened for reading alone: it is never written, locked or changed in any byte.
// Read-only for good: recording always goes into Veska's own tables.
//
// Readable are tables without a key whose fields are numbers, texts, times, dates and
// logicals. Refused with a TableError that names the file and the reason: files that are no
// Paradox table (index files .PX, .Xnn ...), keyed tables (they come with a primary index
// file), encrypted tables, tables with memo, blob, byte or BCD fields, truncated or damaged files.
//
// Typical use (the history view, the converter):
//   ParadoxTable px(path);                         // throws TableError
//   const int value = px.fieldIndex("Value");      // fields match without regard to case
//   px.readRows([&](const ParadoxTable::Row& row) { use(row[value]); });
//
// Values are typed as TableEngine's: whole numbers (qint64), times of day (QTime, to the
// millisecond), numbers (double), texts (QString), empty fields std::monostate. Dates read
// as "yyyy-MM-dd" texts, timestamps as "yyyy-MM-ddThh:mm:ss.zzz", logicals as 0 or 1. Texts
// are taken as Latin-1.
class ParadoxTable {
public:
    struct Field {
        QString name;
        QString declaredType;  // the type a Veska table gives such a field: INTEGER, TIME, CHAR(n), ...
        TableEngine::FieldKind kind = TableEngine::FieldKind::Text;
    };
    using Row = std::vector<TableEngine::Value>;

    // Whether the file starts with a Paradox file header (of any kind of Paradox file: a
    // table, an index). The format is told by the header alone, never by the name.
    static bool hasParadoxHeader(const QString& path);
    // What the user is told when a Paradox file would become the table rows are recorded
    // into: it cannot, and how to convert it.
    static QString notRecordableMessage(const QString& path);
    // The command that converts it into a Veska table: veska --export PATH NEW.db.
    static QString convertCommand(const QString& path);

    // Opens and checks `path`. Throws TableError "Cannot read <path>: <reason>".
    explicit ParadoxTable(const QString& path);
    ~ParadoxTable();
    ParadoxTable(const ParadoxTable&) = delete;
    ParadoxTable& operator=(const ParadoxTable&) = delete;

    QString path() const { return m_path; }
    const std::vector<Field>& fields() const { return m_fields; }
    // Field position by name without regard to letter case; -1 when there is none.
    int fieldIndex(const QString& name) const;
    // The table's fields as a Veska table declares them.
    std::vector<TableEngine::Field> engineFields() const;
    qint64 rowCount() const { return m_rowCount; }

    // Calls `row` for every row, first to last, one value per field in field order. Throws
    // TableError when a row cannot be read (a damaged block); rows handed over before stay
    // handed over.
    void readRows(const std::function<void(const Row&)>& row);

private:
    struct Document;
    static void onLibraryError(px_doc* doc, int level, const char* message, void* self);
    [[noreturn]] void refuse(const QString& reason) const;
    void checkHeader();
    void openDocument();
    void readFields();
    TableEngine::Value value(int type, char* data, int length);

    QString m_path;
    std::unique_ptr<ParadoxLibrary> m_lib;  // declared before m_doc: outlives it
    qint64 m_fileSize = 0;
    int m_fileBlocks = 0;
    std::unique_ptr<Document> m_doc;
    std::vector<Field> m_fields;
    std::vector<int> m_types;
    std::vector<int> m_lengths;
    int m_recordSize = 0;
    qint64 m_rowCount = 0;
    QString m_libraryError;  // the last message pxlib's error handler was given
};

}  // namespace veska
