#pragma once

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <functional>

namespace veska {

// The application object of a program, on QCoreApplication (the logger and the other
// modes for scripts) or QApplication (the window). An exception that escapes a slot, a
// timer or any other event handler would end the process through std::terminate; here it
// ends only that handler and is reported, and the program goes on.
template <class QtApplication>
class GuardedApplication : public QtApplication {
public:
    GuardedApplication(int& argc, char** argv) : QtApplication(argc, argv) {}

    // Called with the exception's text, later and outside the failed handler (by default
    // the text goes to standard error only).
    void setReporter(std::function<void(const QString&)> reporter) { m_reporter = std::move(reporter); }

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QtApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            report(QString::fromUtf8(e.what()));
        } catch (...) {
            report(QStringLiteral("unexpected error"));
        }
        return false;
    }

private:
    void report(const QString& text) {
        std::fprintf(stderr, "veska: %s\n", text.toLocal8Bit().constData());
        if (!m_reporter || m_reporting) return;
        m_reporting = true;
        // Never a modal box from inside the failed handler: show it on a later turn.
        QTimer::singleShot(0, this, [this, text] {
            m_reporter(text);
            m_reporting = false;
        });
    }

    std::function<void(const QString&)> m_reporter;
    bool m_reporting = false;  // one report at a time: a box open does not stack more boxes
};

}  // namespace veska
