#include "session/HistoryDocument.h"

#include "session/HistoryFileLoader.h"
#include "session/RecordedReading.h"
#include "storage/RecordTable.h"
#include "storage/TableError.h"
#include "storage/TableHistorySource.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

namespace veska {

namespace {

// A slice of the record table's pass stops after this long, so events keep flowing.
constexpr qint64 kSliceMs = 20;
constexpr std::int64_t kSliceStep = 2048;

}  // namespace

HistoryDocument::HistoryDocument(QObject* parent) : QObject(parent) {
    m_sliceTimer.setInterval(0);
    m_sliceTimer.setSingleShot(true);
    connect(&m_sliceTimer, &QTimer::timeout, this, &HistoryDocument::scanSlice);
    // The record table's rows are read on this thread: a few times a second at most, after the
    // picture with what is there has been drawn.
    m_readTimer.setInterval(200);
    m_readTimer.setSingleShot(true);
    connect(&m_readTimer, &QTimer::timeout, this, &HistoryDocument::readTableRows);
}

HistoryDocument::~HistoryDocument() { stopFile(); }

QString HistoryDocument::sourceFile() const { return m_table ? m_table->filePath() : m_file; }

void HistoryDocument::stopFile() {
    if (!m_thread) return;
    *m_cancelled = true;
    m_thread->quit();
    m_thread->wait();  // the pass looks at the flag after every slice of rows
    delete m_loader;
    delete m_thread;
    m_loader = nullptr;
    m_thread = nullptr;
    m_file.clear();
}

void HistoryDocument::setModel(std::shared_ptr<HistoryModel> model, bool loading) {
    m_model = std::move(model);
    m_rows.clear();
    m_wanted.clear();
    m_loading = loading;
    ++m_revision;
    emit modelChanged();
}

void HistoryDocument::followRecordTable(const RecordTable& table) {
    stopFile();
    if (m_table != &table) {
        if (m_table) disconnect(m_table, nullptr, this, nullptr);
        m_table = &table;
        connect(m_table, &RecordTable::tableReset, this, &HistoryDocument::restartTableScan);
    }
    restartTableScan();
}

void HistoryDocument::restartTableScan() {
    m_tableSource.reset();
    m_liveModel = std::make_shared<HistoryModel>();
    m_scanNext = 0;
    try {
        if (m_table->isOpen()) m_tableSource = std::make_unique<TableHistorySource>(m_table->engine());
    } catch (const TableError& e) {
        emit failed(e.message());
    }
    setModel(m_liveModel, m_tableSource != nullptr);
    m_progress = 0;
    if (m_tableSource) {
        m_sliceTimer.start();
    } else {
        m_liveModel->finish();
        m_loading = false;
        m_progress = 100;
    }
}

void HistoryDocument::scanSlice() {
    if (!m_tableSource || !m_liveModel) return;
    QElapsedTimer clock;
    clock.start();
    try {
        const std::int64_t end = std::min(m_tableSource->rowCount(), m_scanNext + kSliceRows);
        while (m_scanNext < end && clock.elapsed() < kSliceMs) {
            const std::int64_t count = std::min(kSliceStep, end - m_scanNext);
            m_liveModel->scan(*m_tableSource, m_scanNext, count);
            m_scanNext += count;
        }
    } catch (const TableError& e) {
        emit failed(e.message());
        m_scanNext = m_tableSource->rowCount();
    }
    const std::int64_t total = m_tableSource->rowCount();
    ++m_revision;
    if (m_scanNext < total) {
        m_progress = int(m_scanNext * 100 / total);
        emit progressChanged(m_progress);
        emit rowsAdded();
        m_sliceTimer.start();
        return;
    }
    m_liveModel->finish();
    m_loading = false;
    m_progress = 100;
    emit progressChanged(m_progress);
    emit modelChanged();
}

void HistoryDocument::addRecorded(const RecordedReading& recorded) {
    // While the pass runs it reads the row from the table itself.
    if (!m_table || !m_liveModel || m_loading) return;
    const MeterReading& r = recorded.reading;
    m_liveModel->addRecorded(m_table->rowCount() - 1, recorded.utcMs, r.acDcText, r.valueText, r.unitText);
    ++m_revision;
    emit rowsAdded();
}

void HistoryDocument::openFile(const QString& path) {
    stopFile();
    if (m_table) disconnect(m_table, nullptr, this, nullptr);
    m_table = nullptr;
    m_tableSource.reset();
    m_liveModel.reset();
    m_sliceTimer.stop();
    m_file = QFileInfo(path).absoluteFilePath();
    setModel(nullptr, true);
    m_progress = 0;
    m_cancelled = std::make_shared<std::atomic<bool>>(false);

    // The callbacks run on the worker; each posts to this object, so nothing arrives after
    // it is gone (stopFile() waits for the worker, and posted calls die with their receiver).
    HistoryFileLoader::Callbacks callbacks;
    callbacks.model = [this](std::shared_ptr<const HistoryModel> model, bool complete) {
        QMetaObject::invokeMethod(this, [this, model, complete] {
            m_model = model;
            m_rows.clear();
            m_wanted.clear();
            m_loading = !complete;
            if (complete) m_progress = 100;
            ++m_revision;
            emit modelChanged();
        }, Qt::QueuedConnection);
    };
    callbacks.progress = [this](int percent) {
        QMetaObject::invokeMethod(this, [this, percent] {
            m_progress = percent;
            emit progressChanged(percent);
        }, Qt::QueuedConnection);
    };
    callbacks.failed = [this](const QString& message) {
        QMetaObject::invokeMethod(this, [this, message] {
            m_loading = false;
            m_progress = 100;
            emit failed(message);
            emit modelChanged();
        }, Qt::QueuedConnection);
    };
    callbacks.rows = [this](quint64 request, std::shared_ptr<const std::vector<HistoryRowRange>> rows) {
        QMetaObject::invokeMethod(this, [this, request, rows] {
            if (request != m_request) return;  // a later picture asked for other rows
            m_rows = *rows;
            ++m_revision;
            emit rowsChanged();
        }, Qt::QueuedConnection);
    };
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("history file"));
    m_loader = new HistoryFileLoader(m_file, std::move(callbacks), m_cancelled);
    m_loader->moveToThread(m_thread);
    m_thread->start();
    QMetaObject::invokeMethod(m_loader, [loader = m_loader] { loader->load(); }, Qt::QueuedConnection);
}

bool HistoryDocument::covered(const std::vector<HistoryModel::PositionRange>& ranges) const {
    for (const auto& [first, end] : ranges) {
        bool found = false;
        for (const HistoryRowRange& r : m_rows) found = found || r.covers(first, end - 1);
        if (!found) return false;
    }
    return true;
}

bool HistoryDocument::refine(const HistoryView& view, int width, const std::vector<std::int64_t>& cursors) {
    if (!m_model || m_loading) return false;
    std::vector<HistoryModel::PositionRange> wanted = m_model->rowsToRefine(view, width);
    for (const std::int64_t at : cursors)
        for (int s = 0; s < int(m_model->series().size()); ++s)
            if (const auto range = m_model->rowsOfValueAt(s, at)) wanted.push_back(*range);
    if (wanted.empty() || covered(wanted) || wanted == m_wanted) return false;
    m_wanted = wanted;
    if (m_thread) {
        const quint64 request = ++m_request;
        QMetaObject::invokeMethod(m_loader, [loader = m_loader, request, wanted] { loader->readRows(request, wanted); },
                                  Qt::QueuedConnection);
    } else {
        if (!m_readTimer.isActive()) m_readTimer.start();
    }
    return true;
}

void HistoryDocument::readTableRows() {
    if (!m_tableSource || !m_liveModel || m_loading) return;
    try {
        std::vector<HistoryRowRange> rows;
        for (const auto& [first, end] : m_wanted) rows.push_back(m_liveModel->readRange(*m_tableSource, first, end));
        m_rows = std::move(rows);
    } catch (const TableError& e) {
        emit failed(e.message());
        return;
    }
    ++m_revision;
    emit rowsChanged();
}

}  // namespace veska
