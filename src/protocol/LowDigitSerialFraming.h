#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace veska {

// The framing of the models whose packets end with a byte of high hex digit E
// (onLowDigitSerialBytes): keeps only the low hex digit of each byte and stores the packet text
// at each end byte. Nothing decodes these packets.
class LowDigitSerialFraming {
public:
    void feed(const std::uint8_t* data, std::size_t size);

    // Text kept while no end byte arrives, one character per byte; beyond it the oldest
    // characters go, and each such run counts as one broken packet.
    static constexpr std::size_t kMaxChars = 4 * 14;
    std::uint64_t brokenPackets() const { return m_brokenPackets; }

    const std::string& serialHexText() const { return m_serialHexText; }
    const std::string& packetText() const { return m_packetText; }

private:
    std::string m_serialHexText;
    std::string m_packetText;
    std::uint64_t m_brokenPackets = 0;
    bool m_overflowing = false;
};

}  // namespace veska
