#pragma once

#include "protocol/PacketDecoder.h"

#include <QString>

#include <cstdint>
#include <string_view>

namespace veska {

class AnalogGauge;
class HistoryChart;
class LcdPanel;
class LimitPanel;
class LinkWatchdog;
class ReadingBar;
class Recorder;

// LcdDisplayVeska: carries one accepted packet to every display and to recording, in a
// fixed order that the later steps rely on. A packet that fails to decode stops the cycle
// after the panel's marks are hidden; everything else keeps the previous packet's state.
class ReadingCycle {
public:
    struct Parts {
        LinkWatchdog& watchdog;
        LcdPanel& panel;
        LimitPanel& limits;
        AnalogGauge& gauge;
        Recorder& recorder;
        ReadingBar& bar;
        HistoryChart& chart;
    };

    explicit ReadingCycle(const Parts& parts) : m_p(parts) {}

    // One run of the cycle. Returns false when the packet did not decode; the failure is
    // counted and its message kept (lastError), never shown in a box.
    bool LcdDisplayVeska(std::string_view packetText);

    const LcdState& lcd() const { return m_lcd; }
    const MeterReading& reading() const { return m_reading; }
    std::uint64_t decodeFailures() const { return m_decodeFailures; }
    const QString& lastError() const { return m_lastError; }

private:
    Parts m_p;
    DecodeResult m_scratch;
    LcdState m_lcd;
    MeterReading m_reading;
    std::uint64_t m_decodeFailures = 0;
    QString m_lastError;
};

}  // namespace veska
