#pragma once

#include "links/PortMap.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace veska {

// One serial device of the machine, as the Ports dialog lists it beside the COM1..COM4 map.
struct SerialDeviceDescription {
    QString path;
    QString description;
    QString manufacturer;
    std::optional<std::uint16_t> vendorId;
    std::optional<std::uint16_t> productId;
    QString serialNumber;
};

}  // namespace veska
