#pragma once

#include <QString>

#include <stdexcept>

namespace veska {

// A failure of the table engine. what() and message() carry the engine's own text, which
// callers show to the user unchanged; cause() sorts it for those who react to it.
class TableError : public std::runtime_error {
public:
    enum class Cause {
        Other,
        DiskFull,    // no space, a file size limit or a quota: freeing space helps
        Constraint,  // the table refused the row's values (a number already taken)
        Held,        // another program (another copy of Veska) holds the file
    };

    explicit TableError(const QString& message, Cause cause = Cause::Other)
        : std::runtime_error(message.toStdString()), m_message(message), m_cause(cause) {}

    const QString& message() const { return m_message; }
    Cause cause() const { return m_cause; }

private:
    QString m_message;
    Cause m_cause;
};

}  // namespace veska
