#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace veska {

// Finds packets in the serial byte stream of a meter that ends each packet with 0x0D
// and starts it with a sign byte (the receive handler onSerialBytes). A packet is
// accepted when exactly 14 bytes arrived since the previous end byte and the second of
// them is '+' or '-'; the first is dropped.
class VeskaSerialFraming {
public:
    using PacketHandler = std::function<void(std::string_view packetText)>;

    explicit VeskaSerialFraming(PacketHandler onPacket = {});

    void setPacketHandler(PacketHandler onPacket) { m_onPacket = std::move(onPacket); }

    // Frames one chunk as read by one poll. The handler runs for every accepted packet,
    // in the middle of the chunk; the rest of the chunk is framed after it returns.
    void feed(const std::uint8_t* data, std::size_t size);

    // Text kept while no end byte arrives: a few packets' worth. Beyond it the oldest bytes
    // go, so a stuck or noisy line never grows memory.
    static constexpr std::size_t kMaxHexChars = 4 * 28;

    // Packets that could not be used: a wrong sign or length at the end byte, and each
    // run of bytes that overflowed the text without an end byte.
    std::uint64_t brokenPackets() const { return m_brokenPackets; }
    // Forgets a partly received packet (the link was stopped).
    void reset() { m_serialHexText.clear(); m_overflowing = false; }

    const std::string& serialHexText() const { return m_serialHexText; }
    const std::string& packetText() const { return m_packetText; }

private:
    void endOfPacket();

    PacketHandler m_onPacket;
    std::string m_serialHexText;
    std::string m_packetText;
    std::uint64_t m_brokenPackets = 0;
    bool m_overflowing = false;
};

}  // namespace veska
