#include "links/HidDeviceInfo.h"

namespace veska {

namespace {
QString hex4(std::uint16_t value) { return QString("%1").arg(value, 4, 16, QChar('0')).toUpper(); }
}  // namespace

QString HidDeviceInfo::toText() const {
    return QString("Device: %1\nVendor ID: %2\nProduct ID: %3\nVersion: %4\nSerial number: %5\nAccess: %6\nPath: %7")
        .arg(caption, hex4(vendorId), hex4(productId), hex4(version),
             serialNumber.isEmpty() ? QString("(none)") : serialNumber,
             readWrite ? QString("read and write") : QString("queries only"), path);
}

}  // namespace veska
