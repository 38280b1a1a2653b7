#pragma once

namespace veska {

struct ScaleSet;

// The two alarm limits and their switches. A reading beyond a switched-on limit raises the
// alarm; limits are in display counts, like the reading's numeric value.
class AlarmLimits {
public:
    // Start-up seeds: +-(full scale count + 2), just outside what the display can show.
    void seedFromScale(const ScaleSet& scale);

    void setUpper(float limit) { m_upper = limit; }
    void setLower(float limit) { m_lower = limit; }
    void setUpperOn(bool on) { m_upperOn = on; }
    void setLowerOn(bool on) { m_lowerOn = on; }

    float upper() const { return m_upper; }
    float lower() const { return m_lower; }
    bool upperOn() const { return m_upperOn; }
    bool lowerOn() const { return m_lowerOn; }

    bool isExceededBy(float value) const {
        return (m_upperOn && value > m_upper) || (m_lowerOn && value < m_lower);
    }

private:
    float m_upper = 0.0F;
    float m_lower = 0.0F;
    bool m_upperOn = false;
    bool m_lowerOn = false;
};

}  // namespace veska
