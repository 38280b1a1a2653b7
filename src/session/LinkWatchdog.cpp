#include "session/LinkWatchdog.h"

namespace veska {

LinkWatchdog::LinkWatchdog(QObject* parent) : QObject(parent) {}

void LinkWatchdog::onWatchdogTick() {
    if (m_linkIdleTicks != 2) {
        ++m_linkIdleTicks;
        return;
    }
    if (m_silentLinkHook) m_silentLinkHook();
    setLinkAlive(false);
    m_linkIdleTicks = 0;
}

void LinkWatchdog::packetHandled() {
    setLinkAlive(true);
    m_linkIdleTicks = 0;
}

void LinkWatchdog::linkDown() {
    setLinkAlive(false);
    m_linkIdleTicks = 0;
}

void LinkWatchdog::setLinkAlive(bool alive) {
    if (m_linkAlive == alive) return;
    m_linkAlive = alive;
    emit linkIndicatorChanged(alive);
}

}  // namespace veska
