#pragma once

#include "links/HidHandOver.h"
#include "links/HidPlatform.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace veska {

// What a device shares with its reader thread: the state flags the reader tests, the
// read handle, which the reader opens and the UI thread may close at any time, and the
// hand-over. The reader holds it by shared pointer, so it never touches a freed device.
class HidReadChannel {
public:
    HidReadChannel(std::shared_ptr<HidPlatform> platform, std::string path);

    bool plugged() const { return m_plugged; }
    void setPlugged(bool plugged) { m_plugged = plugged; }
    bool claimed() const { return m_claimed; }
    void setClaimed(bool claimed) { m_claimed = claimed; }
    bool beingEnumerated() const { return m_beingEnumerated; }
    void setBeingEnumerated(bool on) { m_beingEnumerated = on; }
    bool accessible() const { return m_plugged && (m_claimed || m_beingEnumerated); }
    int readSleepMs() const { return m_readSleepMs; }
    void setReadSleepMs(int ms) { m_readSleepMs = ms; }

    // Opens the read handle unless it is open. Null when the device is not accessible or
    // the open fails; 'error' then holds the errno value.
    std::shared_ptr<HidHandle> openReadHandle(int& error);
    // False once the handle has been closed (or replaced) since it was opened.
    bool isCurrent(const std::shared_ptr<HidHandle>& handle) const;
    // A read in progress on the closed handle ends without data.
    void closeReadHandle();
    bool readHandleOpen() const;

    const std::shared_ptr<HidPlatform>& platform() const { return m_platform; }
    HidHandOver& handOver() { return *m_handOver; }

private:
    std::shared_ptr<HidPlatform> m_platform;
    std::string m_path;
    std::atomic<bool> m_plugged{true};
    std::atomic<bool> m_claimed{false};
    std::atomic<bool> m_beingEnumerated{false};
    std::atomic<int> m_readSleepMs{100};
    mutable std::mutex m_mutex;
    std::shared_ptr<HidHandle> m_readHandle;
    std::shared_ptr<HidHandOver> m_handOver = std::make_shared<HidHandOver>();
};

}  // namespace veska
