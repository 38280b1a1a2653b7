#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLineEdit;

namespace veska {

// Drives one number field. A text that reads as a number is handed on as it is typed; a
// text that does not (on the way to "12-3", or pasted) is left alone while the user types
// and told once when the edit ends (Enter or focus leaves), after which the field shows the
// value in force again. Installs the field's key filter too.
class NumberFieldEditor : public QObject {
    Q_OBJECT
public:
    using Reader = std::function<std::optional<int>(const QString&)>;

    // allowSigns: '+' and '-' may be typed (the limit fields). reader turns a text into its
    // value; by default an empty text, "-" or "+" is 0.
    NumberFieldEditor(QLineEdit* field, bool allowSigns, Reader reader = {});

    // The value of the last text that read as a number: the one in force.
    int valueInForce() const { return m_valueInForce; }

signals:
    void valueTyped(int value);
    // "'<text>' is not a valid integer value", once per finished edit.
    void invalidTextFinished(const QString& message);

private:
    void onTextChanged(const QString& text);
    void onEditingFinished();

    QLineEdit* m_field;
    Reader m_reader;
    int m_valueInForce = 0;
};

}  // namespace veska
