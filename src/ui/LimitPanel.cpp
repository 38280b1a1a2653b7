#include "ui/LimitPanel.h"
#include "ui/ArialFont.h"

#include "ui/LcdLabel.h"
#include "ui/NumberFieldEditor.h"

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

LimitPanel::LimitPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("limitPanel"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(192, 192, 192));
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
    resize(285, 47);

    m_minLabel = makeLcdLabel(this, "minLabel", QStringLiteral("MIN: "), 12, true, {8, 9});
    m_minReadout = makeReadout(this, "minReadout", QStringLiteral("4001"), {48, 9});
    m_minUnitReadout = makeLcdLabel(this, "minUnitReadout", QStringLiteral("*"), 14, false, {96, 9});
    m_maxLabel = makeLcdLabel(this, "maxLabel", QStringLiteral("MAX: "), 12, true, {8, 29});
    m_maxReadout = makeReadout(this, "maxReadout", QStringLiteral("-4001"), {48, 29});
    m_maxUnitReadout = makeLcdLabel(this, "maxUnitReadout", QStringLiteral("*"), 14, false, {96, 29});

    // The lower limit sits in the MIN row, the upper one in the MAX row.
    m_lowerLimitSwitch = makeSwitch(this, "lowerLimitSwitch", QStringLiteral("SetMin: "), {140, 4});
    m_lowerLimitField = makeLimitField(this, "lowerLimitField", QStringLiteral("-4000"), {216, 4});
    m_upperLimitSwitch = makeSwitch(this, "upperLimitSwitch", QStringLiteral("SetMax:"), {140, 25});
    m_upperLimitField = makeLimitField(this, "upperLimitField", QStringLiteral("4000"), {216, 25});

    // Digits, backspace and the two signs, anywhere in the text.
    m_upperEditor = new NumberFieldEditor(m_upperLimitField, true);
    m_lowerEditor = new NumberFieldEditor(m_lowerLimitField, true);

    connect(m_upperEditor, &NumberFieldEditor::valueTyped, this, &LimitPanel::applyUpperLimit);
    connect(m_upperLimitSwitch, &QCheckBox::toggled, this, &LimitPanel::applyUpperLimit);
    connect(m_lowerEditor, &NumberFieldEditor::valueTyped, this, &LimitPanel::applyLowerLimit);
    connect(m_lowerLimitSwitch, &QCheckBox::toggled, this, &LimitPanel::applyLowerLimit);
    connect(m_upperEditor, &NumberFieldEditor::invalidTextFinished, this, &LimitPanel::limitTextInvalid);
    connect(m_lowerEditor, &NumberFieldEditor::invalidTextFinished, this, &LimitPanel::limitTextInvalid);
}

// A text that is no number keeps the limit in force (the editor tells it when the edit ends).
void LimitPanel::applyUpperLimit() {
    emit upperLimitEdited(static_cast<float>(m_upperEditor->valueInForce()), m_upperLimitSwitch->isChecked());
}

void LimitPanel::applyLowerLimit() {
    emit lowerLimitEdited(static_cast<float>(m_lowerEditor->valueInForce()), m_lowerLimitSwitch->isChecked());
}

void LimitPanel::showExtremes(const QString& maxText, const QString& minText, const QString& unitText) {
    m_maxReadout->setText(maxText);
    m_minReadout->setText(minText);
    m_maxUnitReadout->setUnitText(unitText);
    m_minUnitReadout->setUnitText(unitText);
}

}  // namespace veska
