// The decoder on any text, not only on texts that passed the framing.
#include "protocol/PacketDecoder.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const veska::DecodeResult r = veska::decodePacket(text, 6000);
    (void)veska::packetBits(text);
    if (r.ok && r.reading.rangeText.empty()) __builtin_trap();
    return 0;
}
