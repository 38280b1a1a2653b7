#include "protocol/LowDigitSerialFraming.h"

#include "protocol/HexText.h"

namespace veska {

void LowDigitSerialFraming::feed(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        m_serialHexText.push_back(lowHexDigit(data[i]));
        if ((data[i] >> 4) == 0x0E) {
            m_packetText = m_serialHexText;
            m_serialHexText.clear();
            m_overflowing = false;
        } else if (m_serialHexText.size() > kMaxChars) {
            m_serialHexText.erase(0, m_serialHexText.size() - kMaxChars);
            if (!m_overflowing) ++m_brokenPackets;
            m_overflowing = true;
        }
    }
}

}  // namespace veska
