#pragma once

#include <QString>

namespace veska {

struct LcdState;
struct MeterReading;
struct ScaleSet;

// The running maximum and minimum since the unit or the decimal point last changed, with
// the display texts of the readings that set them.
class RunningExtremes {
public:
    // Start-up: the extremes one count beyond full scale on the far side, and a unit text
    // no reading has, so the first reading restarts them.
    void seedFromScale(const ScaleSet& scale);

    // One reading. Returns true when the unit or the decimal point moved: the extremes
    // restarted (from the scale in force before this reading) instead of taking it.
    bool track(const LcdState& lcd, const MeterReading& reading, int fullScaleCountInForce);

    float maximum() const { return m_max; }
    float minimum() const { return m_min; }
    const QString& maximumText() const { return m_maxText; }
    const QString& minimumText() const { return m_minText; }
    const QString& lastUnitText() const { return m_lastUnitText; }
    int lastPointIndex() const { return m_lastPointIndex; }

private:
    float m_max = 0.0F;
    float m_min = 0.0F;
    QString m_maxText;
    QString m_minText;
    QString m_lastUnitText = QStringLiteral("113");
    int m_lastPointIndex = 0;
};

}  // namespace veska
