#include "ui/StatisticsWindow.h"

#include "protocol/IsoTime.h"
#include "protocol/SiQuantity.h"
#include "session/MeterSession.h"
#include "storage/RecordTable.h"
#include "storage/TableError.h"
#include "storage/TableStatistics.h"
#include "storage/TableStatisticsPass.h"

#include <QElapsedTimer>

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace veska {

StatisticsWindow::StatisticsWindow(MeterSession& session, QWidget* parent)
    : QWidget(parent, Qt::Window), m_session(session), m_grid(new QTableWidget(this)), m_note(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Statistics"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_grid);
    layout->addWidget(m_note);
    m_grid->setColumnCount(int(TableStatistics::header().size()));
    m_grid->setHorizontalHeaderLabels(TableStatistics::header());
    m_grid->verticalHeader()->hide();
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    resize(760, 180);
    m_sliceTimer.setSingleShot(true);
    m_sliceTimer.setInterval(0);
    connect(&m_sliceTimer, &QTimer::timeout, this, &StatisticsWindow::readSlice);

    connect(&session, &MeterSession::readingRecorded, this, &StatisticsWindow::addRecorded);
    connect(&session.recordTable(), &RecordTable::tableReset, this, [this] {
        // Opened, emptied or restored: the rows are others now, and a pass under way reads
        // a table that is gone.
        if (isVisible()) {
            recompute();
        } else {
            m_sliceTimer.stop();
            m_pass.reset();
            m_stale = true;
        }
    });
}

void StatisticsWindow::showEvent(QShowEvent* event) {
    if (m_stale) {
        recompute();
    } else {
        refresh();
    }
    QWidget::showEvent(event);
}

StatisticsWindow::~StatisticsWindow() = default;

namespace {

// Rows read between two looks at the clock: a few milliseconds' worth.
constexpr qint64 kRowsPerStep = 4096;

}  // namespace

void StatisticsWindow::recompute() {
    m_stale = false;
    m_sliceTimer.stop();
    m_pass.reset();
    m_statistics.clear();
    const RecordTable& table = m_session.recordTable();
    if (table.isOpen()) {
        try {
            m_pass = std::make_unique<TableStatisticsPass>(table.engine());
        } catch (const TableError& e) {
            fail(e.message());
            return;
        }
        readSlice();
        return;
    }
    m_note->clear();
    refresh();
}

void StatisticsWindow::readSlice() {
    if (!m_pass) return;
    QElapsedTimer slice;
    slice.start();
    try {
        while (!m_pass->step(kRowsPerStep)) {
            if (slice.elapsed() >= m_sliceBudgetMs) {
                const qint64 rows = m_session.recordTable().rowCount();
                m_note->setText(QStringLiteral("Reading the table: %1 of %2 rows")
                                    .arg(m_pass->rowsRead())
                                    .arg(std::max(rows, m_pass->rowsRead())));
                m_sliceTimer.start();
                return;
            }
        }
    } catch (const TableError& e) {
        fail(e.message());
        return;
    }
    m_statistics = m_pass->statistics();
    m_pass.reset();
    m_note->clear();
    refresh();
}

void StatisticsWindow::fail(const QString& message) {
    m_pass.reset();
    m_statistics.clear();
    m_note->setText(message);
    refresh();
}

void StatisticsWindow::addRecorded(const RecordedReading& recorded) {
    // While hidden the next show reads the table anyway; while it is read, the pass reaches
    // the new row itself.
    if (m_stale || m_pass) return;
    m_statistics.add(SiQuantity::fromReading(recorded.reading), recorded.reading.acDcText, IsoTime::utc(recorded.utcMs));
    if (isVisible()) {
        refresh();
    }
}

void StatisticsWindow::refresh() {
    const std::vector<QStringList> rows = TableStatistics::rows(m_statistics);
    m_grid->setRowCount(int(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (qsizetype c = 0; c < rows[r].size(); ++c) {
            QTableWidgetItem* item = m_grid->item(int(r), int(c));
            if (item == nullptr) {
                item = new QTableWidgetItem;
                m_grid->setItem(int(r), int(c), item);
            }
            item->setText(rows[r][c]);
            // Numbers line up on the right, texts on the left.
            const bool number = c >= 1 && c <= 6;
            item->setTextAlignment((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        }
    }
    if (rows.empty() && m_note->text().isEmpty()) m_note->setText(QStringLiteral("No readings"));
    if (!rows.empty() && m_note->text() == QLatin1String("No readings")) m_note->clear();
    if (m_statistics.unreadable() > 0)
        m_note->setText(QStringLiteral("%1 readings without a readable value or unit").arg(m_statistics.unreadable()));
}

}  // namespace veska
