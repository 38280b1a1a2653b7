#include "links/SimulatedHidPlatform.h"

#include "links/SimulatedHidHandle.h"

#include <QMetaObject>

#include <algorithm>
#include <cerrno>

namespace veska {

SimulatedHidPlatform::SimulatedHidPlatform() = default;
SimulatedHidPlatform::~SimulatedHidPlatform() = default;

SimulatedHidDevice::Spec SimulatedHidPlatform::bridge() { return SimulatedHidDevice::Spec{}; }

SimulatedHidDevice::Spec SimulatedHidPlatform::otherDevice(std::u16string product) {
    SimulatedHidDevice::Spec spec;
    spec.product = std::move(product);
    spec.vendorId = 0x1209;
    spec.productId = 0x0001;
    spec.bridge = false;
    return spec;
}

std::shared_ptr<SimulatedHidDevice> SimulatedHidPlatform::plug(SimulatedHidDevice::Spec spec) {
    std::shared_ptr<SimulatedHidDevice> device;
    {
        std::lock_guard lock(m_mutex);
        const std::string number = std::to_string(m_nextNumber++);
        if (spec.portPath.empty()) spec.portPath = "1-" + number;
        device = std::make_shared<SimulatedHidDevice>(std::move(spec), "sim:hidraw" + number, "sim-device-" + number);
        m_devices.push_back(device);
    }
    announceChange();
    return device;
}

void SimulatedHidPlatform::unplug(const std::shared_ptr<SimulatedHidDevice>& device) {
    {
        std::lock_guard lock(m_mutex);
        std::erase(m_devices, device);
    }
    device->setPlugged(false);
    announceChange();
}

std::vector<HidInterfaceInfo> SimulatedHidPlatform::enumerate() {
    std::vector<HidInterfaceInfo> list;
    if (!m_available) return list;
    std::lock_guard lock(m_mutex);
    for (const auto& device : m_devices) list.push_back({device->path(), device->identity(), device->spec().portPath, device->attributes()});
    return list;
}

std::unique_ptr<HidHandle> SimulatedHidPlatform::open(const std::string& path, Access access, int& error) {
    std::shared_ptr<SimulatedHidDevice> device;
    {
        std::lock_guard lock(m_mutex);
        const auto it = std::find_if(m_devices.begin(), m_devices.end(),
                                     [&path](const auto& d) { return d->path() == path; });
        if (it != m_devices.end()) device = *it;
    }
    if (!m_available || !device) {
        error = ENODEV;
        return nullptr;
    }
    if (!device->spec().openable) {
        error = EIO;
        return nullptr;
    }
    if (access != Access::QueryOnly && !device->spec().readWrite) {
        error = EACCES;
        return nullptr;
    }
    return std::make_unique<SimulatedHidHandle>(device, access);
}

void SimulatedHidPlatform::setDeviceChangeHandler(std::function<void()> onChange) { m_onChange = std::move(onChange); }

void SimulatedHidPlatform::announceChange() {
    QMetaObject::invokeMethod(
        &m_noticeContext,
        [this] {
            if (m_onChange) m_onChange();
        },
        Qt::QueuedConnection);
}

}  // namespace veska
