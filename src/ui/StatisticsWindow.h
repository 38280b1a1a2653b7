#pragma once

#include "protocol/ReadingStatistics.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QLabel;
class QTableWidget;

namespace veska {

class MeterSession;
class TableStatisticsPass;
struct RecordedReading;

// "Statistics": a small window beside the main one with the statistics per unit of the
// record table (count, min, max, mean, standard deviation, overloads, first and last time).
// It starts from the rows the table holds, follows every row recorded after that, and starts
// again when the table is opened, emptied or restored. Not modal: recording goes on. A big
// table is read a slice at a time between events, with its progress shown, so the window
// and the recording never wait for it.
class StatisticsWindow : public QWidget {
    Q_OBJECT
public:
    explicit StatisticsWindow(MeterSession& session, QWidget* parent = nullptr);
    ~StatisticsWindow() override;

    const ReadingStatistics& statistics() const { return m_statistics; }
    QTableWidget& grid() const { return *m_grid; }
    // Reads the open table again in one pass (never holding its rows): the first slice at
    // once, the rest between events.
    void recompute();
    // Whether a pass over the table is still under way.
    bool computing() const { return m_pass != nullptr; }
    // Longest time one slice may take on the UI thread, in milliseconds (benchmarks vary it).
    void setSliceBudget(int ms) { m_sliceBudgetMs = ms; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void addRecorded(const RecordedReading& recorded);
    void readSlice();
    void fail(const QString& message);
    void refresh();

    MeterSession& m_session;
    ReadingStatistics m_statistics;
    QTableWidget* m_grid;
    QLabel* m_note;
    bool m_stale = true;  // the table changed while hidden: read it again when shown
    std::unique_ptr<TableStatisticsPass> m_pass;  // while the table is being read
    QTimer m_sliceTimer;
    int m_sliceBudgetMs = 10;
};

}  // namespace veska
