#pragma once

#include "history/HistoryModel.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace veska {

class TableEngine;
class TableHistorySource;

// Reads a record file for the History view on a thread of its own: a preview of the whole
// run from rows spread over the file first, then the full pass with its progress, then the
// rows that refine pictures as they are asked for. Lives in its worker thread; what it finds
// is handed to the callbacks, which run on that thread (they post to the UI thread).
class HistoryFileLoader : public QObject {
    Q_OBJECT
public:
    struct Callbacks {
        std::function<void(std::shared_ptr<const HistoryModel>, bool complete)> model;
        std::function<void(int percent)> progress;
        std::function<void(const QString& message)> failed;
        std::function<void(quint64 request, std::shared_ptr<const std::vector<HistoryRowRange>>)> rows;
    };
    // Rows of a file above which a preview is drawn before the full pass.
    static constexpr std::int64_t kPreviewFrom = 200'000;
    static constexpr std::int64_t kPreviewRows = 2000;

    HistoryFileLoader(QString path, Callbacks callbacks, std::shared_ptr<std::atomic<bool>> cancelled);
    ~HistoryFileLoader() override;

    // Both run on the loader's thread (queue them there).
    void load();
    void readRows(quint64 request, const std::vector<HistoryModel::PositionRange>& ranges);

private:
    QString m_path;
    Callbacks m_callbacks;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    std::unique_ptr<TableEngine> m_engine;
    std::unique_ptr<TableHistorySource> m_source;
    std::shared_ptr<HistoryModel> m_model;
};

}  // namespace veska
