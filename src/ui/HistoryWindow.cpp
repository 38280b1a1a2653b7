#include "ui/HistoryWindow.h"

#include "history/HistoryModel.h"
#include "history/HistoryTicks.h"
#include "session/HistoryDocument.h"
#include "session/MeterSession.h"
#include "storage/RecordTable.h"
#include "ui/DataFileDialogs.h"
#include "ui/HistoryPlot.h"
#include "ui/UserDialogs.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace veska {

namespace {

QString text(const std::string& utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

constexpr int kRefreshMs = 150;

}  // namespace

bool HistoryWindow::readValue(const HistoryModel& model, int series, std::int64_t ms, HistoryModel::ValueAt& out) const {
    const auto found = model.valueAt(series, ms, m_document->rows());
    if (found) out = *found;
    return found.has_value();
}

namespace {

}  // namespace

QStringList HistoryWindow::statisticsHeader() {
    return {QStringLiteral("Series"),   QStringLiteral("Count"), QStringLiteral("Min"),  QStringLiteral("Max"),
            QStringLiteral("Mean"),     QStringLiteral("Std dev"), QStringLiteral("Overloads"),
            QStringLiteral("At A"),     QStringLiteral("At B"),  QStringLiteral("Δ (B − A)"), QStringLiteral("Slope")};
}

HistoryWindow::HistoryWindow(MeterSession& session, UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_session(session),
      m_dialogs(dialogs),
      m_document(new HistoryDocument(this)),
      m_plot(new HistoryPlot(*m_document, this)),
      m_readout(new QLabel(this)),
      m_statistics(new QTableWidget(this)) {
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("History"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 4);
    auto* bar = new QMenuBar(this);
    buildMenus(bar);
    layout->setMenuBar(bar);
    layout->addWidget(m_plot, 1);
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_readout);
    m_statistics->setColumnCount(int(statisticsHeader().size()));
    m_statistics->setHorizontalHeaderLabels(statisticsHeader());
    m_statistics->verticalHeader()->hide();
    m_statistics->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_statistics->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_statistics->setMaximumHeight(130);
    layout->addWidget(m_statistics);
    resize(1000, 680);

    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &HistoryWindow::refresh);
    connect(m_plot, &HistoryPlot::viewChanged, this, &HistoryWindow::scheduleRefresh);
    connect(m_plot, &HistoryPlot::cursorsChanged, this, &HistoryWindow::scheduleRefresh);
    connect(m_document, &HistoryDocument::failed, this, [this](const QString& message) { m_dialogs.error(message); },
            Qt::QueuedConnection);
    connect(&session, &MeterSession::readingRecorded, m_document, &HistoryDocument::addRecorded);
    followRecordTable();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::buildMenus(QMenuBar* bar) {
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    QAction* open = file->addAction(QStringLiteral("&Open..."), this, &HistoryWindow::chooseFile);
    open->setShortcut(QKeySequence::Open);
    file->addAction(QStringLiteral("&Record table"), this, &HistoryWindow::followRecordTable);
    QAction* save = file->addAction(QStringLiteral("&Export picture..."), this, &HistoryWindow::exportPicture);
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    file->addSeparator();
    QAction* close = file->addAction(QStringLiteral("&Close"), this, &QWidget::close);
    close->setShortcut(QKeySequence::Close);

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    view->addAction(QStringLiteral("&Whole run\tHome"), m_plot, &HistoryPlot::showWholeRun);
    view->addAction(QStringLiteral("&Newest\tEnd"), m_plot, &HistoryPlot::showNewest);
    view->addAction(QStringLiteral("Zoom &in\t+"), this, [this] { m_plot->zoomTime(0.5); });
    view->addAction(QStringLiteral("Zoom &out\t-"), this, [this] { m_plot->zoomTime(2.0); });
    view->addAction(QStringLiteral("&Values fitted to the view"), m_plot, &HistoryPlot::clearFixedValues);
    view->addAction(QStringLiteral("&Clear cursors"), this, [this] {
        m_plot->setCursor(0, std::nullopt);
        m_plot->setCursor(1, std::nullopt);
    });
}

void HistoryWindow::followRecordTable() {
    m_document->followRecordTable(m_session.recordTable());
    setWindowTitle(QStringLiteral("History - record table"));
}

void HistoryWindow::openFile(const QString& path) {
    m_document->openFile(path);
    setWindowTitle(QStringLiteral("History - %1").arg(path));
}

void HistoryWindow::chooseFile() {
    FileDialogSpec spec = DataFileDialogs::openDialog();
    spec.caption = QStringLiteral("Open record file");
    const QString path = m_dialogs.chooseFile(spec);
    if (!path.isEmpty()) openFile(path);
}

void HistoryWindow::exportPicture() {
    FileDialogSpec spec;
    spec.mode = FileDialogSpec::Mode::Save;
    spec.caption = QStringLiteral("Export picture");
    spec.filters = {QStringLiteral("PNG picture (*.png)"), QStringLiteral("SVG drawing (*.svg)"),
                    QStringLiteral("PDF document (*.pdf)")};
    spec.defaultSuffix = QStringLiteral("png");
    spec.confirmOverwrite = true;
    const QString path = m_dialogs.chooseFile(spec);
    if (path.isEmpty()) return;
    const QString failure = m_plot->exportPicture(path, m_plot->pictureArea().size().expandedTo(QSize(640, 400)));
    if (!failure.isEmpty()) m_dialogs.error(failure);
}

void HistoryWindow::scheduleRefresh() {
    if (!m_refreshTimer.isActive()) m_refreshTimer.start();
}

void HistoryWindow::refresh() {
    const HistoryModel* model = m_document->model();
    const HistoryView view = m_plot->view();
    const auto a = m_plot->cursor(0), b = m_plot->cursor(1);
    const bool dateKnown = model && model->dateKnown();
    QStringList readout;
    if (a) readout << QStringLiteral("A %1").arg(text(HistoryTicks::formatMoment(*a, dateKnown)));
    if (b) readout << QStringLiteral("B %1").arg(text(HistoryTicks::formatMoment(*b, dateKnown)));
    if (a && b) readout << QStringLiteral("Δt %1").arg(text(HistoryTicks::formatDuration(*b - *a)));
    if (!a && !b) readout << QStringLiteral("Click to set cursor A, Shift+click for cursor B");
    if (model && !dateKnown) readout << QStringLiteral("(times of day: the date is unknown)");
    m_readout->setText(readout.join(QStringLiteral("    ")));

    if (!model) {
        m_statistics->setRowCount(0);
        return;
    }
    bool exact = true;
    const std::vector<HistoryStatistics> stats = model->statistics(view, m_document->rows(), &exact);
    m_statistics->setRowCount(int(model->series().size()));
    for (int s = 0; s < int(model->series().size()); ++s) {
        const HistoryModel::Series& series = model->series()[std::size_t(s)];
        const std::string& unit = series.baseUnit;
        const HistoryStatistics& st = stats[std::size_t(s)];
        const auto value = [&](double v) { return text(HistoryTicks::formatValue(v, unit, 6)); };
        HistoryModel::ValueAt atA, atB;
        const bool hasA = a && readValue(*model, s, *a, atA), hasB = b && readValue(*model, s, *b, atB);
        QStringList cells{text(series.label()), QString::number(st.count)};
        if (st.count > 0) {
            cells << value(st.minimum) << value(st.maximum) << value(st.mean)
                  << (st.count > 1 ? value(st.standardDeviation()) : QString());
        } else {
            cells << QString() << QString() << QString() << QString();
        }
        cells << QString::number(st.overloads);
        const auto at = [&](bool has, const HistoryModel::ValueAt& v) {
            if (!has) return QString();
            return (v.exact ? QString() : QStringLiteral("≈")) + (v.overload ? QStringLiteral("overload") : value(v.value));
        };
        cells << at(hasA, atA) << at(hasB, atB);
        if (hasA && hasB && !atA.overload && !atB.overload) {
            const double delta = atB.value - atA.value;
            cells << value(delta);
            const std::int64_t dt = atB.ms - atA.ms;
            cells << (dt != 0 ? text(HistoryTicks::formatValue(delta * 1000.0 / double(dt), unit + "/s", 4)) : QString());
        } else {
            cells << QString() << QString();
        }
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_statistics->setItem(s, c, item);
        }
    }
    m_statistics->setToolTip(exact ? QString() : QStringLiteral("Reading the rows at the edges of the view..."));
}

}  // namespace veska
