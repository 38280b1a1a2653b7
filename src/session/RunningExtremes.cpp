#include "session/RunningExtremes.h"

#include "protocol/LcdState.h"
#include "protocol/MeterReading.h"
#include "protocol/ScaleSet.h"

namespace veska {

void RunningExtremes::seedFromScale(const ScaleSet& scale) {
    m_max = scale.runningMaxSeed();
    m_min = scale.runningMinSeed();
    m_lastUnitText = QStringLiteral("113");
}

bool RunningExtremes::track(const LcdState& lcd, const MeterReading& reading, bool scaleChanged) {
    const QString unit = QString::fromStdString(reading.unitText);
    bool restarted = false;
    if (scaleChanged || unit != m_lastUnitText || lcd.pointIndex != m_lastPointIndex) {
        restarted = true;
        m_lastUnitText = unit;
        m_max = m_min = reading.numericValue;
        m_maxReadout = m_minReadout = QString::fromStdString(reading.valueText);
    } else {
        // Ties take the newer text: the readout shows the latest reading at the extreme.
        if (reading.numericValue >= m_max) {
            m_maxReadout = QString::fromStdString(reading.valueText);
            m_max = reading.numericValue;
        }
        if (reading.numericValue <= m_min) {
            m_minReadout = QString::fromStdString(reading.valueText);
            m_min = reading.numericValue;
        }
    }
    m_lastPointIndex = lcd.pointIndex;
    return restarted;
}

}  // namespace veska
