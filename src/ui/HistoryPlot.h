#pragma once

#include "history/HistoryEnvelope.h"
#include "ui/HistoryPicture.h"

#include <QWidget>

#include <map>
#include <optional>
#include <string>

namespace veska {

class HistoryDocument;
class HistoryModel;

// The History window's plot: the picture of the document's run in the span in view, with the
// overview of the whole run beneath it. Wheel zooms in time around the pointer (with Ctrl: the
// values of the pane under it), a drag pans, a drag with the right button zooms to the box,
// a double click or Home shows the whole run, End the newest rows; + and - zoom, the arrows
// pan. A click sets cursor A, Shift+click cursor B. A drag on the overview moves the span.
// While the span reaches the newest row, new rows keep it there (following).
class HistoryPlot : public QWidget {
    Q_OBJECT
public:
    static constexpr int kOverviewHeight = 54;

    explicit HistoryPlot(HistoryDocument& document, QWidget* parent = nullptr);

    HistoryView view() const { return m_view; }
    void setView(const HistoryView& view);
    void showWholeRun();
    void showNewest();
    // factor < 1 zooms in; `around` stays where it is (the middle of the view when empty).
    void zoomTime(double factor, std::optional<std::int64_t> around = std::nullopt);
    // Moves the view by a fraction of its span (negative: back in time).
    void pan(double fraction);
    bool following() const { return m_following; }

    std::optional<std::int64_t> cursor(int which) const { return which == 0 ? m_cursorA : m_cursorB; }
    void setCursor(int which, std::optional<std::int64_t> ms);
    // Values fixed by Ctrl+wheel or the box zoom, per base unit; empty: fitted to the view.
    void clearFixedValues();

    // The envelope drawn last (computed again when the view, size or data changed).
    const HistoryEnvelope& envelope();
    QRect pictureArea() const;
    QRect overviewArea() const;
    // The picture as shown, written as PNG, SVG or PDF at `size`. Empty or the message.
    QString exportPicture(const QString& fileName, const QSize& size);

signals:
    void viewChanged();
    void cursorsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    const HistoryModel* model() const;
    HistoryPicture::Options options() const;
    std::int64_t momentAt(double x) const;
    const HistoryPicture::Pane* paneAt(const QPoint& point);
    void followNewRows();
    void documentReset();
    void centreOn(double overviewX);

    HistoryDocument& m_document;
    HistoryView m_view;
    bool m_following = true;
    std::optional<std::int64_t> m_cursorA, m_cursorB;
    std::map<std::string, std::pair<double, double>> m_fixedValues;

    HistoryEnvelope m_envelope;
    std::vector<HistoryPicture::Pane> m_panes;
    quint64 m_envelopeRevision = ~0ULL;
    HistoryView m_envelopeView;
    HistoryEnvelope m_overview;
    quint64 m_overviewRevision = ~0ULL;

    enum class Drag { None, Pan, Box, Overview };
    Drag m_drag = Drag::None;
    QPoint m_pressAt, m_dragAt;
    HistoryView m_pressView;
    bool m_moved = false;
};

}  // namespace veska
