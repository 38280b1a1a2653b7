#include "ui/AlarmSound.h"

#include <gtest/gtest.h>

using namespace veska;

// The desktop's event sound when the sound server plays it; the toolkit's beep otherwise,
// every time, so an alarm is never silent for want of a server.
TEST(AlarmSound, FallsBackToTheBeepWhenTheEventCannotPlay) {
    struct Case {
        bool eventPlays;
        int events;
        int beeps;
    };
    for (const Case c : {Case{true, 3, 0}, Case{false, 3, 3}}) {
        int events = 0;
        int beeps = 0;
        AlarmSound sound([&] { ++events; return c.eventPlays; }, [&] { ++beeps; });
        for (int i = 0; i < 3; ++i) sound.play();
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(beeps, c.beeps);
    }
}
