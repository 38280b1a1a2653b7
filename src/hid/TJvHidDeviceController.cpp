#include "hid/TJvHidDeviceController.h"

#include "hid/EControllerError.h"
#include "hid/TJvHidDevice.h"

#include <algorithm>

namespace veska {

std::atomic<int> TJvHidDeviceController::s_controllers{0};

TJvHidDeviceController::TJvHidDeviceController(std::shared_ptr<HidPlatform> platform)
    : m_platform(std::move(platform)) {
    if (s_controllers.fetch_add(1) >= 1) {
        s_controllers.fetch_sub(1);
        throw EControllerError("Only one TJvHidDeviceController allowed per program");
    }
    m_devices = ScanDevices();
    if (m_platform && m_platform->available()) m_platform->setDeviceChangeHandler([this] { DeviceChange(); });
}

TJvHidDeviceController::~TJvHidDeviceController() {
    s_controllers.fetch_sub(1);
    m_onDeviceChange = nullptr;
    m_onDeviceUnplug = nullptr;
    m_onEnumerate = nullptr;
    if (m_platform && m_platform->available()) m_platform->setDeviceChangeHandler(nullptr);
    const std::vector<TJvHidDevice*> devices = std::move(m_devices);
    m_devices.clear();
    for (TJvHidDevice* device : devices) {
        device->m_owningController = nullptr;
        // A claimed device belongs to its holder, who still destroys it.
        if (device->Claimed()) {
            device->MarkUnplugged();
        } else {
            delete device;
        }
    }
}

std::vector<TJvHidDevice*> TJvHidDeviceController::ScanDevices() {
    std::vector<TJvHidDevice*> list;
    if (!m_platform || !m_platform->available()) return list;
    const std::vector<HidInterfaceInfo> present = m_platform->enumerate();
    list.reserve(present.size());
    for (const HidInterfaceInfo& info : present) {
        try {
            list.push_back(new TJvHidDevice(std::make_unique<TJvHidPnPInfo>(info.path, info.identity, info.portPath), *this));
        } catch (const EControllerError&) {
            // Not openable or not identifiable: skipped, tried again at the next scan.
        }
    }
    return list;
}

void TJvHidDeviceController::DeviceChange() {
    bool changed = false;
    std::vector<TJvHidDevice*> fresh = ScanDevices();
    removalPass(fresh, changed);
    std::erase_if(fresh, [this](TJvHidDevice* candidate) {
        const bool listed = std::any_of(m_devices.begin(), m_devices.end(), [candidate](const TJvHidDevice* d) {
            return d->Plugged() && d->PlugAndPlayInfo().DeviceInstance == candidate->PlugAndPlayInfo().DeviceInstance;
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

void TJvHidDeviceController::removalPass(const std::vector<TJvHidDevice*>& fresh, bool& changed) {
    for (int i = static_cast<int>(m_devices.size()) - 1; i >= 0; --i) {
        if (i >= static_cast<int>(m_devices.size())) continue;
        TJvHidDevice* device = m_devices[static_cast<std::size_t>(i)];
        const bool stillThere = device->Plugged() && std::any_of(fresh.begin(), fresh.end(), [device](const TJvHidDevice* f) {
                                    return f->PlugAndPlayInfo().DeviceInstance == device->PlugAndPlayInfo().DeviceInstance;
                                });
        if (stillThere) continue;
        device->MarkUnplugged();
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
        if (!device->Claimed()) dropDevice(device);
        changed = true;
    }
}

void TJvHidDeviceController::arrivalPass(std::vector<TJvHidDevice*>& fresh, bool& changed) {
    for (TJvHidDevice* device : fresh) {
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

void TJvHidDeviceController::dropDevice(TJvHidDevice* device) {
    const int i = indexOf(device);
    if (i >= 0) m_devices.erase(m_devices.begin() + i);
    device->m_owningController = nullptr;
    delete device;
}

int TJvHidDeviceController::indexOf(const TJvHidDevice* device) const {
    const auto it = std::find(m_devices.begin(), m_devices.end(), device);
    return it == m_devices.end() ? -1 : static_cast<int>(it - m_devices.begin());
}

int TJvHidDeviceController::EnumerateDevices() {
    int count = 0;
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        TJvHidDevice* device = m_devices[i];
        if (!device->Plugged()) continue;
        ++count;
        device->m_channel->setBeingEnumerated(true);
        const bool goOn = m_onEnumerate ? m_onEnumerate(*device, static_cast<int>(i)) : false;
        if (indexOf(device) < 0) {
            if (!goOn) break;
            continue;
        }
        device->m_channel->setBeingEnumerated(false);
        if (!device->Claimed()) {
            device->CloseControlHandle();
            device->CloseReadHandle();
        }
        if (!goOn) break;
    }
    return count;
}

std::unique_ptr<TJvHidDevice> TJvHidDeviceController::ClaimByIndex(int index) {
    if (index < 0 || index >= static_cast<int>(m_devices.size())) return nullptr;
    TJvHidDevice* device = m_devices[static_cast<std::size_t>(index)];
    if (device->Claimed()) return nullptr;
    device->m_channel->setClaimed(true);
    device->StartReader();
    return std::unique_ptr<TJvHidDevice>(device);
}

void TJvHidDeviceController::SetOnDeviceChange(TJvHidNotifyEvent handler) {
    if (handler == m_onDeviceChange) return;
    m_onDeviceChange = std::move(handler);
    DeviceChange();
    m_firstChangeDone = true;
}

void TJvHidDeviceController::SetOnDeviceData(TJvHidDataEvent handler) {
    if (handler == m_onDeviceData) return;
    for (TJvHidDevice* device : m_devices) {
        if (device->DataHandler() == m_onDeviceData) device->SetDataHandler(handler);
    }
    m_onDeviceData = std::move(handler);
}

void TJvHidDeviceController::SetOnDeviceDataError(TJvHidDataErrorEvent handler) {
    if (handler == m_onDeviceDataError) return;
    for (TJvHidDevice* device : m_devices) {
        if (device->m_dataErrorHandler == m_onDeviceDataError) device->m_dataErrorHandler = handler;
    }
    m_onDeviceDataError = std::move(handler);
}

void TJvHidDeviceController::SetOnDeviceUnplug(TJvHidPlugEvent handler) {
    if (handler == m_onDeviceUnplug) return;
    for (TJvHidDevice* device : m_devices) {
        if (device->m_unplugHandler == m_onDeviceUnplug) device->m_unplugHandler = handler;
    }
    m_onDeviceUnplug = std::move(handler);
}

void TJvHidDeviceController::SetDevThreadSleepTime(int ms) {
    if (ms == m_devThreadSleepTime) return;
    for (TJvHidDevice* device : m_devices) {
        if (device->ReadSleepMs() == m_devThreadSleepTime) device->SetReadSleep(ms);
    }
    m_devThreadSleepTime = ms;
}

void TJvHidDeviceController::handBack(TJvHidDevice& device, std::unique_ptr<TJvHidPnPInfo> info, bool plugged,
                                      const TJvHidDataEvent& data, const TJvHidDataErrorEvent& dataError,
                                      const TJvHidPlugEvent& unplug, int readSleepMs) {
    const int i = indexOf(&device);
    if (i < 0) return;
    if (plugged && info) {
        try {
            auto* fresh = new TJvHidDevice(std::move(info), *this);
            fresh->SetDataHandler(data);
            fresh->m_dataErrorHandler = dataError;
            fresh->m_unplugHandler = unplug;
            fresh->SetReadSleep(readSleepMs);
            m_devices[static_cast<std::size_t>(i)] = fresh;
            return;
        } catch (...) {
            // Gone in between: the position is dropped like an unplugged device's.
        }
    }
    m_devices.erase(m_devices.begin() + i);
}

}  // namespace veska
