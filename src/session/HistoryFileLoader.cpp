#include "session/HistoryFileLoader.h"

#include "storage/RecordFileReader.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "storage/TableHistorySource.h"

namespace veska {

namespace {

constexpr std::int64_t kSliceRows = 65'536;

}  // namespace

HistoryFileLoader::HistoryFileLoader(QString path, Callbacks callbacks, std::shared_ptr<std::atomic<bool>> cancelled)
    : m_path(std::move(path)), m_callbacks(std::move(callbacks)), m_cancelled(std::move(cancelled)) {}

HistoryFileLoader::~HistoryFileLoader() = default;

void HistoryFileLoader::load() {
    try {
        m_engine = std::make_unique<TableEngine>();
        if (RecordFileReader::isParadoxFile(m_path)) {
            // The Windows program's tables: read once into a read-only copy in memory.
            RecordFileReader::openForReading(*m_engine, m_path);
        } else {
            m_engine->setTableName(m_path);
            m_engine->setReadOnly(true);
            m_engine->open();
        }
        m_source = std::make_unique<TableHistorySource>(*m_engine);
        const std::int64_t rows = m_source->rowCount();
        if (rows >= kPreviewFrom) {
            // The whole run at once from a few rows spread over it; the pass below replaces it.
            auto preview = std::make_shared<HistoryModel>();
            for (std::int64_t i = 0; i < kPreviewRows && !*m_cancelled; ++i) preview->scan(*m_source, i * (rows - 1) / (kPreviewRows - 1), 1);
            preview->finish();
            m_callbacks.model(preview, false);
        }
        auto model = std::make_shared<HistoryModel>();
        for (std::int64_t first = 0; first < rows; first += kSliceRows) {
            if (*m_cancelled) return;
            model->scan(*m_source, first, kSliceRows);
            m_callbacks.progress(int((first + kSliceRows < rows ? first + kSliceRows : rows) * 100 / rows));
        }
        model->finish();
        m_model = model;
        m_callbacks.model(model, true);
    } catch (const TableError& e) {
        m_callbacks.failed(e.message());
    }
}

void HistoryFileLoader::readRows(quint64 request, const std::vector<HistoryModel::PositionRange>& ranges) {
    if (!m_model || *m_cancelled) return;
    try {
        auto rows = std::make_shared<std::vector<HistoryRowRange>>();
        for (const auto& [first, end] : ranges) rows->push_back(m_model->readRange(*m_source, first, end));
        m_callbacks.rows(request, rows);
    } catch (const TableError& e) {
        m_callbacks.failed(e.message());
    }
}

}  // namespace veska
