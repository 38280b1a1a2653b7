#pragma once

#include <QObject>

#include <functional>
#include <memory>

struct udev;
struct udev_monitor;
class QSocketNotifier;

namespace veska {

// Tells the UI thread when a hidraw device node comes or goes. Without udev (a container,
// say) it stays silent: scans still work, only the notices are missing.
class UdevMonitor : public QObject {
public:
    explicit UdevMonitor(std::function<void()> onChange, QObject* parent = nullptr);
    ~UdevMonitor() override;

    bool active() const { return m_notifier != nullptr; }

private:
    void receive();

    std::function<void()> m_onChange;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace veska
