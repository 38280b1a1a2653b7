#pragma once

#include "ui/DataFileDialogs.h"
#include "ui/UserDialogs.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QPrinter;

namespace veska {

class RecordTable;
class TableEngine;

// The record-file commands beside the record grid: open another table file
// (openRecordFile), save the table under a new name (saveRecordFileAs) and print it
// (printRecords). File dialogs, questions and the preview go through the window's
// UserDialogs, messages through signals, so the window decides how they look and tests
// answer them.
class DataFileCommands : public QObject {
    Q_OBJECT
public:
    explicit DataFileCommands(RecordTable& table, QObject* parent = nullptr);
    ~DataFileCommands() override;

    // Who shows the file dialogs, the Save / Discard / Cancel question before unsaved rows
    // would be dropped, and the print preview. Without dialogs every file dialog counts as
    // cancelled, the question as Cancel, and no preview is shown.
    void setDialogs(UserDialogs* dialogs) { m_dialogs = dialogs; }

    // --- handlers ---
    // Open: dialog, question about unsaved rows, then the chosen file replaces the record
    // table (the grid reads it again). A file that cannot be opened leaves the current table
    // and its rows as they were. Returns whether another table is open now.
    // A Paradox table is only shown: the grid, Save and Print show it, while recording goes
    // on in the record table (told once per run, with the way to convert it). Opening the
    // record table's own file, or any other, ends the showing.
    bool openRecordFile();
    // Save as: ".db" gives a table copy, ".csv" CSV, any other extension the text export, of
    // the table the grid shows. Returns whether the table was saved.
    bool saveRecordFileAs();
    // Save as for the record table itself, whatever the grid shows (the questions about
    // unsaved rows before they would be dropped).
    bool saveRecordTableAs();
    // Preview and print the table the grid shows. An empty table gives a message and no
    // preview. Returns whether the preview was shown.
    bool printRecords();

    // The Paradox table the grid shows instead of the record table; nullptr when none.
    const TableEngine* shownTable() const { return m_shown.get(); }
    // What the user is told the first time a Paradox table is shown.
    static QString paradoxShownMessage(const QString& paradoxPath, const QString& recordTablePath);

    // The path Open uses for a chosen one: its letters a-z upper-cased when that names the
    // same file, otherwise the path as chosen (file systems that tell case apart).
    static QString openPathFor(const QString& chosen);
    // Save under `fileName` by its extension (TableSaver), as saveRecordFileAs does after its dialog. Copy
    // and export failures are reported through the signals; returns success.
    bool saveTo(const QString& fileName);
    // Question asked before unsaved rows would be dropped.
    static QString unsavedRowsQuestion(qint64 rows);
    static QString nothingToPrintMessage() { return QStringLiteral("The record table holds no rows to print."); }

signals:
    // A message box; `plain` for the text export's outcome, which is told in a box without
    // an icon, captioned with the application title.
    void information(const QString& text, bool plain);
    // An error: the engine's or file system's message.
    void error(const QString& text, bool plain);
    // What a command did, for the window's status line: a file written (a copy or text),
    // another table opened, the report shown for printing.
    void saved(const QString& fileName);
    void opened(const QString& fileName);
    // The grid is to show `shown` (a Paradox table), or the record table again (nullptr).
    void shownTableChanged(const TableEngine* shown);
    void previewed(qint64 rows);

private:
    bool settleUnsavedRows();
    bool replaceTable(const QString& path);
    bool showParadoxTable(const QString& path);
    void stopShowing();
    bool saveShownTo(const QString& fileName);

    RecordTable& m_table;
    UserDialogs* m_dialogs = nullptr;
    std::unique_ptr<TableEngine> m_shown;
    bool m_toldParadox = false;
};

}  // namespace veska
