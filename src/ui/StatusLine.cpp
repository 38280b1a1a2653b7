#include "ui/StatusLine.h"

#include "ui/ArialFont.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>

#include <algorithm>
#include <memory>
#include <vector>

namespace veska {

namespace {

constexpr int kTickMs = 1000;
// Silence longer than this reads as "no data" rather than a slow meter.
constexpr qint64 kSilentMs = 2000;
// The record limit's "limitless" value (Recorder::kLimitless; the recorder is in the session).
constexpr int kLimitless = 10000000;
// A shortened section keeps at least this many pixels, an ellipsis and a few letters.
constexpr int kMinimumShortened = 40;

QLabel* section(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setFont(ArialFont::px(11));
    label->setContentsMargins(2, 0, 2, 0);
    return label;
}

// Pixels a section needs around its text: frame, margins and a little air.
int chrome(const QLabel* label) {
    const QMargins m = label->contentsMargins();
    return 2 * label->frameWidth() + m.left() + m.right() + 4;
}

int neededWidth(const QLabel* label, const QString& text) {
    return label->fontMetrics().horizontalAdvance(text) + chrome(label);
}

// A text in a section of the given width: shortened in the middle when it does not fit
// (paths keep their folder's start and the file name), the tool tip then has it whole.
void showIn(QLabel* label, const QString& text, int width, const QString& toolTip) {
    // The whole contents width: the air chrome() adds absorbs the rounding of the advance.
    const QMargins m = label->contentsMargins();
    const int room = std::max(1, width - 2 * label->frameWidth() - m.left() - m.right());
    const QString shown = label->fontMetrics().elidedText(text, Qt::ElideMiddle, room);
    label->setText(shown);
    label->setToolTip(shown != text || toolTip != text ? toolTip : QString());
}

}  // namespace

StatusLine::StatusLine(QWidget* parent)
    : QWidget(parent),
      m_link(section(this)),
      m_activity(section(this)),
      m_rows(section(this)),
      m_error(section(this)),
      m_file(section(this)),
      m_broker(section(this)) {
    setObjectName(QStringLiteral("statusLine"));
    setFixedHeight(kHeight);

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

QString StatusLine::brokerWords(const QString& state) {
    // "MQTT: connected to mqtt://host:1883 (3 rows queued, 0 dropped)" -> "MQTT connected":
    // the state without the broker's address and the counts, which the tool tip keeps.
    static const QString prefix = QStringLiteral("MQTT: ");
    if (!state.startsWith(prefix)) return state;
    QString words = state.mid(prefix.size());
    for (const QString& end : {QStringLiteral(" to "), QStringLiteral(","), QStringLiteral(" ("), QStringLiteral(":")}) {
        const qsizetype at = words.indexOf(end);
        if (at > 0) words.truncate(at);
    }
    return QStringLiteral("MQTT ") + words;
}

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
    struct Section {
        QLabel* label;
        QString text;
        QString toolTip;
        bool shortens;  // errors and paths give way first; the state sections stay whole
    };
    const QString broker = brokerWords(m_brokerText);
    std::vector<Section> sections{{m_link, linkText(), linkText(), false},
                                  {m_activity, activityText(), activityText(), false},
                                  {m_rows, rowsText(), rowsText(), false},
                                  {m_error, errorText(), errorText(), true},
                                  {m_file, m_fileText, m_fileText, true},
                                  {m_broker, broker, m_brokerText, false}};
    // Empty sections take no room (the link always shows).
    std::erase_if(sections, [this](const Section& s) {
        const bool shown = s.label == m_link || !s.text.isEmpty();
        s.label->setVisible(shown);
        return !shown;
    });
    // Each section the room its text needs; when they do not all fit, the ones that may
    // shorten share what the others leave, in proportion to their needs.
    constexpr int kMargin = 1;
    constexpr int kSpacing = 2;
    const int room = width() - 2 * kMargin - kSpacing * int(sections.size() - 1);
    std::vector<int> widths;
    int whole = 0;
    int shortening = 0;
    for (const Section& s : sections) {
        widths.push_back(neededWidth(s.label, s.text));
        (s.shortens ? shortening : whole) += widths.back();
    }
    if (whole + shortening > room && shortening > 0) {
        const int left = std::max(0, room - whole);
        for (std::size_t i = 0; i < sections.size(); ++i) {
            if (sections[i].shortens) widths[i] = std::max(kMinimumShortened, int(qint64(widths[i]) * left / shortening));
        }
    }
    // What is left over widens the last section, so the line reads as one bar.
    int used = 0;
    for (const int w : widths) used += w;
    if (used < room) widths.back() += room - used;
    int x = kMargin;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        sections[i].label->setGeometry(x, kMargin, widths[i], height() - 2 * kMargin);
        showIn(sections[i].label, sections[i].text, widths[i], sections[i].toolTip);
        x += widths[i] + kSpacing;
    }
}

}  // namespace veska
