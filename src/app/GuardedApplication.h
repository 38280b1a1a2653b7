#pragma once

#include <QApplication>

#include <functional>

namespace veska {

// The application object of the program. An exception that escapes a slot, a timer or any
// other event handler would end the process through std::terminate; here it ends only that
// handler and is reported, and the program goes on.
class GuardedApplication : public QApplication {
    Q_OBJECT
public:
    GuardedApplication(int& argc, char** argv);

    // Called with the exception's text, later and outside the failed handler (by default
    // the text goes to standard error only).
    void setReporter(std::function<void(const QString&)> reporter) { m_reporter = std::move(reporter); }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    void report(const QString& text);

    std::function<void(const QString&)> m_reporter;
    bool m_reporting = false;  // one report at a time: a box open does not stack more boxes
};

}  // namespace veska
