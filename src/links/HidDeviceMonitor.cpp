#include "links/HidDeviceMonitor.h"

#include "links/HidDeviceError.h"
#include "links/HidDevice.h"

#include <algorithm>

namespace veska {

HidDeviceMonitor::HidDeviceMonitor(std::shared_ptr<HidPlatform> platform)
    : m_platform(std::move(platform)) {
    m_devices = scanDevices();
    if (m_platform && m_platform->available()) m_platform->setDeviceChangeHandler([this] { rescan(); });
}

HidDeviceMonitor::~HidDeviceMonitor() {
    m_onDeviceChange = nullptr;
    m_onDeviceUnplug = nullptr;
    m_onEnumerate = nullptr;
    if (m_platform && m_platform->available()) m_platform->setDeviceChangeHandler(nullptr);
    const std::vector<HidDevice*> devices = std::move(m_devices);
    m_devices.clear();
    for (HidDevice* device : devices) {
        device->m_owningController = nullptr;
        // A claimed device belongs to its holder, who still destroys it.
        if (device->claimed()) {
            device->markUnplugged();
        } else {
            delete device;
        }
    }
}

std::vector<HidDevice*> HidDeviceMonitor::scanDevices() {
    std::vector<HidDevice*> list;
    if (!m_platform || !m_platform->available()) return list;
    const std::vector<HidInterfaceInfo> present = m_platform->enumerate();
    list.reserve(present.size());
    for (const HidInterfaceInfo& info : present) {
        try {
            list.push_back(new HidDevice(std::make_unique<HidPnPInfo>(info.path, info.identity, info.portPath), *this));
        } catch (const HidDeviceError&) {
            // Not openable or not identifiable: skipped, tried again at the next scan.
        }
    }
    return list;
}

void HidDeviceMonitor::rescan() {
    bool changed = false;
    std::vector<HidDevice*> fresh = scanDevices();
    removalPass(fresh, changed);
    std::erase_if(fresh, [this](HidDevice* candidate) {
        const bool listed = std::any_of(m_devices.begin(), m_devices.end(), [candidate](const HidDevice* d) {
            return d->plugged() && d->pnpInfo().deviceInstance == candidate->pnpInfo().deviceInstance;
        });
        if (listed) {
            candidate->m_owningController = nullptr;
            delete candidate;
        }
        return listed;
    });
    arrivalPass(fresh, changed);
    if ((changed || !m_firstChangeDone) && m_onDeviceChange) m_onDeviceChange(*this);
}

void HidDeviceMonitor::removalPass(const std::vector<HidDevice*>& fresh, bool& changed) {
    for (int i = static_cast<int>(m_devices.size()) - 1; i >= 0; --i) {
        if (i >= static_cast<int>(m_devices.size())) continue;
        HidDevice* device = m_devices[static_cast<std::size_t>(i)];
        const bool stillThere = device->plugged() && std::any_of(fresh.begin(), fresh.end(), [device](const HidDevice* f) {
                                    return f->pnpInfo().deviceInstance == device->pnpInfo().deviceInstance;
                                });
        if (stillThere) continue;
        device->markUnplugged();
        if (m_onRemoval) {
            device->m_channel->setBeingEnumerated(true);
            m_onRemoval(*device);
            // The holder may have handed the device back from inside the handler.
            if (indexOf(device) < 0) {
                changed = true;
                continue;
            }
            device->m_channel->setBeingEnumerated(false);
        }
        if (!device->claimed()) dropDevice(device);
        changed = true;
    }
}

void HidDeviceMonitor::arrivalPass(std::vector<HidDevice*>& fresh, bool& changed) {
    for (HidDevice* device : fresh) {
        m_devices.push_back(device);
        changed = true;
        if (m_onArrival) {
            device->m_channel->setBeingEnumerated(true);
            m_onArrival(*device);
            if (indexOf(device) >= 0) device->m_channel->setBeingEnumerated(false);
        }
    }
    fresh.clear();
}

void HidDeviceMonitor::dropDevice(HidDevice* device) {
    const int i = indexOf(device);
    if (i >= 0) m_devices.erase(m_devices.begin() + i);
    device->m_owningController = nullptr;
    delete device;
}

int HidDeviceMonitor::indexOf(const HidDevice* device) const {
    const auto it = std::find(m_devices.begin(), m_devices.end(), device);
    return it == m_devices.end() ? -1 : static_cast<int>(it - m_devices.begin());
}

int HidDeviceMonitor::enumerateDevices() {
    int count = 0;
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        HidDevice* device = m_devices[i];
        if (!device->plugged()) continue;
        ++count;
        device->m_channel->setBeingEnumerated(true);
        const bool goOn = m_onEnumerate ? m_onEnumerate(*device, static_cast<int>(i)) : false;
        if (indexOf(device) < 0) {
            if (!goOn) break;
            continue;
        }
        device->m_channel->setBeingEnumerated(false);
        if (!device->claimed()) {
            device->closeControlHandle();
            device->closeReadHandle();
        }
        if (!goOn) break;
    }
    return count;
}

std::unique_ptr<HidDevice> HidDeviceMonitor::claimByIndex(int index) {
    if (index < 0 || index >= static_cast<int>(m_devices.size())) return nullptr;
    HidDevice* device = m_devices[static_cast<std::size_t>(index)];
    if (device->claimed()) return nullptr;
    device->m_channel->setClaimed(true);
    device->startReader();
    return std::unique_ptr<HidDevice>(device);
}

void HidDeviceMonitor::setDeviceChangeHandler(HidNotifyEvent handler) {
    if (handler == m_onDeviceChange) return;
    m_onDeviceChange = std::move(handler);
    if (!m_onDeviceChange) return;  // a listener leaving: nobody to tell
    m_firstChangeDone = false;      // a new listener is told even when nothing changed
    rescan();
    m_firstChangeDone = true;
}

void HidDeviceMonitor::setDeviceDataHandler(HidDataEvent handler) {
    if (handler == m_onDeviceData) return;
    for (HidDevice* device : m_devices) {
        if (device->dataHandler() == m_onDeviceData) device->setDataHandler(handler);
    }
    m_onDeviceData = std::move(handler);
}

void HidDeviceMonitor::setDeviceDataErrorHandler(HidDataErrorEvent handler) {
    if (handler == m_onDeviceDataError) return;
    for (HidDevice* device : m_devices) {
        if (device->m_dataErrorHandler == m_onDeviceDataError) device->m_dataErrorHandler = handler;
    }
    m_onDeviceDataError = std::move(handler);
}

void HidDeviceMonitor::setDeviceUnplugHandler(HidPlugEvent handler) {
    if (handler == m_onDeviceUnplug) return;
    for (HidDevice* device : m_devices) {
        if (device->m_unplugHandler == m_onDeviceUnplug) device->m_unplugHandler = handler;
    }
    m_onDeviceUnplug = std::move(handler);
}

void HidDeviceMonitor::setReadSleepTime(int ms) {
    if (ms == m_devThreadSleepTime) return;
    for (HidDevice* device : m_devices) {
        if (device->readSleepMs() == m_devThreadSleepTime) device->setReadSleep(ms);
    }
    m_devThreadSleepTime = ms;
}

void HidDeviceMonitor::handBack(HidDevice& device, std::unique_ptr<HidPnPInfo> info, bool plugged,
                                      const HidDataEvent& data, const HidDataErrorEvent& dataError,
                                      const HidPlugEvent& unplug, int readSleepMs) {
    const int i = indexOf(&device);
    if (i < 0) return;
    if (plugged && info) {
        try {
            auto* fresh = new HidDevice(std::move(info), *this);
            fresh->setDataHandler(data);
            fresh->m_dataErrorHandler = dataError;
            fresh->m_unplugHandler = unplug;
            fresh->setReadSleep(readSleepMs);
            m_devices[static_cast<std::size_t>(i)] = fresh;
            return;
        } catch (...) {
            // Gone in between: the position is dropped like an unplugged device's.
        }
    }
    m_devices.erase(m_devices.begin() + i);
}

}  // namespace veska
