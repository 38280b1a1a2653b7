#pragma once

#include <array>
#include <cstdint>

namespace veska {

// The USB-to-serial bridge chips found in the meter's USB cable. Other products reuse
// these IDs too, so an ID alone does not make a device the cable: only together with the
// cable's product name, or with no product name at all (some chips report none).
class BridgeChips {
public:
    struct Id {
        std::uint16_t vendor;
        std::uint16_t product;
    };

    static const std::array<Id, 3>& known();
    static bool isKnown(std::uint16_t vendor, std::uint16_t product);
};

}  // namespace veska
