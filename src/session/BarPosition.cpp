#include "session/BarPosition.h"

namespace veska {

namespace {
int digitValue(const std::string& d) { return d.size() == 1 && d[0] >= '0' && d[0] <= '9' ? d[0] - '0' : 0; }
}  // namespace

int barPosition(const LcdState& lcd, int barMax) {
    if (lcd.overload) return barMax;
    const int n = digitValue(lcd.digit1) * 10 + digitValue(lcd.digit2);
    return n >= 2 ? n : 1;
}

}  // namespace veska
