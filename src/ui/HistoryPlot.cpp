#include "ui/HistoryPlot.h"

#include "history/HistoryModel.h"
#include "session/HistoryDocument.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace veska {

namespace {

constexpr std::int64_t kShortestSpanMs = 10;
constexpr int kClickSlack = 3;

}  // namespace

HistoryPlot::HistoryPlot(HistoryDocument& document, QWidget* parent) : QWidget(parent), m_document(document) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setMinimumSize(420, 260);
    connect(&document, &HistoryDocument::modelChanged, this, &HistoryPlot::documentReset);
    connect(&document, &HistoryDocument::rowsAdded, this, &HistoryPlot::followNewRows);
    connect(&document, &HistoryDocument::rowsChanged, this, [this] {
        update();
        emit viewChanged();  // the statistics and readouts are exact now
    });
    connect(&document, &HistoryDocument::progressChanged, this, [this] { update(); });
}

const HistoryModel* HistoryPlot::model() const { return m_document.model(); }

QRect HistoryPlot::pictureArea() const { return rect().adjusted(0, 0, 0, -kOverviewHeight); }

QRect HistoryPlot::overviewArea() const {
    const QRect plot = HistoryPicture::plotArea(pictureArea());
    return QRect(plot.left(), height() - kOverviewHeight + 10, plot.width(), kOverviewHeight - 16);
}

void HistoryPlot::documentReset() {
    if (model() && !model()->empty() && (m_following || !m_view.contains(model()->lastMs()))) {
        m_view = model()->wholeRun();
        m_following = true;
    }
    update();
    emit viewChanged();
}

void HistoryPlot::followNewRows() {
    const HistoryModel* m = model();
    if (!m || m->empty()) return;
    if (m_following && m->lastMs() >= m_view.toMs) {
        // Keep the span, the newest row near the right edge.
        const std::int64_t span = m_view.span();
        const HistoryView whole = m->wholeRun();
        if (whole.span() <= span || m_view.fromMs <= whole.fromMs) {
            m_view = HistoryView{std::min(m_view.fromMs, whole.fromMs), std::max(whole.toMs, m_view.fromMs + span)};
        } else {
            m_view = HistoryView{m->lastMs() + span / 50 - span, m->lastMs() + span / 50};
        }
        emit viewChanged();
    }
    update();  // coalesced by the event loop: one paint for many rows
}

void HistoryPlot::setView(const HistoryView& view) {
    HistoryView v = view;
    if (v.span() < kShortestSpanMs) {
        const std::int64_t middle = v.fromMs + v.span() / 2;
        v = HistoryView{middle - kShortestSpanMs / 2, middle + kShortestSpanMs / 2};
    }
    m_view = v;
    const HistoryModel* m = model();
    m_following = m && !m->empty() && m_view.toMs > m->lastMs();
    update();
    emit viewChanged();
}

void HistoryPlot::showWholeRun() {
    if (!model() || model()->empty()) return;
    m_fixedValues.clear();
    setView(model()->wholeRun());
}

void HistoryPlot::showNewest() {
    if (!model() || model()->empty()) return;
    const std::int64_t span = m_view.span();
    setView(HistoryView{model()->lastMs() + span / 50 - span, model()->lastMs() + span / 50});
}

void HistoryPlot::zoomTime(double factor, std::optional<std::int64_t> around) {
    const std::int64_t at = around.value_or(m_view.fromMs + m_view.span() / 2);
    const double from = double(at) - double(at - m_view.fromMs) * factor;
    const double to = double(at) + double(m_view.toMs - at) * factor;
    setView(HistoryView{std::int64_t(std::floor(from)), std::int64_t(std::ceil(to))});
}

void HistoryPlot::pan(double fraction) {
    const std::int64_t shift = std::int64_t(double(m_view.span()) * fraction);
    setView(HistoryView{m_view.fromMs + shift, m_view.toMs + shift});
}

void HistoryPlot::setCursor(int which, std::optional<std::int64_t> ms) {
    (which == 0 ? m_cursorA : m_cursorB) = ms;
    update();
    emit cursorsChanged();
}

void HistoryPlot::clearFixedValues() {
    m_fixedValues.clear();
    update();
}

HistoryPicture::Options HistoryPlot::options() const {
    HistoryPicture::Options o;
    o.paneValues = m_fixedValues;
    o.cursorA = m_cursorA;
    o.cursorB = m_cursorB;
    if (m_document.loading()) {
        o.note = QStringLiteral("Reading %1: %2 %").arg(m_document.sourceFile()).arg(m_document.progressPercent());
    } else if (const HistoryModel* m = model()) {
        o.note = QStringLiteral("%1   %2 readings%3")
                     .arg(m_document.followsRecordTable() ? QStringLiteral("Record table") : m_document.sourceFile())
                     .arg(m->readings())
                     .arg(m_following && m_document.followsRecordTable() ? QStringLiteral("   following the newest") : QString());
    }
    return o;
}

const HistoryEnvelope& HistoryPlot::envelope() {
    const HistoryModel* m = model();
    const int width = HistoryPicture::plotArea(pictureArea()).width();
    if (!m) {
        m_envelope = HistoryEnvelope{};
        m_panes.clear();
        return m_envelope;
    }
    if (m_envelopeRevision != m_document.revision() || m_envelopeView.fromMs != m_view.fromMs ||
        m_envelopeView.toMs != m_view.toMs || m_envelope.width != width) {
        m_envelope = m->envelope(m_view, std::max(width, 1), m_document.rows());
        m_panes = HistoryPicture::panes(*m, m_envelope, pictureArea(), options());
        m_envelopeRevision = m_document.revision();
        m_envelopeView = m_view;
    }
    return m_envelope;
}

void HistoryPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const HistoryModel* m = model();
    if (!m) {
        painter.drawText(rect(), Qt::AlignCenter,
                         m_document.loading() ? QStringLiteral("Reading %1 ...").arg(m_document.sourceFile())
                                              : QStringLiteral("No run to show: open a record file"));
        return;
    }
    const HistoryEnvelope& e = envelope();
    HistoryPicture::paint(painter, pictureArea(), *m, e, options());
    const QRect strip = overviewArea();
    if (m_overviewRevision != m_document.revision() || m_overview.width != strip.width()) {
        m_overview = m->envelope(m->wholeRun(), std::max(strip.width(), 1));
        m_overviewRevision = m_document.revision();
    }
    HistoryPicture::paintOverview(painter, strip, *m, m_overview, m_view);
    if (m_drag == Drag::Box) {
        painter.setPen(QPen(QColor(31, 90, 180), 1, Qt::DashLine));
        painter.setBrush(QColor(31, 90, 180, 30));
        painter.drawRect(QRect(m_pressAt, m_dragAt).normalized());
    }
    // Rows that refine this picture are read after it is on the screen.
    std::vector<std::int64_t> cursors;
    if (m_cursorA) cursors.push_back(*m_cursorA);
    if (m_cursorB) cursors.push_back(*m_cursorB);
    m_document.refine(m_view, e.width, cursors);
}

std::int64_t HistoryPlot::momentAt(double x) const {
    const QRect plot = HistoryPicture::plotArea(pictureArea());
    return m_view.fromMs + std::int64_t((x - plot.left()) * double(m_view.span()) / std::max(1, plot.width()));
}

const HistoryPicture::Pane* HistoryPlot::paneAt(const QPoint& point) {
    envelope();
    for (const HistoryPicture::Pane& pane : m_panes)
        if (pane.rect.adjusted(-HistoryPicture::plotArea(pictureArea()).left(), 0, 0, 0).contains(point)) return &pane;
    return nullptr;
}

void HistoryPlot::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0 || !model()) return;
    const double factor = std::pow(0.8, notches);
    if (event->modifiers() & Qt::ControlModifier) {
        if (const HistoryPicture::Pane* pane = paneAt(event->position().toPoint())) {
            const double at = pane->valueAt(event->position().y());
            m_fixedValues[pane->baseUnit] = {at - (at - pane->low) * factor, at + (pane->high - at) * factor};
            update();
        }
    } else {
        zoomTime(factor, momentAt(event->position().x()));
    }
    event->accept();
}

void HistoryPlot::centreOn(double overviewX) {
    const HistoryModel* m = model();
    if (!m) return;
    const QRect strip = overviewArea();
    const HistoryView whole = m->wholeRun();
    const std::int64_t at = whole.fromMs + std::int64_t((overviewX - strip.left()) * double(whole.span()) / std::max(1, strip.width()));
    const std::int64_t span = m_view.span();
    setView(HistoryView{at - span / 2, at - span / 2 + span});
}

void HistoryPlot::mousePressEvent(QMouseEvent* event) {
    m_pressAt = m_dragAt = event->position().toPoint();
    m_pressView = m_view;
    m_moved = false;
    if (overviewArea().adjusted(0, -6, 0, 6).contains(m_pressAt)) {
        m_drag = Drag::Overview;
        centreOn(m_pressAt.x());
    } else if (event->button() == Qt::RightButton) {
        m_drag = Drag::Box;
    } else if (event->button() == Qt::LeftButton) {
        m_drag = Drag::Pan;
    }
}

void HistoryPlot::mouseMoveEvent(QMouseEvent* event) {
    m_dragAt = event->position().toPoint();
    if ((m_dragAt - m_pressAt).manhattanLength() > kClickSlack) m_moved = true;
    if (m_drag == Drag::Overview) {
        centreOn(m_dragAt.x());
    } else if (m_drag == Drag::Pan && m_moved) {
        const QRect plot = HistoryPicture::plotArea(pictureArea());
        const std::int64_t shift = std::int64_t(double(m_pressAt.x() - m_dragAt.x()) * double(m_pressView.span()) /
                                                std::max(1, plot.width()));
        setView(HistoryView{m_pressView.fromMs + shift, m_pressView.toMs + shift});
    } else if (m_drag == Drag::Box) {
        update();
    }
}

void HistoryPlot::mouseReleaseEvent(QMouseEvent* event) {
    const Drag drag = m_drag;
    m_drag = Drag::None;
    if (drag == Drag::Box && m_moved) {
        const QRect box = QRect(m_pressAt, event->position().toPoint()).normalized();
        if (const HistoryPicture::Pane* pane = paneAt(m_pressAt); pane && box.height() > kClickSlack)
            m_fixedValues[pane->baseUnit] = {pane->valueAt(box.bottom()), pane->valueAt(box.top())};
        setView(HistoryView{momentAt(box.left()), momentAt(box.right())});
    } else if (drag == Drag::Pan && !m_moved && model()) {
        setCursor(event->modifiers() & Qt::ShiftModifier ? 1 : 0, momentAt(m_pressAt.x()));
    }
    update();
}

void HistoryPlot::mouseDoubleClickEvent(QMouseEvent*) { showWholeRun(); }

void HistoryPlot::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomTime(0.5);
        break;
    case Qt::Key_Minus:
        zoomTime(2.0);
        break;
    case Qt::Key_Left:
        pan(-0.2);
        break;
    case Qt::Key_Right:
        pan(0.2);
        break;
    case Qt::Key_Home:
        showWholeRun();
        break;
    case Qt::Key_End:
        showNewest();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

QString HistoryPlot::exportPicture(const QString& fileName, const QSize& size) {
    const HistoryModel* m = model();
    if (!m) return QStringLiteral("There is no run to export");
    const int width = HistoryPicture::plotArea(QRect(QPoint(0, 0), size)).width();
    HistoryPicture::Options o = options();
    o.note = m_document.followsRecordTable() ? QStringLiteral("Record table %1").arg(m_document.sourceFile()) : m_document.sourceFile();
    // Rows already read refine the export too where they cover it.
    return HistoryPicture::save(fileName, size, *m, m->envelope(m_view, width, m_document.rows()), o,
                                m_document.sourceFile());
}

}  // namespace veska
