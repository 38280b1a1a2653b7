#pragma once

#include "protocol/LcdState.h"
#include "protocol/MeterReading.h"
#include "protocol/ScaleSet.h"

namespace veska {

// Everything one decoded packet changed, as the session hands it to whoever shows it.
struct ReadingUpdate {
    LcdState lcd;
    MeterReading reading;
    bool alarm = false;               // a switched-on limit is exceeded
    bool extremesRestarted = false;   // unit or point moved: extremes and chart restarted
    const ScaleSet* scale = nullptr;  // the scale in force after this reading
    int needlePosition = 0;           // 0 = left end, 10 * gaugeSpan = right end
    int barMaximum = 0;
    int barValue = 0;
    bool chartPointAdded = false;
};

}  // namespace veska
