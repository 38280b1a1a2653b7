#pragma once

#include <QList>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;

namespace veska {

// The line below the window's layout: what the link and the recording are doing, the last
// error that must not interrupt the user, and what the last file command did. Each section
// is as wide as its text; errors and paths shorten in the middle when the line is full, with
// the whole text in the tool tip. The window
// feeds it; it only keeps the texts and, once a second, turns the packets it was told about
// into "receiving N/s" or "no data for N s".
class StatusLine : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 20;

    explicit StatusLine(QWidget* parent = nullptr);

    // Milliseconds of a steady clock (tests step their own).
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

    // What each section shows now, for tests and tool tips.
    QString linkText() const;
    QString activityText() const;
    QString rowsText() const;
    QString errorText() const;
    QString fileText() const;
    QString brokerText() const;
    // Every section in order, separated by "  |  ".
    QString text() const;
    // The broker state in a few words for its section ("MQTT connected"); the whole state
    // goes to the section's tool tip.
    static QString brokerWords(const QString& state);
    // The sections in order, for tests that measure them.
    QList<QLabel*> sections() const { return {m_link, m_activity, m_rows, m_error, m_file, m_broker}; }

public slots:
    // The link in use and its device ("COM1 /dev/ttyUSB0", "USB 1a86:e008"); empty: none.
    void setLink(const QString& link);
    // One packet decoded on the link.
    void notePacket();
    // Rows recorded in this run against the record limit (Recorder::kLimitless: none).
    void setRows(int recorded, int limit);
    // The limit turned readings away.
    void setLimitReached(bool reached);
    // The last error of a kind ("decode", "link", "recording") with how often it happened.
    void noteError(const QString& kind, const QString& text, quint64 count);
    void clearError();
    // Rows cannot be recorded at all (another copy holds the table): shown in place of the
    // row count and the last error until it is cleared with an empty text.
    void setNotRecording(const QString& why);
    // What the last file command did: "saved run1.txt", "opened RUN1.DB", ...
    void noteFile(const QString& text);
    // The broker connection's state in a few words ("MQTT connected"); empty hides it.
    void setBrokerState(const QString& state);
    // Turns the packets since the last tick into the activity text (every second by itself).
    void tick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();

    std::function<qint64()> m_clock;
    QTimer m_tickTimer;
    QLabel* m_link;
    QLabel* m_activity;
    QLabel* m_rows;
    QLabel* m_error;
    QLabel* m_file;
    QLabel* m_broker;

    QString m_linkText;
    int m_packetsSinceTick = 0;
    qint64 m_lastTick = 0;
    qint64 m_lastPacket = -1;  // none yet on this link
    qint64 m_linkSince = 0;
    double m_rate = 0.0;
    int m_recorded = 0;
    int m_limit = 0;
    bool m_limitReached = false;
    QString m_errorText;
    QString m_notRecording;
    QString m_fileText;
    QString m_brokerText;
};

}  // namespace veska
