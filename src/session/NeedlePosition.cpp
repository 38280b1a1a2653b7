#include "session/NeedlePosition.h"

#include <charconv>
#include <string>

namespace veska {

int needlePosition(const LcdState& lcd, int gaugeOffset, int gaugeSpan, bool fourDigits) {
    if (lcd.overload) return lcd.negative ? 0 : 10 * gaugeSpan;
    std::string text = lcd.digit1 + lcd.digit2 + lcd.digit3;
    if (fourDigits) text += lcd.digit4;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return gaugeOffset;
    return (lcd.negative ? -value : value) + gaugeOffset;
}

}  // namespace veska
