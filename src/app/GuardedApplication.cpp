#include "app/GuardedApplication.h"

#include <QTimer>

#include <cstdio>
#include <exception>

namespace veska {

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        report(QString::fromUtf8(e.what()));
    } catch (...) {
        report(QStringLiteral("unexpected error"));
    }
    return false;
}

void GuardedApplication::report(const QString& text) {
    std::fprintf(stderr, "veska: %s\n", text.toLocal8Bit().constData());
    if (!m_reporter || m_reporting) return;
    m_reporting = true;
    // Never a modal box from inside the failed handler: show it on a later turn.
    QTimer::singleShot(0, this, [this, text] {
        m_reporter(text);
        m_reporting = false;
    });
}

}  // namespace veska
