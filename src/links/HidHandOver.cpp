#include "links/HidHandOver.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace veska {

HidHandOver::~HidHandOver() { reapFinished(); }

void HidHandOver::call(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        m_job = std::move(job);
        m_queued = true;
        m_done = false;
    }
    m_cv.notify_all();
    if (QCoreApplication* app = QCoreApplication::instance()) {
        // The queued call keeps this object alive; it finds nothing to do when the job
        // was already served from a stop wait.
        QMetaObject::invokeMethod(
            app, [self = shared_from_this()] { self->servePending(); }, Qt::QueuedConnection);
    }
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return m_done; });
}

bool HidHandOver::servePending() {
    auto self = shared_from_this();  // a job may free the device that holds us
    std::function<void()> job;
    {
        std::lock_guard lock(m_mutex);
        if (!m_queued) return false;
        job = std::move(m_job);
        m_job = nullptr;
        m_queued = false;
    }
    ++m_serving;
    try {
        job();
    } catch (...) {
        // A failing handler must not end the reading, nor unwind through the event loop.
    }
    --m_serving;
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_cv.notify_all();
    if (m_serving == 0) reapFinished();
    return true;
}

void HidHandOver::serveFor(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, timeout, [this] { return m_queued; })) return;
    }
    servePending();
}

void HidHandOver::finishAfterJob(std::unique_ptr<QThread> reader) { m_ending.push_back(std::move(reader)); }

void HidHandOver::reapFinished() {
    // The readers were asked to stop and their last job has returned: they end at once.
    auto ending = std::move(m_ending);
    m_ending.clear();
    for (auto& reader : ending) reader->wait();
}

}  // namespace veska
