#pragma once

#include <QFrame>
#include <QString>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace veska {

class AnalogGauge;
class LcdLabel;
struct LcdState;
struct MeterReading;
struct ScaleSet;

// The limit panel Panel3: the upper and lower alarm limits with their switches, the
// alarm test with beep and "OL !!", and the running maximum and minimum readout.
class LimitPanel : public QFrame {
    Q_OBJECT
public:
    // The gauge shows the alarm panel and the red limit dots, and its scale set gives
    // the reset values of the peaks.
    explicit LimitPanel(AnalogGauge& gauge, QWidget* parent = nullptr);

    // Start-up: the limit and peak seeds of a scale set (limits +-(count + 2), peaks
    // one count beyond full scale on the far side) and LastUnitText "113".
    void seedFromScale(const ScaleSet& scale);

    // Change handler of Setmax and click handler of SetMaxB.
    void SetmaxExit();
    // Change handler of SetMin and click handler of SetMinB.
    void SetMinExit();

    // Cycle step: true (with a beep and "OL !!") while a switched-on limit is exceeded.
    bool CheckLimits(const MeterReading& reading);
    // Cycle step: running maximum and minimum; a change of unit or decimal point
    // restarts them and asks for a chart reset (chartResetRequested).
    void TrackPeaks(const LcdState& lcd, const MeterReading& reading);

    // Replaces the system beep (tests count beeps with it).
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }

    float UpperLimit() const { return m_upperLimit; }
    float LowerLimit() const { return m_lowerLimit; }
    float RunningMax() const { return m_runningMax; }
    float RunningMin() const { return m_runningMin; }
    const QString& RunningMaxText() const { return m_runningMaxText; }
    const QString& RunningMinText() const { return m_runningMinText; }
    const QString& LastUnitText() const { return m_lastUnitText; }
    int LastPointIndex() const { return m_lastPointIndex; }

    QLineEdit* Setmax() const { return m_setMax; }
    QLineEdit* SetMin() const { return m_setMin; }
    QCheckBox* SetMaxB() const { return m_setMaxB; }
    QCheckBox* SetMinB() const { return m_setMinB; }
    QLabel* MaxText() const { return m_maxText; }
    QLabel* MinText() const { return m_minText; }
    LcdLabel* MaxTextU() const { return m_maxTextU; }
    LcdLabel* MinTextU() const { return m_minTextU; }

signals:
    // A limit text that is no whole number: "'%s' is not a valid integer value".
    // Reported once per text; the limit keeps its previous value.
    void limitTextInvalid(const QString& message);
    // The unit or the range changed: the history chart starts again.
    void chartResetRequested();

private:
    bool readLimit(QLineEdit* field, float& limit, QString& lastBadText);
    void pushLimitsToGauge();

    AnalogGauge& m_gauge;
    std::function<void()> m_beep;

    float m_upperLimit = 0.0F;
    float m_lowerLimit = 0.0F;
    float m_runningMax = 0.0F;
    float m_runningMin = 0.0F;
    QString m_runningMaxText;
    QString m_runningMinText;
    QString m_lastUnitText = QStringLiteral("113");
    int m_lastPointIndex = 0;
    QString m_badMaxText;
    QString m_badMinText;

    LcdLabel* m_label11;
    LcdLabel* m_label12;
    QLabel* m_minText;
    QLabel* m_maxText;
    LcdLabel* m_minTextU;
    LcdLabel* m_maxTextU;
    QCheckBox* m_setMaxB;
    QCheckBox* m_setMinB;
    QLineEdit* m_setMax;
    QLineEdit* m_setMin;
};

}  // namespace veska
