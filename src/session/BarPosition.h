#pragma once

#include "protocol/LcdState.h"

namespace veska {

// Position of the bar under the LCD for one reading: BarMax for an overload, otherwise
// the first two digits read as one number (the sign is not part of it), at least 1.
int barPosition(const LcdState& lcd, int barMax);

}  // namespace veska
