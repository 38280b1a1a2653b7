#pragma once

#include "protocol/ReadingStatistics.h"

#include <QWidget>

class QLabel;
class QTableWidget;

namespace veska {

class MeterSession;
struct RecordedReading;

// "Statistics": a small window beside the main one with the statistics per unit of the
// record table (count, min, max, mean, standard deviation, overloads, first and last time).
// It starts from the rows the table holds, follows every row recorded after that, and starts
// again when the table is opened, emptied or restored. Not modal: recording goes on.
class StatisticsWindow : public QWidget {
    Q_OBJECT
public:
    explicit StatisticsWindow(MeterSession& session, QWidget* parent = nullptr);

    const ReadingStatistics& statistics() const { return m_statistics; }
    QTableWidget& grid() const { return *m_grid; }
    // Reads the open table again in one pass (never holding its rows).
    void recompute();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void addRecorded(const RecordedReading& recorded);
    void refresh();

    MeterSession& m_session;
    ReadingStatistics m_statistics;
    QTableWidget* m_grid;
    QLabel* m_note;
    bool m_stale = true;  // the table changed while hidden: read it again when shown
};

}  // namespace veska
