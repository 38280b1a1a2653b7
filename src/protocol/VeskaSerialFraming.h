#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace veska {

// Finds packets in the serial byte stream of a meter that ends each packet with 0x0D
// and starts it with a sign byte (the receive handler RECEIVE_COM_Data). A packet is
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

    const std::string& serialHexText() const { return m_serialHexText; }
    const std::string& packetText() const { return m_packetText; }

private:
    void endOfPacket();

    PacketHandler m_onPacket;
    std::string m_serialHexText;
    std::string m_packetText;
};

}  // namespace veska
