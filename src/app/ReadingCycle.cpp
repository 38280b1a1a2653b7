#include "ReadingCycle.h"

#include "BarPosition.h"
#include "display/AnalogGauge.h"
#include "display/LcdPanel.h"
#include "display/LimitPanel.h"
#include "display/ReadingBar.h"
#include "records/HistoryChart.h"
#include "records/Recorder.h"
#include "serial/LinkWatchdog.h"

#include <algorithm>

namespace veska {

bool ReadingCycle::LcdDisplayVeska(std::string_view packetText) {
    m_p.watchdog.packetHandled();  // 1. link alive
    m_p.panel.clearMarks();        // 2. panel reset

    // 3. decode with the count the previous packet left in force
    DecodePacket(packetText, m_p.gauge.FullScaleCount(), m_scratch);
    if (!m_scratch.ok) {
        ++m_decodeFailures;
        m_lastError = QString::fromStdString(m_scratch.error);
        return false;
    }
    m_lcd = m_scratch.lcd;
    m_reading = m_scratch.reading;

    m_p.panel.showMarks(m_lcd);                 // 4. marks
    m_p.limits.CheckLimits(m_reading);          // 5. alarm
    m_p.limits.TrackPeaks(m_lcd, m_reading);    // 6. extremes (before the scale changes)
    m_p.panel.showDigits(m_lcd);                // 7. digits
    m_p.bar.setMaximum(m_p.gauge.SelectScale(m_lcd, m_reading));  // 8. scale and gauge
    m_p.recorder.INDataToTable(m_reading);      // 9. recording
    // 10. bar; a position past the end shows a full bar, as the meter's own bar does
    m_p.bar.setValue(std::min(BarPosition(m_lcd, m_p.gauge.BarMax()), m_p.bar.maximum()));
    m_p.chart.AddChartPoint(m_lcd, m_p.gauge.FullScaleCount());  // 11. chart
    return true;
}

}  // namespace veska
