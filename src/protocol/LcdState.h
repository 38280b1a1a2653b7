#pragma once

#include <string>

namespace veska {

// What the meter's display shows for one packet. Digit texts hold one character or
// nothing; "@" is the seven-segment L of the overload display.
struct LcdState {
    std::string digit1;
    std::string digit2;
    std::string digit3;
    std::string digit4;
    bool negative = false;
    int pointIndex = 0;  // 0 = none, 1..3 = the point follows digit 1..3
    bool overload = false;

    // Annunciators, one per status bit the meter sets.
    bool autoRange = false;
    bool dc = false;
    bool ac = false;
    bool rel = false;
    bool hold = false;
    bool maxMark = false;
    bool minMark = false;
    bool battery = false;
    bool nano = false;
    bool micro = false;
    bool milli = false;
    bool kilo = false;
    bool mega = false;
    bool beep = false;
    bool diode = false;
    bool percent = false;
    bool volt = false;
    bool ampere = false;
    bool ohm = false;
    bool hertz = false;
    bool farad = false;
    bool celsius = false;
    bool fahrenheit = false;

    bool operator==(const LcdState&) const = default;
};

}  // namespace veska
