#pragma once

#include "history/HistoryModel.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <vector>

class QThread;

namespace veska {

class HistoryFileLoader;
class RecordTable;
class TableHistorySource;
struct RecordedReading;

// What the History window shows: the run of the record table, followed row by row as it is
// recorded, or a record file read on a worker thread. Owns the run's model and the rows read
// again to refine the picture in view. The UI thread is never held for long: the record
// table (which only its own thread may read) is read in slices between events, a file
// entirely on the worker.
class HistoryDocument : public QObject {
    Q_OBJECT
public:
    // Rows of the record table read per slice between events.
    static constexpr std::int64_t kSliceRows = 16'384;

    explicit HistoryDocument(QObject* parent = nullptr);
    ~HistoryDocument() override;

    // The record table's run, read again whenever the table is opened, emptied or restored.
    void followRecordTable(const RecordTable& table);
    // A row the session recorded (connect MeterSession::readingRecorded).
    void addRecorded(const RecordedReading& recorded);
    // A record file, read on a worker thread; failed() when it cannot be read.
    void openFile(const QString& path);

    bool followsRecordTable() const { return m_table != nullptr; }
    // The record table's file or the file opened; empty before either.
    QString sourceFile() const;
    // Null before the first picture; a preview while loading() and !complete().
    const HistoryModel* model() const { return m_model.get(); }
    bool loading() const { return m_loading; }
    int progressPercent() const { return m_progress; }
    // Rows read again for the picture last asked for.
    const std::vector<HistoryRowRange>& rows() const { return m_rows; }
    // Counts every change of model or rows, so views know when to draw again.
    quint64 revision() const { return m_revision; }

    // Asks for the rows that make a picture of `view` at `width` exact, and those of the
    // readings in force at `cursors`; rowsChanged() when they are there. Cheap when they are.
    // False when nothing had to be read.
    bool refine(const HistoryView& view, int width, const std::vector<std::int64_t>& cursors);

signals:
    void modelChanged();  // another run, a preview replaced, or the pass finished
    void rowsAdded();     // rows recorded into the followed table
    void rowsChanged();   // rows for refining arrived
    void progressChanged(int percent);
    void failed(const QString& message);

private:
    void stopFile();
    void restartTableScan();
    void scanSlice();
    void readTableRows();
    void setModel(std::shared_ptr<HistoryModel> model, bool loading);
    bool covered(const std::vector<HistoryModel::PositionRange>& ranges) const;

    const RecordTable* m_table = nullptr;
    std::unique_ptr<TableHistorySource> m_tableSource;
    QTimer m_sliceTimer;
    QTimer m_readTimer;
    std::int64_t m_scanNext = 0;

    QString m_file;
    QThread* m_thread = nullptr;
    HistoryFileLoader* m_loader = nullptr;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    quint64 m_request = 0;

    std::shared_ptr<const HistoryModel> m_model;
    std::shared_ptr<HistoryModel> m_liveModel;  // the same model, writable, while following the table
    std::vector<HistoryRowRange> m_rows;
    std::vector<HistoryModel::PositionRange> m_wanted;
    bool m_loading = false;
    int m_progress = 100;
    quint64 m_revision = 0;
};

}  // namespace veska
