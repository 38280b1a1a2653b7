#pragma once

#include <QObject>

class QCheckBox;
class QLineEdit;
class QWidget;

namespace veska {

class NumberFieldEditor;
class Recorder;

// The recording row's controls repeat, sampling and interval, created on the
// window at their places (3,258), (57,258), (159,258) and wired to the recorder: the check
// boxes set its switches, each interval text that is a whole number goes to setInterval
// as it is typed, and the key filter lets only digits and backspace into the field.
class RecordingRow : public QObject {
    Q_OBJECT
public:
    RecordingRow(Recorder& recorder, QWidget* window);

    QCheckBox* repeatBox() const { return m_repeatSet; }
    QCheckBox* samplingBox() const { return m_recordSI; }
    QLineEdit* intervalField() const { return m_recordSITime; }

signals:
    // An interval text that is no whole number when its edit ends; the interval in force
    // stays and the field shows it again.
    void intervalTextInvalid(const QString& message);

private:
    QCheckBox* m_repeatSet;
    QCheckBox* m_recordSI;
    QLineEdit* m_recordSITime;
    NumberFieldEditor* m_intervalEditor;
};

}  // namespace veska
