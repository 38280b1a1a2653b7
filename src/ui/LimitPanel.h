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

    // Change handler of Setmax (for each text that is a whole number) and click handler of
    // SetMaxB: emits upperLimitEdited with the limit in force.
    void applyUpperLimit();
    // The same for SetMin and SetMinB.
    void applyLowerLimit();

    // Shows the extremes' texts under a unit.
    void showExtremes(const QString& maxText, const QString& minText, const QString& unitText);

    QLineEdit* upperLimitField() const { return m_setMax; }
    QLineEdit* lowerLimitField() const { return m_setMin; }
    QCheckBox* upperLimitSwitch() const { return m_setMaxB; }
    QCheckBox* lowerLimitSwitch() const { return m_setMinB; }
    QLabel* maxReadout() const { return m_maxText; }
    QLabel* minReadout() const { return m_minText; }
    LcdLabel* maxUnitReadout() const { return m_maxTextU; }
    LcdLabel* minUnitReadout() const { return m_minTextU; }

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
