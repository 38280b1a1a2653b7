#pragma once

#include "protocol/LcdState.h"

#include <QString>

#include <cstdlib>
#include <string>

namespace veska {

// The display of a whole number as the meter shows it: four digits and a sign.
inline LcdState DisplayOf(int value) {
    LcdState lcd;
    lcd.negative = value < 0;
    const std::string digits = QString::asprintf("%04d", std::abs(value)).toStdString();
    lcd.digit1 = digits.substr(0, 1);
    lcd.digit2 = digits.substr(1, 1);
    lcd.digit3 = digits.substr(2, 1);
    lcd.digit4 = digits.substr(3, 1);
    return lcd;
}

}  // namespace veska
