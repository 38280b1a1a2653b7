#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

namespace veska {

// The link watchdog of both links (a 100 ms tick): at the third tick without a decoded
// packet the indicator turns to not-connected; every decoded packet turns it back and
// restarts the count.
class LinkWatchdog : public QObject {
    Q_OBJECT
public:
    static constexpr int kPeriodMs = 100;

    explicit LinkWatchdog(QObject* parent = nullptr);

    // One watchdog tick; the owner runs it every kPeriodMs.
    void onWatchdogTick();

    // The first step of the reading update cycle: the link is alive.
    void packetHandled();

    // The link is gone now (a serial port lost): not-connected at once, count restarted.
    void linkDown();

    // Runs at each silent third tick before the indicator turns: the USB side's check of
    // its empty-report count goes here.
    void setSilentLinkHook(std::function<void()> hook) { m_silentLinkHook = std::move(hook); }

    std::int32_t linkIdleTicks() const { return m_linkIdleTicks; }
    // True: the link-alive picture shown, the link-down one hidden. False (the start state): the reverse.
    bool linkAlive() const { return m_linkAlive; }

signals:
    void linkIndicatorChanged(bool alive);

private:
    void setLinkAlive(bool alive);

    std::function<void()> m_silentLinkHook;
    std::int32_t m_linkIdleTicks = 0;
    bool m_linkAlive = false;
};

}  // namespace veska
