#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <QThread>

namespace veska {

// The blocking call from a reader thread onto the UI thread. The reader queues one job
// and waits until the UI thread has run it; the UI thread runs it from its event loop or,
// while it waits for the reader to end, from that wait, so a reader blocked here can
// always be stopped.
class HidHandOver : public std::enable_shared_from_this<HidHandOver> {
public:
    HidHandOver() = default;
    ~HidHandOver();
    HidHandOver(const HidHandOver&) = delete;
    HidHandOver& operator=(const HidHandOver&) = delete;

    // Reader thread: run 'job' on the UI thread and return once it has run.
    void call(std::function<void()> job);

    // UI thread: run the queued job, if any. True when one ran.
    bool servePending();
    // UI thread: wait up to 'timeout' for a job, and run it if one came.
    void serveFor(std::chrono::milliseconds timeout);
    // UI thread: true while a job of this hand-over runs.
    bool serving() const { return m_serving > 0; }
    // UI thread: a reader that was asked to stop from inside its own job can only end
    // once that job returns; it is waited for and freed then.
    void finishAfterJob(std::unique_ptr<QThread> reader);

private:
    void reapFinished();

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::function<void()> m_job;
    bool m_queued = false;
    bool m_done = false;
    int m_serving = 0;                               // UI thread only
    std::vector<std::unique_ptr<QThread>> m_ending;  // UI thread only
};

}  // namespace veska
