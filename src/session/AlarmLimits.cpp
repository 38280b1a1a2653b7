#include "session/AlarmLimits.h"

#include "protocol/ScaleSet.h"

namespace veska {

void AlarmLimits::seedFromScale(const ScaleSet& scale) {
    m_upper = scale.upperLimitSeed();
    m_lower = scale.lowerLimitSeed();
}

}  // namespace veska
