#include "ui/RecordingRow.h"
#include "ui/ArialFont.h"

#include "session/Recorder.h"

#include "ui/NumberFieldEditor.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPalette>

namespace veska {

namespace {

QCheckBox* whiteCheckBox(const QString& text, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setFont(ArialFont::px(11));
    // A narrow gap after the indicator: the captions were fitted to the classic one, and
    // "Sampling Interval" must end before the interval field lying over its gap.
    box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 1px; }"));
    QPalette palette = box->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    box->setPalette(palette);
    return box;
}

}  // namespace

RecordingRow::RecordingRow(Recorder& recorder, QWidget* window)
    : QObject(window),
      m_repeatSet(whiteCheckBox(QStringLiteral("Repeat"), window)),
      m_recordSI(whiteCheckBox(QStringLiteral("Sampling Interval           'S"), window)),
      m_recordSITime(new QLineEdit(QStringLiteral("10"), window)),
      m_intervalEditor(new NumberFieldEditor(m_recordSITime, false)) {
    m_repeatSet->setObjectName(QStringLiteral("repeatBox"));
    m_repeatSet->setGeometry(3, 258, 54, 20);
    m_repeatSet->setChecked(true);
    m_recordSI->setObjectName(QStringLiteral("samplingBox"));
    m_recordSI->setGeometry(57, 258, 143, 20);
    m_recordSITime->setObjectName(QStringLiteral("intervalField"));
    m_recordSITime->setGeometry(159, 258, 27, 21);
    QPalette palette = m_recordSITime->palette();
    palette.setColor(QPalette::Base, QColor(192, 192, 192));
    m_recordSITime->setPalette(palette);
    m_recordSITime->raise();  // lies over the gap in RecordSI's caption

    recorder.setRepeatSet(true);
    recorder.setRecordSI(false);
    connect(m_repeatSet, &QCheckBox::toggled, &recorder, &Recorder::setRepeatSet);
    connect(m_recordSI, &QCheckBox::toggled, &recorder, &Recorder::setRecordSI);
    connect(m_intervalEditor, &NumberFieldEditor::valueTyped, &recorder, &Recorder::setInterval);
    connect(m_intervalEditor, &NumberFieldEditor::invalidTextFinished, this, &RecordingRow::intervalTextInvalid);
}

}  // namespace veska
