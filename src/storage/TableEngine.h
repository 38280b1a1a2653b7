#pragma once

#include <QString>
#include <QStringList>
#include <QTime>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace veska {

// A table file: one SQLite database file holding one table, the first user table of the
// file. A thin layer with the operations the program needs of its tables. Every failure
// throws TableError with the engine's message; the object is then left in a sound state
// (closed when an open failed).
//
// Typical use:
//   TableEngine t;
//   t.setTableName("Kestodb");            // -> <working dir>/Kestodb.db, resolved at open()
//   t.setExclusive(true);                 // no other program can use the file while open
//   t.setCachedUpdates(true);             // appended rows never reach the file
//   t.open();
//   t.append(); t.setField("no", qint64(1)); t.setField("Time", QTime(14, 5, 9)); t.post();
//   for (t.first(); !t.eof(); t.next()) qDebug() << t.fieldText("No") << t.fieldText("Time");
//   t.copyTo("/tmp/run1.db");             // new file, same fields, every row (appended ones too)
//   t.close();                            // appended rows are discarded
//
// Cached updates: the rows appended (and an empty()) live in one transaction of the open
// connection that is never committed. Every reader going through this object (walk, row
// texts for a grid, copyTo) sees them; close() rolls them back, so the file keeps exactly
// what it held when it was opened, also after a crash (the rollback journal beside it puts
// the file back at the next open). Memory stays bounded: beyond a 2 MB page cache the
// rows spill into the file. A spill that fails (a full disk) makes the engine roll back
// every cached row: post() then throws and heldRowsLost() says so, and the caller, who
// keeps the rows elsewhere (RecordTable: its recovery journal), appends them again.
//
// Field values are typed by the field's declared type: INTEGER -> whole number (qint64),
// TIME -> time of day (QTime; stored as the text "hh:mm:ss", no date), FLOAT/REAL/DOUBLE ->
// floating-point (double; a float converts exactly), anything else -> text (QString).
// Field names match without regard to letter case.
//
// Not thread-safe: use one object from one thread (the UI thread).
class TableEngine {
public:
    enum class FieldKind { Integer, Time, Float, Text };

    struct Field {
        QString name;
        QString declaredType;  // as written in the table definition, e.g. "INTEGER", "CHAR(6)"
        FieldKind kind = FieldKind::Text;
    };

    using Value = std::variant<std::monostate, qint64, QTime, double, QString>;

    TableEngine();
    ~TableEngine();
    TableEngine(const TableEngine&) = delete;
    TableEngine& operator=(const TableEngine&) = delete;

    // --- naming and options (take effect at the next open) ---
    // A bare name ("Kestodb") or a relative path resolves against the working directory at
    // open time; a name without an extension gets ".db". A full path is used unchanged.
    void setTableName(const QString& name);
    // The absolute file path that `name` means now. When the exact path does not exist but
    // one differing only in letter case does, that one (names chosen upper-cased still work).
    static QString resolvePath(const QString& name);
    // Exclusive use: no other connection or program can read or write the file while open.
    void setExclusive(bool exclusive) { m_exclusive = exclusive; }
    bool exclusive() const { return m_exclusive; }
    // Cached updates (see above). Without them every post() is written to the file at once.
    void setCachedUpdates(bool cached) { m_cached = cached; }
    // Read-only: the file is never created or changed, not even its header (exports and
    // reports read their source this way). With exclusive use other programs may still
    // read the file but not change it while it is open.
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // How long open() waits for the file's lock while another connection has it for a
    // moment (a second copy starting at the same instant); 0: not at all. A holder that
    // keeps it is still reported once the wait is over.
    void setLockWait(int ms) { m_lockWaitMs = ms; }
    bool readOnly() const { return m_readOnly; }

    // --- open and close ---
    // Throws when the file is missing, is not a table file, or is held by another program.
    void open();
    // A table held in memory only, for a record file in a format the engine does not store:
    // created with `fields`, filled by `fill` through append/setField/post, read-only once
    // `fill` returns. filePath() names `sourcePath`, the file it was read from, so copies and
    // exports refuse to write over it. Throws what `fill` throws; the table is then closed.
    void openInMemory(const QString& sourcePath, const std::vector<Field>& fields,
                      const std::function<void(TableEngine&)>& fill);
    // Discards cached rows. Safe to call when closed.
    void close();
    bool isOpen() const { return m_db != nullptr; }
    // Whether the engine opened the file for reading only (the file cannot be written), or
    // holds a table in memory (openInMemory).
    bool isReadOnly() const;
    // Absolute path of the open file (empty while closed).
    QString filePath() const { return m_path; }
    // The table read inside the file (its first) and the file's other tables, for messages.
    QString internalTableName() const { return m_internalName; }
    QStringList laterTables() const { return m_laterTables; }

    // Creates a new table file at `path` with the given fields and no rows, replacing an
    // existing file. `internalName` names the table inside the file.
    static void createTable(const QString& path, const std::vector<Field>& fields,
                            const QString& internalName = QStringLiteral("records"));
    // Field kind implied by a declared type.
    static FieldKind kindOf(const QString& declaredType);

    // --- fields and rows of the open table ---
    const std::vector<Field>& fields() const { return m_fields; }
    int fieldIndex(const QString& name) const;  // -1 when there is no such field
    qint64 rowCount() const { return m_rowCount; }
    // The highest whole number in a field over every row, cached ones included (0 when the
    // table is empty). Throws on an unknown field.
    qint64 highestWholeNumber(const QString& fieldName) const;

    // Append: start a new row (all fields empty), set fields by name, post it to the end.
    void append();
    void setField(const QString& name, const Value& value);  // throws on an unknown field
    // By position in fields() (see fieldIndex): for the per-row path, no name lookup.
    void setField(int index, Value&& value);
    void post();                                             // throws when not appending
    // Cached updates: whether a failed post() took every cached row with it (see above); the
    // engine then holds the file's rows only and caches again from the next post on.
    bool heldRowsLost() const { return m_heldRowsLost; }
    // Drops every cached row at once, leaving the file's rows (and clears heldRowsLost()).
    void discardCachedRows();
    void cancel();                                           // drops a row not yet posted
    // Values of the row posted last, in field order (for a mirror such as a journal).
    const std::vector<Value>& lastPosted() const { return m_lastPosted; }

    // Removes every row.
    void empty();

    // --- walking, first to last in the table's order ---
    void first();
    void next();
    bool eof() const;
    QString fieldText(const QString& name) const;  // display text of the current row's field
    Value fieldValue(const QString& name) const;

    // Display texts of `count` rows from the 0-based position `position` in table order
    // (fewer at the end). Each entry holds one text per field, in field order. Fast at any
    // position for tables whose row ids have no gaps (every file this program writes).
    std::vector<QStringList> rowTexts(qint64 position, int count) const;
    // Bulk reading for exports: calls `row` once per row, first to last, with the display
    // texts (UTF-8) of the fields at the given positions, in that order. Texts stored as
    // text are handed over without copies; the views last until `row` returns. With
    // `first` and `count` (>= 0) only the rows at those 0-based positions.
    void forEachRowText(const std::vector<int>& fieldPositions,
                        const std::function<void(const std::vector<std::string_view>&)>& row, qint64 first = 0,
                        qint64 count = -1) const;
    // Binds a value to a statement parameter as a table stores it (times as "hh:mm:ss",
    // texts as UTF-8). The text is bound from `scratch` without a copy: keep it unchanged
    // until the statement has run.
    static void bindValue(sqlite3_stmt* stmt, int index, const Value& value, std::string& scratch);
    // The value of a result column as it is stored (times come back as their text).
    static Value columnValue(sqlite3_stmt* stmt, int column);
    // Display text of a value for a field of the given kind: whole numbers in decimal, times
    // as hh:mm:ss, texts as stored.
    static QString displayText(const Value& value, FieldKind kind);

    // --- copies and indexes ---
    // Creates `fileName` anew (resolved like a table name) with this table's fields and no
    // indexes, replacing an existing file, and copies every row from first to last, cached
    // ones included. Written through SafeFileWriter: the file appears complete or not at all,
    // links are followed, special files are written directly. Refuses the open table's own
    // file, its recovery journal and a file another program holds. `beforeCommit` may work
    // on the finished copy (by its temporary path) before it takes the name.
    void copyTo(const QString& fileName,
                const std::function<void(const QString& finishedCopy)>& beforeCommit = {}) const;
    // Writes this table's fields and every row into `freshFile`, an empty file no one else
    // uses. Throws TableError whose message is the reason only (no path).
    void writeCopy(const QString& freshFile) const;
    // Unique index over fields given by name, separated by ';' or ','. Throws when a field
    // does not exist or values repeat. With cached updates it lasts until close.
    void addPrimaryIndex(const QString& fieldList);

private:
    // Writes the table as this connection sees it to `part` in one piece; false when the
    // file holds more than the table or is too large to copy in memory.
    bool copyAsImage(const QString& part) const;
    void exec(const char* sql) const;
    [[noreturn]] void fail(int rc, const QString& what) const;
    void loadSchema();
    void countRows();
    void beginCaching();
    void noteLostTransaction();
    void prepareInsert();
    void fillWalk();
    void finalizeAll();
    void readRow(sqlite3_stmt* stmt, int firstColumn, std::vector<Value>& out) const;
    int requireField(const QString& name) const;

    QString m_tableName;
    bool m_exclusive = false;
    bool m_cached = false;
    bool m_readOnly = false;
    int m_lockWaitMs = 0;

    sqlite3* m_db = nullptr;
    bool m_inMemory = false;  // opened by openInMemory: no file behind it
    QString m_path;
    QString m_internalName;
    QStringList m_laterTables;
    QString m_rowId;  // the name that reaches the row id: rowid, or an alias when a field hides it
    std::vector<Field> m_fields;
    qint64 m_rowCount = 0;
    qint64 m_firstRowId = 1;  // row id of position 0 while ids are dense
    bool m_denseIds = true;
    bool m_heldRowsLost = false;

    sqlite3_stmt* m_insert = nullptr;
    bool m_appending = false;
    std::vector<Value> m_pending;
    std::vector<Value> m_lastPosted;
    std::vector<std::string> m_bindScratch;  // UTF-8 of the row's texts while it is posted

    // Walk state: a window of rows after m_walkLastId.
    std::vector<std::vector<Value>> m_walkRows;
    std::vector<qint64> m_walkIds;
    std::size_t m_walkIndex = 0;
    qint64 m_walkLastId = 0;
    bool m_walking = false;
};

}  // namespace veska
