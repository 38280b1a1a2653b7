#pragma once

#include <functional>

struct ca_context;

namespace veska {

// The limit alarm's sound: the desktop's "bell" event from the freedesktop sound theme,
// played through the sound server. Where no sound server answers, the toolkit's beep.
// The sound server is contacted only at the first alarm.
class AlarmSound {
public:
    // The event player returns false when the event could not be played; the fallback
    // sounds instead. Both default to the real ones.
    using EventPlayer = std::function<bool()>;
    using Fallback = std::function<void()>;

    AlarmSound();
    AlarmSound(EventPlayer player, Fallback fallback);
    ~AlarmSound();
    AlarmSound(const AlarmSound&) = delete;
    AlarmSound& operator=(const AlarmSound&) = delete;

    void play();

private:
    bool playBell();

    EventPlayer m_player;
    Fallback m_fallback;
    ca_context* m_context = nullptr;
    bool m_serverMissing = false;  // no sound server or sound: the fallback from now on
};

}  // namespace veska
