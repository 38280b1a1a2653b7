#pragma once

#include <QString>

#include <stdexcept>

namespace veska {

// A failure of the table engine. what() and message() carry the engine's own text, which
// callers show to the user unchanged.
class TableError : public std::runtime_error {
public:
    explicit TableError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}

    const QString& message() const { return m_message; }

private:
    QString m_message;
};

}  // namespace veska
