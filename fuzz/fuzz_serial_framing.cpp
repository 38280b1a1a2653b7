// Arbitrary byte streams, cut into chunks by the input itself, through the serial framing;
// every accepted packet goes on to the decoder as it would in the program.
#include "protocol/LowDigitSerialFraming.h"
#include "protocol/PacketDecoder.h"
#include "protocol/VeskaSerialFraming.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    veska::DecodeResult result;
    veska::VeskaSerialFraming framing([&](std::string_view packet) {
        if (packet.size() != 26) std::abort();
        veska::decodePacket(packet, 6000, result);
    });
    veska::LowDigitSerialFraming lowDigits;
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t chunk = 1 + data[pos] % 17;
        const std::size_t n = chunk < size - pos ? chunk : size - pos;
        framing.feed(data + pos, n);
        lowDigits.feed(data + pos, n);
        pos += n;
    }
    return 0;
}
