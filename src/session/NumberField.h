#pragma once

#include <QString>

#include <optional>

namespace veska {

// Reads a number field as the program always has: an empty text, "-" or "+" is 0; any
// other text must be a decimal whole number (32-bit).
struct NumberField {
    // The value, or nothing when the text is not a whole number.
    static std::optional<int> parse(const QString& text);
    // "'<text>' is not a valid integer value"
    static QString notAnIntegerMessage(const QString& text);
    // Whether a typed character may reach a number field: digits and backspace, with
    // allowSigns also '+' and '-' (the two limit fields).
    static bool acceptsKey(QChar c, bool allowSigns);
};

}  // namespace veska
