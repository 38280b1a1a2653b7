#pragma once

#include <QFrame>
#include <QString>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace veska {

class LcdLabel;

// The limit panel limitPanel: the upper and lower alarm limit fields with their switches, and
// the readout of the running maximum and minimum. It holds no limits itself: edits go out
// as signals, the session keeps the values and the window shows the extremes here.
class LimitPanel : public QFrame {
    Q_OBJECT
public:
    explicit LimitPanel(QWidget* parent = nullptr);

    // Change handler of Setmax and click handler of SetMaxB: emits upperLimitEdited.
    void applyUpperLimit();
    // Change handler of SetMin and click handler of SetMinB: emits lowerLimitEdited.
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
    // The field's whole number (nothing when the text is not one) and the switch's state.
    void upperLimitEdited(std::optional<float> limit, bool on);
    void lowerLimitEdited(std::optional<float> limit, bool on);
    // A limit text that is no whole number: "'%s' is not a valid integer value".
    // Reported once per text; the limit keeps its previous value.
    void limitTextInvalid(const QString& message);

private:
    std::optional<float> readLimit(QLineEdit* field, QString& lastBadText);

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
