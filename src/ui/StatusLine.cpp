#include "ui/StatusLine.h"

#include "ui/ArialFont.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>

#include <memory>

namespace veska {

namespace {

constexpr int kTickMs = 1000;
// Silence longer than this reads as "no data" rather than a slow meter.
constexpr qint64 kSilentMs = 2000;
// The record limit's "limitless" value (Recorder::kLimitless; the recorder is in the session).
constexpr int kLimitless = 10000000;

QLabel* section(QWidget* parent, int width) {
    auto* label = new QLabel(parent);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setFont(ArialFont::px(11));
    label->setContentsMargins(2, 0, 2, 0);
    if (width > 0) {
        label->setFixedWidth(width);
    } else {
        label->setMinimumWidth(40);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    return label;
}

// Long texts (errors, paths) are shortened in the middle; the tool tip has them whole.
void showIn(QLabel* label, const QString& text) {
    const int room = label->contentsRect().width() - 2 * label->margin() - 4;
    const QString shown = label->fontMetrics().elidedText(text, Qt::ElideMiddle, room > 0 ? room : 1);
    label->setText(shown);
    label->setToolTip(shown == text ? QString() : text);
}

}  // namespace

StatusLine::StatusLine(QWidget* parent)
    : QWidget(parent),
      m_link(section(this, 112)),
      m_activity(section(this, 96)),
      m_rows(section(this, 168)),
      m_error(section(this, 0)),
      m_file(section(this, 0)),
      m_broker(section(this, 0)) {
    setObjectName(QStringLiteral("statusLine"));
    setFixedHeight(kHeight);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(2);
    layout->addWidget(m_link);
    layout->addWidget(m_activity);
    layout->addWidget(m_rows);
    layout->addWidget(m_error, 3);
    layout->addWidget(m_file, 2);
    layout->addWidget(m_broker, 1);
    m_broker->hide();

    auto steady = std::make_shared<QElapsedTimer>();
    steady->start();
    m_clock = [steady] { return steady->elapsed(); };
    m_tickTimer.setInterval(kTickMs);
    connect(&m_tickTimer, &QTimer::timeout, this, &StatusLine::tick);
    m_tickTimer.start();
    refresh();
}

QString StatusLine::linkText() const { return m_linkText.isEmpty() ? QStringLiteral("not connected") : m_linkText; }

QString StatusLine::activityText() const {
    if (m_linkText.isEmpty()) return QString();
    const qint64 now = m_clock();
    const qint64 since = m_lastPacket >= 0 ? m_lastPacket : m_linkSince;
    if (m_lastPacket < 0 || now - m_lastPacket > kSilentMs) {
        return QStringLiteral("no data for %1 s").arg((now - since) / 1000);
    }
    return QStringLiteral("receiving %1/s").arg(m_rate, 0, 'f', 1);
}

QString StatusLine::rowsText() const {
    if (!m_notRecording.isEmpty()) return QStringLiteral("not recording");
    if (m_limitReached) return QStringLiteral("recording stopped: limit reached");
    const QString limit = m_limit >= kLimitless ? QStringLiteral("limitless") : QString::number(m_limit);
    return QStringLiteral("rows %1 / %2").arg(m_recorded).arg(limit);
}

QString StatusLine::errorText() const { return m_notRecording.isEmpty() ? m_errorText : m_notRecording; }

void StatusLine::setNotRecording(const QString& why) {
    if (why == m_notRecording) return;
    m_notRecording = why;
    refresh();
}
QString StatusLine::fileText() const { return m_fileText; }
QString StatusLine::brokerText() const { return m_brokerText; }

QString StatusLine::text() const {
    QStringList parts{linkText()};
    for (const QString& part : {activityText(), rowsText(), errorText(), m_fileText, m_brokerText}) {
        if (!part.isEmpty()) parts << part;
    }
    return parts.join(QStringLiteral("  |  "));
}

void StatusLine::setLink(const QString& link) {
    if (link == m_linkText) return;
    m_linkText = link;
    m_linkSince = m_clock();
    m_lastPacket = -1;
    m_packetsSinceTick = 0;
    m_lastTick = m_linkSince;
    m_rate = 0.0;
    refresh();
}

void StatusLine::notePacket() {
    const bool wasSilent = m_lastPacket < 0 || m_clock() - m_lastPacket > kSilentMs;
    ++m_packetsSinceTick;
    m_lastPacket = m_clock();
    if (wasSilent) refresh();  // "receiving" at once, the rate at the next tick
}

void StatusLine::setRows(int recorded, int limit) {
    if (recorded == m_recorded && limit == m_limit) return;
    // A new limit or an emptied table lets recording go on.
    if (limit != m_limit || recorded < m_recorded) m_limitReached = false;
    m_recorded = recorded;
    m_limit = limit;
    refresh();
}

void StatusLine::setLimitReached(bool reached) {
    m_limitReached = reached;
    refresh();
}

void StatusLine::noteError(const QString& kind, const QString& text, quint64 count) {
    m_errorText = count > 1 ? QStringLiteral("%1 error (%2): %3").arg(kind).arg(count).arg(text)
                            : QStringLiteral("%1 error: %2").arg(kind, text);
    refresh();
}

void StatusLine::clearError() {
    m_errorText.clear();
    refresh();
}

void StatusLine::noteFile(const QString& text) {
    m_fileText = text;
    refresh();
}

void StatusLine::setBrokerState(const QString& state) {
    m_brokerText = state;
    m_broker->setVisible(!state.isEmpty());
    refresh();
}

void StatusLine::tick() {
    const qint64 now = m_clock();
    const qint64 elapsed = now - m_lastTick;
    if (elapsed > 0) m_rate = static_cast<double>(m_packetsSinceTick) * 1000.0 / static_cast<double>(elapsed);
    m_packetsSinceTick = 0;
    m_lastTick = now;
    refresh();
}

void StatusLine::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    refresh();  // the room of each section is known now
}

void StatusLine::refresh() {
    showIn(m_link, linkText());
    showIn(m_activity, activityText());
    showIn(m_rows, rowsText());
    showIn(m_error, errorText());
    showIn(m_file, m_fileText);
    showIn(m_broker, m_brokerText);
}

}  // namespace veska
