#include "LimitPanel.h"
#include "ArialFont.h"

#include "AnalogGauge.h"
#include "DigitKeyFilter.h"
#include "LcdLabel.h"
#include "NumberField.h"

#include "protocol/LcdState.h"
#include "protocol/MeterReading.h"
#include "protocol/ScaleSet.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace veska {

namespace {

QLabel* makeReadout(QWidget* parent, const char* name, const QString& text, QPoint at) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(ArialFont::px(14, false, true));
    label->setGeometry(at.x(), at.y(), 48, 17);
    return label;
}

LcdLabel* makeLcdLabel(QWidget* parent, const char* name, const QString& text, int height, bool bold, QPoint at) {
    auto* label = new LcdLabel(text, height, bold, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(at);
    return label;
}

QCheckBox* makeSwitch(QWidget* parent, const char* name, const QString& caption, QPoint at) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(at.x(), at.y(), 72, 19);
    return box;
}

QLineEdit* makeLimitField(QWidget* parent, const char* name, const QString& text, QPoint at) {
    auto* field = new QLineEdit(text, parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setGeometry(at.x(), at.y(), 62, 19);
    return field;
}

}  // namespace

LimitPanel::LimitPanel(AnalogGauge& gauge, QWidget* parent)
    : QFrame(parent), m_gauge(gauge), m_beep([] { QApplication::beep(); }) {
    setObjectName(QStringLiteral("Panel3"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(192, 192, 192));
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
    resize(285, 47);

    m_label11 = makeLcdLabel(this, "Label11", QStringLiteral("MIN: "), 12, true, {8, 9});
    m_minText = makeReadout(this, "MinText", QStringLiteral("4001"), {48, 9});
    m_minTextU = makeLcdLabel(this, "MinTextU", QStringLiteral("*"), 14, false, {96, 9});
    m_label12 = makeLcdLabel(this, "Label12", QStringLiteral("MAX: "), 12, true, {8, 29});
    m_maxText = makeReadout(this, "MaxText", QStringLiteral("-4001"), {48, 29});
    m_maxTextU = makeLcdLabel(this, "MaxTextU", QStringLiteral("*"), 14, false, {96, 29});

    // The lower limit sits in the MIN row, the upper one in the MAX row.
    m_setMinB = makeSwitch(this, "SetMinB", QStringLiteral("SetMin: "), {140, 4});
    m_setMin = makeLimitField(this, "SetMin", QStringLiteral("-4000"), {216, 4});
    m_setMaxB = makeSwitch(this, "SetMaxB", QStringLiteral("SetMax:"), {140, 25});
    m_setMax = makeLimitField(this, "Setmax", QStringLiteral("4000"), {216, 25});

    // SetmaxKeyPress: digits, backspace and the two signs, anywhere in the text.
    m_setMax->installEventFilter(new DigitKeyFilter(true, m_setMax));
    m_setMin->installEventFilter(new DigitKeyFilter(true, m_setMin));

    connect(m_setMax, &QLineEdit::textChanged, this, &LimitPanel::SetmaxExit);
    connect(m_setMaxB, &QCheckBox::toggled, this, &LimitPanel::SetmaxExit);
    connect(m_setMin, &QLineEdit::textChanged, this, &LimitPanel::SetMinExit);
    connect(m_setMinB, &QCheckBox::toggled, this, &LimitPanel::SetMinExit);

    seedFromScale(*FindScaleSet("4"));
}

void LimitPanel::seedFromScale(const ScaleSet& scale) {
    m_upperLimit = scale.upperLimitSeed();
    m_lowerLimit = scale.lowerLimitSeed();
    m_runningMax = scale.runningMaxSeed();
    m_runningMin = scale.runningMinSeed();
    m_lastUnitText = QStringLiteral("113");
    pushLimitsToGauge();
}

bool LimitPanel::readLimit(QLineEdit* field, float& limit, QString& lastBadText) {
    const QString text = field->text();
    const auto value = NumberField::parse(text);
    if (!value) {
        // Checking a box with a bad text in its field re-reads the same text: one
        // message for it is enough.
        if (text != lastBadText) {
            lastBadText = text;
            emit limitTextInvalid(NumberField::notAnIntegerMessage(text));
        }
        return false;
    }
    lastBadText.clear();
    limit = static_cast<float>(*value);
    return true;
}

void LimitPanel::pushLimitsToGauge() {
    m_gauge.setLimitMarks(m_upperLimit, m_setMaxB->isChecked(), m_lowerLimit, m_setMinB->isChecked());
}

void LimitPanel::SetmaxExit() {
    const bool ok = readLimit(m_setMax, m_upperLimit, m_badMaxText);
    // The box state always reaches the gauge, so the next face drawn is right even
    // when this text could not be read.
    pushLimitsToGauge();
    if (ok) m_gauge.KDsetup();
}

void LimitPanel::SetMinExit() {
    const bool ok = readLimit(m_setMin, m_lowerLimit, m_badMinText);
    pushLimitsToGauge();
    if (ok) m_gauge.KDsetup();
}

bool LimitPanel::CheckLimits(const MeterReading& reading) {
    const float value = reading.numericValue;
    const bool alarm = (value > m_upperLimit && m_setMaxB->isChecked()) || (value < m_lowerLimit && m_setMinB->isChecked());
    if (alarm && m_beep) m_beep();
    m_gauge.oltext()->setVisible(alarm);
    return alarm;
}

void LimitPanel::TrackPeaks(const LcdState& lcd, const MeterReading& reading) {
    const QString unit = QString::fromStdString(reading.unitText);
    if (unit != m_lastUnitText || lcd.pointIndex != m_lastPointIndex) {
        emit chartResetRequested();
        m_lastUnitText = unit;
        // The scale in force is still the previous packet's.
        const int count = m_gauge.FullScaleCount();
        m_runningMax = -static_cast<float>(count + 1);
        m_runningMin = static_cast<float>(count + 1);
    } else {
        // Ties take the newer text: the readout shows the latest reading at the peak.
        if (reading.numericValue >= m_runningMax) {
            m_runningMaxText = QString::fromStdString(reading.valueText);
            m_runningMax = reading.numericValue;
        }
        if (reading.numericValue <= m_runningMin) {
            m_runningMinText = QString::fromStdString(reading.valueText);
            m_runningMin = reading.numericValue;
        }
    }
    m_lastPointIndex = lcd.pointIndex;
    m_maxText->setText(m_runningMaxText);
    m_minText->setText(m_runningMinText);
    m_maxTextU->setUnitText(unit);
    m_minTextU->setUnitText(unit);
}

}  // namespace veska
