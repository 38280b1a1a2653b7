#include "ui/NumberFieldEditor.h"

#include "session/NumberField.h"
#include "ui/DigitKeyFilter.h"

#include <QLineEdit>

namespace veska {

NumberFieldEditor::NumberFieldEditor(QLineEdit* field, bool allowSigns, Reader reader)
    : QObject(field), m_field(field), m_reader(reader ? std::move(reader) : Reader(&NumberField::parse)) {
    m_valueInForce = m_reader(field->text()).value_or(0);
    field->installEventFilter(new DigitKeyFilter(allowSigns, this));
    connect(field, &QLineEdit::textChanged, this, &NumberFieldEditor::onTextChanged);
    connect(field, &QLineEdit::editingFinished, this, &NumberFieldEditor::onEditingFinished);
}

void NumberFieldEditor::onTextChanged(const QString& text) {
    const std::optional<int> value = m_reader(text);
    if (!value) return;  // maybe half typed: judged when the edit ends
    m_valueInForce = *value;
    emit valueTyped(*value);
}

void NumberFieldEditor::onEditingFinished() {
    const QString text = m_field->text();
    if (m_reader(text)) return;
    // Shown again before the box, so the field never shows a value that is not used.
    m_field->setText(QString::number(m_valueInForce));
    emit invalidTextFinished(NumberField::notAnIntegerMessage(text));
}

}  // namespace veska
