#include "links/HidapiPlatform.h"

#include "links/HidReportDescriptor.h"
#include "links/UdevMonitor.h"

#include <hidapi.h>
#include <unistd.h>

#include <QString>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace veska {

namespace {
// hidraw nodes are /dev/hidrawN; their HID device sits under /sys/class/hidraw/hidrawN.
std::filesystem::path sysfsDeviceOf(const std::string& path) {
    return std::filesystem::path("/sys/class/hidraw") / std::filesystem::path(path).filename() / "device";
}

std::u16string toU16(const wchar_t* text) {
    return text ? QString::fromWCharArray(text).toStdU16String() : std::u16string();
}

// The longest input report and whether reports are numbered, from the descriptor the
// kernel publishes; a generous default when it cannot be read.
void readCapabilities(const std::string& path, HidapiHandle::Record& record) {
    std::ifstream file(sysfsDeviceOf(path) / "report_descriptor", std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const HidReportDescriptor descriptor = HidReportDescriptor::parse(bytes);
    record.numberedReports = descriptor.usesReportIds();
    const std::size_t length = descriptor.inputReportByteLength();
    record.caps.inputReportByteLength = static_cast<std::uint16_t>(length > 1 && length <= 0xFFFF ? length : 4097);
}
}  // namespace

HidapiPlatform::HidapiPlatform() {
    m_initialised = hid_init() == 0;
    if (m_initialised) {
        m_monitor = std::make_unique<UdevMonitor>([this] {
            if (m_onChange) m_onChange();
        });
    }
}

HidapiPlatform::~HidapiPlatform() {
    m_monitor.reset();
    if (m_initialised) hid_exit();
}

std::string HidapiPlatform::identityOf(const std::string& path) {
    // The HID device's sysfs name ends in a number the kernel never reuses, so a device
    // plugged in again is a new device even when it gets the same hidraw node.
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(sysfsDeviceOf(path), error);
    return error ? path : real.string();
}

std::string HidapiPlatform::portPathOf(const std::string& path) {
    // .../usb1/1-1/1-1.2/1-1.2:1.0/0003:1A86:E008.0005: the USB device is the nearest
    // ancestor named bus-port[.port...], without the interface's colon.
    std::error_code error;
    std::filesystem::path real = std::filesystem::canonical(sysfsDeviceOf(path), error);
    if (error) return {};
    for (; real.has_relative_path() && real != real.root_path(); real = real.parent_path()) {
        const std::string name = real.filename().string();
        const auto dash = name.find('-');
        if (dash == std::string::npos || dash == 0 || name.find(':') != std::string::npos) continue;
        if (name.find_first_not_of("0123456789.-") == std::string::npos) return name;
    }
    return {};
}

HidapiHandle::Record HidapiPlatform::describe(const hid_device_info& info) {
    HidapiHandle::Record record;
    record.attributes = HidAttributes{info.vendor_id, info.product_id, info.release_number};
    record.product = toU16(info.product_string);
    record.serial = toU16(info.serial_number);
    readCapabilities(info.path, record);
    return record;
}

std::vector<HidInterfaceInfo> HidapiPlatform::enumerate() {
    std::vector<HidInterfaceInfo> list;
    if (!m_initialised) return list;
    std::lock_guard lock(m_mutex);
    // Null also when there simply are no HID devices: not a failure.
    hid_device_info* all = hid_enumerate(0, 0);
    std::set<std::string> seen;  // one entry per usage, several per interface
    std::map<std::string, HidapiHandle::Record> records;
    for (hid_device_info* info = all; info; info = info->next) {
        if (!info->path || !seen.insert(info->path).second) continue;
        HidapiHandle::Record record = describe(*info);
        list.push_back({info->path, identityOf(info->path), portPathOf(info->path), record.attributes});
        records.emplace(info->path, std::move(record));
    }
    hid_free_enumeration(all);
    m_records = std::move(records);
    return list;
}

std::unique_ptr<HidHandle> HidapiPlatform::open(const std::string& path, Access access, int& error) {
    std::lock_guard lock(m_mutex);
    const auto it = m_records.find(path);
    if (!m_initialised || it == m_records.end()) {
        error = ENODEV;
        return nullptr;
    }
    if (access == Access::QueryOnly) return std::make_unique<HidapiHandle>(nullptr, it->second);
    hid_device* device = hid_open_path(path.c_str());
    if (!device) {
        // hidapi does not keep errno; ask the node itself why.
        error = ::access(path.c_str(), R_OK | W_OK) == 0 ? EIO : errno;
        return nullptr;
    }
    return std::make_unique<HidapiHandle>(device, it->second);
}

void HidapiPlatform::setDeviceChangeHandler(std::function<void()> onChange) { m_onChange = std::move(onChange); }

}  // namespace veska
