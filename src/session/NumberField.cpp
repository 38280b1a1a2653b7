#include "session/NumberField.h"

namespace veska {

std::optional<int> NumberField::parse(const QString& text) {
    if (text.isEmpty() || text == QLatin1String("-") || text == QLatin1String("+")) return 0;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok) return std::nullopt;
    return value;
}

bool NumberField::acceptsKey(QChar c, bool allowSigns) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) return true;
    if (c == QChar(0x08)) return true;
    return allowSigns && (c == QLatin1Char('+') || c == QLatin1Char('-'));
}

QString NumberField::notAnIntegerMessage(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

}  // namespace veska
