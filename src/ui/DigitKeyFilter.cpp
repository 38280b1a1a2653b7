#include "ui/DigitKeyFilter.h"

#include "session/NumberField.h"

#include <QKeyEvent>

namespace veska {

DigitKeyFilter::DigitKeyFilter(bool allowSigns, QObject* parent) : QObject(parent), m_allowSigns(allowSigns) {}

bool DigitKeyFilter::accepts(QChar c) const { return NumberField::acceptsKey(c, m_allowSigns); }

bool DigitKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Keys without text (arrows, delete, tab) are editing and navigation, not characters.
    // Enter ends the edit; it types nothing.
    if (text.isEmpty() || key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Return ||
        key->key() == Qt::Key_Enter)
        return false;
    for (const QChar c : text) {
        if (!accepts(c)) return true;  // swallowed
    }
    return false;
}

}  // namespace veska
