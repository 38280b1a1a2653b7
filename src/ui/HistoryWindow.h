#pragma once

#include "history/HistoryModel.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QMenuBar;
class QTableWidget;

namespace veska {

class HistoryDocument;
class HistoryPlot;
class MeterSession;
class UserDialogs;

// "History": the run on a real time axis in real units, in a window of its own beside the
// main one (not modal: recording goes on). It follows the record table as rows are recorded,
// or shows a record file opened from its File menu. Below the plot: the cursors' readouts
// and the statistics of what is in view, per series.
class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    HistoryWindow(MeterSession& session, UserDialogs& dialogs, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    HistoryDocument& document() const { return *m_document; }
    HistoryPlot& plot() const { return *m_plot; }
    QTableWidget& statistics() const { return *m_statistics; }
    QLabel& readout() const { return *m_readout; }

    void followRecordTable();
    void openFile(const QString& path);
    // File > Open...: asks for a record file.
    void chooseFile();
    // File > Export picture...: asks for a name (PNG, SVG or PDF) and writes the view.
    void exportPicture();
    // Statistics and readouts now (they follow the view a moment later by themselves).
    void refresh();

    static QStringList statisticsHeader();

private:
    void buildMenus(QMenuBar* bar);
    void scheduleRefresh();
    bool readValue(const HistoryModel& model, int series, std::int64_t ms, HistoryModel::ValueAt& out) const;

    MeterSession& m_session;
    UserDialogs& m_dialogs;
    HistoryDocument* m_document;
    HistoryPlot* m_plot;
    QLabel* m_readout;
    QTableWidget* m_statistics;
    QTimer m_refreshTimer;
};

}  // namespace veska
