// Arbitrary report sequences through the three report handlers. Input layout: per report,
// one byte choosing handler and length, then the report's bytes.
#include "protocol/HidReportReassembly.h"
#include "protocol/PacketDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    veska::DecodeResult result;
    veska::HidReportReassembly r([&](std::string_view packet) { veska::decodePacket(packet, 1000, result); },
                                 [](const std::string&) {});
    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t head = data[pos++];
        std::size_t len = head % 10;
        if (len > size - pos) len = size - pos;
        const std::uint8_t id = len > 0 ? data[pos] : 0;
        const std::uint8_t* body = len > 0 ? data + pos + 1 : nullptr;
        const std::size_t bodyLen = len > 0 ? len - 1 : 0;
        switch (head >> 6) {
        case 0: r.onLumioReport(id, body, bodyLen); break;
        case 1: r.onKestoReport(id, body, bodyLen); break;
        default: r.onVeskaReport(id, body, bodyLen); break;
        }
        pos += len;
    }
    return 0;
}
