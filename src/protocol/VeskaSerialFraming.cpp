#include "protocol/VeskaSerialFraming.h"

#include "protocol/HexText.h"

namespace veska {

namespace {
constexpr std::size_t kPacketChars = 26;  // sign byte to end byte, 13 bytes
}

VeskaSerialFraming::VeskaSerialFraming(PacketHandler onPacket) : m_onPacket(std::move(onPacket)) {
    m_serialHexText.reserve(64);
    m_packetText.reserve(kPacketChars);
}

void VeskaSerialFraming::feed(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        appendHexByte(m_serialHexText, data[i]);
        if (data[i] == 0x0D) {
            endOfPacket();
        } else if (m_serialHexText.size() > kMaxHexChars) {
            m_serialHexText.erase(0, m_serialHexText.size() - kMaxHexChars);
            if (!m_overflowing) ++m_brokenPackets;
            m_overflowing = true;
        }
    }
}

void VeskaSerialFraming::endOfPacket() {
    // The byte after the previous end byte is dropped, whatever it is.
    m_packetText.assign(m_serialHexText.size() > 2 ? std::string_view(m_serialHexText).substr(2, kPacketChars)
                                                   : std::string_view());
    const bool signOk = m_packetText.size() >= 2 && m_packetText[0] == '2' &&
                        (m_packetText[1] == 'B' || m_packetText[1] == 'D');
    const bool endOk = m_packetText.size() >= kPacketChars && m_packetText[24] == '0' && m_packetText[25] == 'D';
    // Emptied before the handler runs, so a handler that fails leaves the framing in step.
    m_serialHexText.clear();
    const bool overflowed = m_overflowing;
    m_overflowing = false;
    // The packet that ends an overflow lost its start: it was counted when the overflow began.
    if (overflowed) return;
    if (!(signOk && endOk)) {
        ++m_brokenPackets;
        return;
    }
    if (m_onPacket) m_onPacket(m_packetText);
}

}  // namespace veska
