#include "links/BridgeChips.h"

#include <algorithm>

namespace veska {

const std::array<BridgeChips::Id, 3>& BridgeChips::known() {
    static constexpr std::array<Id, 3> kKnown{{{0x1a86, 0xe008}, {0x04fa, 0x2490}, {0x1244, 0xd237}}};
    return kKnown;
}

bool BridgeChips::isKnown(std::uint16_t vendor, std::uint16_t product) {
    const auto& ids = known();
    return std::any_of(ids.begin(), ids.end(), [&](const Id& id) { return id.vendor == vendor && id.product == product; });
}

}  // namespace veska
