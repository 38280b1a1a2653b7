#pragma once

#include "protocol/LcdState.h"
#include "protocol/MeterReading.h"

#include <string>
#include <string_view>

namespace veska {

// Outcome of decoding one packet. Failure is an error result, not an exception:
// the per-packet path must never unwind through the framing loop.
struct DecodeResult {
    bool ok = false;
    std::string error;  // "'%s' is not a valid integer value" when !ok
    LcdState lcd;
    MeterReading reading;
};

// PacketText spelled as '0'/'1' characters, four per hex digit, MSB first, 112 long.
// Missing characters (texts shorter than 28) repeat the bits of the one before.
std::string packetBits(std::string_view packetText);

// Decodes a packet that passed the framing test (starts "2B"/"2D", at least 26 hex
// characters). fullScaleCount gives the overload value. On failure nothing of the
// reading is usable; the caller keeps its previous state.
DecodeResult decodePacket(std::string_view packetText, int fullScaleCount);

// In-place variant for the per-packet path: fills 'out' and reuses its buffers.
void decodePacket(std::string_view packetText, int fullScaleCount, DecodeResult& out);

}  // namespace veska
