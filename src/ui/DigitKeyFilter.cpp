#include "ui/DigitKeyFilter.h"

#include "session/NumberField.h"

#include <QKeyEvent>

namespace veska {

DigitKeyFilter::DigitKeyFilter(bool allowSigns, QObject* parent) : QObject(parent), m_allowSigns(allowSigns) {}

bool DigitKeyFilter::accepts(QChar c) const { return NumberField::acceptsKey(c, m_allowSigns); }

bool DigitKeyFilter::isNavigationOrShortcut(const QKeyEvent& key) {
    switch (key.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return true;
    default:
        return (key.modifiers() & Qt::ControlModifier) != 0;
    }
}

bool DigitKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Keys without text (arrows, delete) are editing, Tab and Shift+Tab move the focus on,
    // Enter ends the edit, Escape goes to the dialog and Ctrl chords are the field's
    // shortcuts (copy, paste, undo): none of them types a character.
    if (text.isEmpty() || isNavigationOrShortcut(*key)) return false;
    for (const QChar c : text) {
        if (!accepts(c)) return true;  // swallowed
    }
    return false;
}

}  // namespace veska
