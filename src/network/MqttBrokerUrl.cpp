#include "network/MqttBrokerUrl.h"

#include <QByteArray>

#include <algorithm>

namespace veska {

namespace {

bool fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Strict percent-decoding: a '%' not followed by two hex digits is an error rather than
// text, so a mistyped escape is not silently sent to the broker as a wrong password.
bool percentDecode(const QString& in, const QString& what, QString* out, QString* error) {
    const QByteArray bytes = in.toUtf8();
    QByteArray decoded;
    decoded.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '%') {
            decoded.append(bytes[i]);
            continue;
        }
        if (i + 2 >= bytes.size()) {
            return fail(error, QStringLiteral("The ") + what +
                                   QStringLiteral(" in the broker URL has an incomplete percent escape "
                                                  "(write %25 for a percent sign)."));
        }
        const int high = hexValue(bytes[i + 1]);
        const int low = hexValue(bytes[i + 2]);
        if (high < 0 || low < 0) {
            return fail(error, QStringLiteral("The ") + what +
                                   QStringLiteral(" in the broker URL has an invalid percent escape \"") +
                                   QString::fromUtf8(bytes.mid(i, 3)) +
                                   QStringLiteral("\" (write %25 for a percent sign)."));
        }
        decoded.append(static_cast<char>(high * 16 + low));
        i += 2;
    }
    *out = QString::fromUtf8(decoded);
    return true;
}

bool validHostChar(QChar c) {
    return c.isLetterOrNumber() || c == '-' || c == '.' || c == '_';
}

}  // namespace

std::optional<MqttBrokerUrl> MqttBrokerUrl::parse(const QString& text, QString* error) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        fail(error, QStringLiteral("No broker given: enter an address such as mqtt://localhost."));
        return std::nullopt;
    }

    MqttBrokerUrl url;
    QString rest = trimmed;
    const qsizetype schemeEnd = trimmed.indexOf(QStringLiteral("://"));
    if (schemeEnd >= 0) {
        const QString scheme = trimmed.left(schemeEnd).toLower();
        if (scheme == QLatin1String("mqtt")) {
            url.tls = false;
        } else if (scheme == QLatin1String("mqtts")) {
            url.tls = true;
        } else {
            fail(error, QStringLiteral("The broker URL scheme \"%1\" is not supported: use mqtt:// or "
                                       "mqtts:// (TLS).")
                            .arg(trimmed.left(schemeEnd)));
            return std::nullopt;
        }
        rest = trimmed.mid(schemeEnd + 3);
    }
    url.port = url.tls ? kDefaultTlsPort : kDefaultPort;

    // A trailing "/" is harmless; any other path, query or fragment means the user gave
    // something that is not a broker address (perhaps a web page).
    qsizetype authorityEnd = rest.size();
    for (qsizetype i = 0; i < rest.size(); ++i) {
        if (rest[i] == '/' || rest[i] == '?' || rest[i] == '#') {
            authorityEnd = i;
            break;
        }
    }
    if (authorityEnd < rest.size() && rest.mid(authorityEnd) != QLatin1String("/")) {
        fail(error, QStringLiteral("The broker URL has a path or query \"%1\": give only "
                                   "mqtt://[user[:password]@]host[:port].")
                        .arg(rest.mid(authorityEnd)));
        return std::nullopt;
    }
    QString authority = rest.left(authorityEnd);

    const qsizetype at = authority.lastIndexOf('@');
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(':');
        const QString rawUser = colon >= 0 ? userInfo.left(colon) : userInfo;
        if (rawUser.isEmpty()) {
            fail(error, QStringLiteral("The user name in the broker URL is empty."));
            return std::nullopt;
        }
        if (!percentDecode(rawUser, QStringLiteral("user name"), &url.user, error)) return std::nullopt;
        if (colon >= 0) {
            url.hasPassword = true;
            if (!percentDecode(userInfo.mid(colon + 1), QStringLiteral("password"), &url.password, error))
                return std::nullopt;
        }
    }

    QString portText;
    bool hasPort = false;
    if (authority.startsWith('[')) {
        const qsizetype close = authority.indexOf(']');
        if (close < 0) {
            fail(error, QStringLiteral("The IPv6 address in the broker URL lacks its closing \"]\"."));
            return std::nullopt;
        }
        url.host = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(':')) {
                fail(error, QStringLiteral("Unexpected text \"%1\" after the IPv6 address in the broker URL.")
                                .arg(after));
                return std::nullopt;
            }
            hasPort = true;
            portText = after.mid(1);
        }
        for (QChar c : std::as_const(url.host)) {
            if (!(c.isDigit() || (c.toLower() >= 'a' && c.toLower() <= 'f') || c == ':' || c == '.')) {
                fail(error, QStringLiteral("\"%1\" is not an IPv6 address.").arg(url.host));
                return std::nullopt;
            }
        }
    } else {
        const qsizetype colon = authority.lastIndexOf(':');
        if (colon >= 0) {
            hasPort = true;
            portText = authority.mid(colon + 1);
            url.host = authority.left(colon);
        } else {
            url.host = authority;
        }
        for (QChar c : std::as_const(url.host)) {
            if (!validHostChar(c)) {
                fail(error, QStringLiteral("The broker host \"%1\" contains the character \"%2\", which "
                                           "no host name has.")
                                .arg(url.host, QString(c)));
                return std::nullopt;
            }
        }
    }
    if (url.host.isEmpty()) {
        fail(error, QStringLiteral("The broker URL names no host."));
        return std::nullopt;
    }
    if (hasPort) {
        bool ok = false;
        const int port = portText.toInt(&ok, 10);
        const bool digitsOnly = !portText.isEmpty() &&
                                std::all_of(portText.cbegin(), portText.cend(), [](QChar c) { return c.isDigit(); });
        if (!digitsOnly || !ok || port < 1 || port > 65535) {
            fail(error, QStringLiteral("The broker port \"%1\" is not a number from 1 to 65535.").arg(portText));
            return std::nullopt;
        }
        url.port = port;
    }
    return url;
}

QString MqttBrokerUrl::displayText() const {
    QString text = tls ? QStringLiteral("mqtts://") : QStringLiteral("mqtt://");
    if (!user.isEmpty()) text += user + '@';
    text += host.contains(':') ? '[' + host + ']' : host;
    text += ':' + QString::number(port);
    return text;
}

}  // namespace veska
