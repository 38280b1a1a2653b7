#include "ui/AlarmSound.h"

#include <QApplication>

#include <canberra.h>

#include <cstdint>

namespace veska {

namespace {
// One id for every alarm sound, so a new one replaces a bell still ringing instead of
// piling up several times a second while the alarm lasts.
constexpr std::uint32_t kAlarmSoundId = 1;
}  // namespace

AlarmSound::AlarmSound()
    : m_player([this] { return playBell(); }), m_fallback([] { QApplication::beep(); }) {}

AlarmSound::AlarmSound(EventPlayer player, Fallback fallback)
    : m_player(std::move(player)), m_fallback(std::move(fallback)) {}

AlarmSound::~AlarmSound() {
    if (m_context != nullptr) ca_context_destroy(m_context);
}

void AlarmSound::play() {
    if (m_player && m_player()) return;
    if (m_fallback) m_fallback();
}

bool AlarmSound::playBell() {
    if (m_serverMissing) return false;
    if (m_context == nullptr) {
        if (ca_context_create(&m_context) != CA_SUCCESS) {
            m_context = nullptr;
            m_serverMissing = true;
            return false;
        }
        ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Veska", nullptr);
        if (ca_context_open(m_context) != CA_SUCCESS) {
            ca_context_destroy(m_context);
            m_context = nullptr;
            m_serverMissing = true;
            return false;
        }
    }
    ca_context_cancel(m_context, kAlarmSoundId);
    const int rc = ca_context_play(m_context, kAlarmSoundId, CA_PROP_EVENT_ID, "bell", CA_PROP_EVENT_DESCRIPTION,
                                   "Limit alarm", nullptr);
    if (rc == CA_SUCCESS) return true;
    // No theme sound or no output device: it will not appear during this run, and every
    // further try would only repeat the sound system's complaints on stderr.
    ca_context_destroy(m_context);
    m_context = nullptr;
    m_serverMissing = true;
    return false;
}

}  // namespace veska
