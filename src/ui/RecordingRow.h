#pragma once

#include <QObject>

class QCheckBox;
class QLineEdit;
class QWidget;

namespace veska {

class DigitKeyFilter;
class Recorder;

// The recording row's controls RepeatSet, RecordSI and RecordSITime, created on the
// window at their places (3,258), (57,258), (159,258) and wired to the recorder: the check
// boxes set its switches, every change of the interval text runs setIntervalText, and
// the key filter lets only digits and backspace into the field.
class RecordingRow : public QObject {
    Q_OBJECT
public:
    RecordingRow(Recorder& recorder, QWidget* window);

    QCheckBox* repeatBox() const { return m_repeatSet; }
    QCheckBox* samplingBox() const { return m_recordSI; }
    QLineEdit* intervalField() const { return m_recordSITime; }

private:
    QCheckBox* m_repeatSet;
    QCheckBox* m_recordSI;
    QLineEdit* m_recordSITime;
    DigitKeyFilter* m_keyFilter;
};

}  // namespace veska
