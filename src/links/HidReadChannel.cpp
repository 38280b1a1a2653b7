#include "links/HidReadChannel.h"

#include <cerrno>

namespace veska {

HidReadChannel::HidReadChannel(std::shared_ptr<HidPlatform> platform, std::string path)
    : m_platform(std::move(platform)), m_path(std::move(path)) {}

std::shared_ptr<HidHandle> HidReadChannel::openReadHandle(int& error) {
    if (!accessible()) {
        error = m_plugged ? EPERM : ENODEV;
        return nullptr;
    }
    std::lock_guard lock(m_mutex);
    if (!m_readHandle) {
        std::shared_ptr<HidHandle> handle = m_platform->open(m_path, HidPlatform::Access::Read, error);
        if (!handle) return nullptr;
        m_readHandle = std::move(handle);
    }
    return m_readHandle;
}

bool HidReadChannel::isCurrent(const std::shared_ptr<HidHandle>& handle) const {
    std::lock_guard lock(m_mutex);
    return handle && handle == m_readHandle;
}

void HidReadChannel::closeReadHandle() {
    std::shared_ptr<HidHandle> closing;
    {
        std::lock_guard lock(m_mutex);
        closing = std::move(m_readHandle);
        m_readHandle.reset();
    }
    // The handle really closes when a reader still inside a read lets go of it.
}

bool HidReadChannel::readHandleOpen() const {
    std::lock_guard lock(m_mutex);
    return m_readHandle != nullptr;
}

}  // namespace veska
