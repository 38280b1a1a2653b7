#pragma once

#include <QObject>

class QKeyEvent;

namespace veska {

// Key filter of the number fields: lets only digits and backspace through, and with
// allowSigns also '+' and '-' (the two limit fields). Install on a QLineEdit.
class DigitKeyFilter : public QObject {
    Q_OBJECT
public:
    explicit DigitKeyFilter(bool allowSigns = false, QObject* parent = nullptr);

    // True when a typed character may reach the field.
    bool accepts(QChar c) const;

    // Tab, Shift+Tab, Enter, Escape, backspace and Ctrl chords: they pass whatever their text.
    static bool isNavigationOrShortcut(const QKeyEvent& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_allowSigns;
};

}  // namespace veska
