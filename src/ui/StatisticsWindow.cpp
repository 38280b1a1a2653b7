#include "ui/StatisticsWindow.h"

#include "protocol/IsoTime.h"
#include "protocol/SiQuantity.h"
#include "session/MeterSession.h"
#include "storage/RecordTable.h"
#include "storage/TableError.h"
#include "storage/TableStatistics.h"

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

    connect(&session, &MeterSession::readingRecorded, this, &StatisticsWindow::addRecorded);
    connect(&session.recordTable(), &RecordTable::tableReset, this, [this] {
        // Opened, emptied or restored: the rows are others now.
        if (isVisible()) {
            recompute();
        } else {
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

void StatisticsWindow::recompute() {
    m_stale = false;
    m_statistics.clear();
    const RecordTable& table = m_session.recordTable();
    if (table.isOpen()) {
        try {
            m_statistics = TableStatistics::compute(table.engine());
        } catch (const TableError& e) {
            m_statistics.clear();
            m_note->setText(e.message());
            refresh();
            return;
        }
    }
    m_note->clear();
    refresh();
}

void StatisticsWindow::addRecorded(const RecordedReading& recorded) {
    // While hidden the next show reads the table anyway.
    if (m_stale) return;
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
