#pragma once

#include "protocol/LcdState.h"

namespace veska {

// Where the gauge's needle points for a reading on a scale: 0 is the left end and
// 10 * gaugeSpan the right end. Overload pins it to the end of its sign; digits that are
// not decimal leave it at zero (the offset).
int needlePosition(const LcdState& lcd, int gaugeOffset, int gaugeSpan, bool fourDigits);

}  // namespace veska
