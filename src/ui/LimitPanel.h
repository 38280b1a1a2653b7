#pragma once

#include <QFrame>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace veska {

class LcdLabel;
class NumberFieldEditor;

// The limit panel limitPanel: the upper and lower alarm limit fields with their switches, and
// the readout of the running maximum and minimum. It holds no limits itself: edits go out
// as signals, the session keeps the values and the window shows the extremes here.
class LimitPanel : public QFrame {
    Q_OBJECT
public:
    explicit LimitPanel(QWidget* parent = nullptr);

    // Change handler of the upper limit field (for each text that is a whole number) and click handler of
    // its switch: emits upperLimitEdited with the limit in force.
    void applyUpperLimit();
    // The same for SetMin and SetMinB.
    void applyLowerLimit();

    // Shows the extremes' texts under a unit.
    void showExtremes(const QString& maxText, const QString& minText, const QString& unitText);

    QLineEdit* upperLimitField() const { return m_upperLimitField; }
    QLineEdit* lowerLimitField() const { return m_lowerLimitField; }
    QCheckBox* upperLimitSwitch() const { return m_upperLimitSwitch; }
    QCheckBox* lowerLimitSwitch() const { return m_lowerLimitSwitch; }
    QLabel* maxReadout() const { return m_maxReadout; }
    QLabel* minReadout() const { return m_minReadout; }
    LcdLabel* maxUnitReadout() const { return m_maxUnitReadout; }
    LcdLabel* minUnitReadout() const { return m_minUnitReadout; }

signals:
    // The field's limit in force and the switch's state.
    void upperLimitEdited(float limit, bool on);
    void lowerLimitEdited(float limit, bool on);
    // A limit text that is no whole number when its edit ends: "'%s' is not a valid integer
    // value". The limit keeps its previous value and the field shows it again.
    void limitTextInvalid(const QString& message);

private:
    NumberFieldEditor* m_upperEditor;
    NumberFieldEditor* m_lowerEditor;

    LcdLabel* m_minLabel;
    LcdLabel* m_maxLabel;
    QLabel* m_minReadout;
    QLabel* m_maxReadout;
    LcdLabel* m_minUnitReadout;
    LcdLabel* m_maxUnitReadout;
    QCheckBox* m_upperLimitSwitch;
    QCheckBox* m_lowerLimitSwitch;
    QLineEdit* m_upperLimitField;
    QLineEdit* m_lowerLimitField;
};

}  // namespace veska
