#pragma once

#include <QString>

namespace veska {

struct LcdState;
struct MeterReading;
struct ScaleSet;

// The running maximum and minimum since the unit, the decimal point or the scale last
// changed, with the display texts of the readings that set them.
class RunningExtremes {
public:
    // Start-up: the extremes one count beyond full scale on the far side, and a unit text
    // no reading has, so the first reading restarts them.
    void seedFromScale(const ScaleSet& scale);

    // One reading. Returns true when the unit, the decimal point or the scale in force
    // moved: the extremes (values and texts) restart from this reading, so they never pair a
    // value with a unit or range it was not measured in.
    bool track(const LcdState& lcd, const MeterReading& reading, bool scaleChanged);

    float maximum() const { return m_max; }
    float minimum() const { return m_min; }
    const QString& maximumText() const { return m_maxReadout; }
    const QString& minimumText() const { return m_minReadout; }
    const QString& lastUnitText() const { return m_lastUnitText; }
    int lastPointIndex() const { return m_lastPointIndex; }

private:
    float m_max = 0.0F;
    float m_min = 0.0F;
    QString m_maxReadout;
    QString m_minReadout;
    QString m_lastUnitText = QStringLiteral("113");
    int m_lastPointIndex = 0;
};

}  // namespace veska
