#include "ui/DataFileCommands.h"

#include "storage/ParadoxTable.h"
#include "storage/RecordColumns.h"
#include "storage/RecordFileReader.h"
#include "ui/RecordReport.h"
#include "storage/RecordTable.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "storage/TableSaver.h"
#include "storage/TextExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPaintEngine>
#include <QPrinter>

#include <filesystem>

namespace veska {

namespace {

QString upperAscii(const QString& text) {
    QString upper = text;
    for (QChar& c : upper)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
    return upper;
}

bool sameFile(const QString& a, const QString& b) {
    std::error_code ec;
    return std::filesystem::equivalent(QFile::encodeName(a).toStdString(), QFile::encodeName(b).toStdString(), ec);
}

// Opens `path` the way the record table will and checks it is a record file, without
// touching the current table or the file.
void probe(const QString& path) {
    TableEngine candidate;
    candidate.setTableName(path);
    candidate.setExclusive(true);
    candidate.setReadOnly(true);
    candidate.open();
    RecordColumns::requireRecordFields(candidate);
    candidate.close();
}

// A printer that is about to write a PDF file (the print dialog's "print to file"), not the
// preview's drawing surface.
bool writesPdfFile(QPrinter& printer) {
    const QPaintEngine* engine = printer.paintEngine();
    return printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty() &&
           engine != nullptr && engine->type() == QPaintEngine::Pdf;
}

}  // namespace

DataFileCommands::DataFileCommands(RecordTable& table, QObject* parent) : QObject(parent), m_table(table) {}

DataFileCommands::~DataFileCommands() = default;

QString DataFileCommands::paradoxShownMessage(const QString& paradoxPath, const QString& recordTablePath) {
    const QString recording = recordTablePath.isEmpty()
                                  ? QStringLiteral("no record table is open, so nothing is recorded")
                                  : QStringLiteral("recording goes on in %1").arg(QDir::toNativeSeparators(recordTablePath));
    return QStringLiteral("%1 is a Paradox table: it is shown read-only, and %2. To record into a copy of it, "
                          "convert it: %3")
        .arg(QDir::toNativeSeparators(paradoxPath), recording, ParadoxTable::convertCommand(paradoxPath));
}

bool DataFileCommands::showParadoxTable(const QString& path) {
    auto shown = std::make_unique<TableEngine>();
    try {
        RecordFileReader::openForReading(*shown, path);
    } catch (const TableError& e) {
        emit error(e.message(), false);
        return false;
    }
    m_shown = std::move(shown);
    emit shownTableChanged(m_shown.get());
    if (!m_toldParadox) {
        m_toldParadox = true;
        emit information(paradoxShownMessage(path, m_table.filePath()), false);
    }
    emit opened(path);
    return true;
}

void DataFileCommands::stopShowing() {
    if (!m_shown) return;
    emit shownTableChanged(nullptr);
    m_shown.reset();
}

QString DataFileCommands::openPathFor(const QString& chosen) {
    const QString upper = upperAscii(chosen);
    if (upper == chosen || sameFile(upper, chosen)) return upper;
    return chosen;
}

QString DataFileCommands::unsavedRowsQuestion(qint64 rows) {
    return QStringLiteral("The record table holds %1 unsaved rows. Save them before opening another file?").arg(rows);
}

bool DataFileCommands::settleUnsavedRows() {
    if (m_table.unsavedRows() == 0) return true;
    using SaveChoice = UserDialogs::SaveChoice;
    const SaveChoice choice =
        m_dialogs ? m_dialogs->askSaveUnsaved(unsavedRowsQuestion(m_table.unsavedRows())) : SaveChoice::Cancel;
    if (choice == SaveChoice::Cancel) return false;
    if (choice == SaveChoice::Save) return saveRecordTableAs();
    return true;
}

bool DataFileCommands::replaceTable(const QString& path) {
    // Told by the file's header: a Paradox table is shown, never made the record table.
    if (RecordFileReader::isParadoxFile(path)) return showParadoxTable(path);
    if (m_shown && m_table.isOpen() && sameFile(path, m_table.filePath())) {
        // Back from a shown file to the record table, which stayed open with its rows.
        stopShowing();
        emit opened(path);
        return true;
    }
    const QString previous = m_table.filePath();
    // The open file itself cannot be opened a second time beside itself: reopening it is
    // exactly what was asked for.
    const bool reopening = m_table.isOpen() && sameFile(path, previous);
    try {
        if (!reopening) probe(path);
    } catch (const TableError& e) {
        emit error(e.message(), false);
        return false;
    }
    if (!settleUnsavedRows()) return false;
    try {
        m_table.openTable(path);
        stopShowing();
        emit opened(path);
        return true;
    } catch (const TableError& e) {
        emit error(e.message(), false);
    }
    // Taken by another program between the check and the open: keep a record table.
    if (!previous.isEmpty()) {
        try {
            m_table.openTable(previous);
        } catch (const TableError& e) {
            emit error(e.message(), false);
        }
    }
    return false;
}

bool DataFileCommands::openRecordFile() {
    const QString chosen = m_dialogs ? m_dialogs->chooseFile(DataFileDialogs::openDialog()) : QString();
    if (chosen.isEmpty()) return false;
    return replaceTable(openPathFor(chosen));
}

bool DataFileCommands::saveRecordFileAs() {
    if (!m_shown) return saveRecordTableAs();
    const QString chosen = m_dialogs ? m_dialogs->chooseFile(DataFileDialogs::saveDialog()) : QString();
    if (chosen.isEmpty()) return false;
    return saveShownTo(chosen);
}

bool DataFileCommands::saveRecordTableAs() {
    const QString chosen = m_dialogs ? m_dialogs->chooseFile(DataFileDialogs::saveDialog()) : QString();
    if (chosen.isEmpty()) return false;
    return saveTo(chosen);
}

bool DataFileCommands::saveShownTo(const QString& fileName) {
    // A copy or export of the shown file; the record table's unsaved rows stay unsaved.
    try {
        const TextExport::Result result = TableSaver::save(*m_shown, fileName);
        if (!result.ok) {
            emit error(result.message, true);
            return false;
        }
        if (!result.message.isEmpty()) emit information(result.message, true);
    } catch (const TableError& e) {
        emit error(e.message(), false);
        return false;
    }
    emit saved(fileName);
    return true;
}

bool DataFileCommands::saveTo(const QString& fileName) {
    try {
        const TextExport::Result result = m_table.saveTo(fileName);
        if (!result.ok) {
            emit error(result.message, true);
            return false;
        }
        if (!result.message.isEmpty()) emit information(result.message, true);
    } catch (const TableError& e) {
        emit error(e.message(), false);
        return false;
    }
    try {
        m_table.markSaved();
    } catch (const TableError& e) {
        // The file is saved; only the journal could not be emptied (a full disk, say). It
        // keeps the rows, which is no loss, and the user hears why.
        emit error(e.message(), false);
    }
    emit saved(fileName);
    return true;
}

bool DataFileCommands::printRecords() {
    try {
        if (!m_shown) m_table.restoreLostRows();  // after a full disk: the report shows every row of the run
    } catch (const TableError& e) {
        emit error(e.message(), false);
        return false;
    }
    const TableEngine& table = m_shown ? *m_shown : m_table.engine();
    if (!table.isOpen() || table.rowCount() == 0) {
        emit information(nothingToPrintMessage(), false);
        return false;
    }
    if (m_dialogs == nullptr) return false;
    QPrinter printer(QPrinter::HighResolution);
    RecordReport::setupPrinter(printer);
    QString failure;
    m_dialogs->showPrintPreview(printer, [&table, &failure](QPrinter* target) {
        if (writesPdfFile(*target)) {
            // Printing to a PDF file: the report goes through the safe-write path instead of
            // the printer's own file, which would be left truncated on a full disk.
            failure = RecordReport::renderPdf(table, target->outputFileName(), target->pageLayout());
            return;
        }
        try {
            RecordReport::render(table, *target);
        } catch (const TableError& e) {
            failure = e.message();
        }
    });
    if (!failure.isEmpty()) {
        emit error(failure, false);
    } else {
        emit previewed(table.rowCount());
    }
    return true;
}

}  // namespace veska
