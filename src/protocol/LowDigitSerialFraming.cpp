#include "LowDigitSerialFraming.h"

#include "HexText.h"

namespace veska {

void LowDigitSerialFraming::feed(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        m_serialHexText.push_back(LowHexDigit(data[i]));
        if ((data[i] >> 4) == 0x0E) {
            m_packetText = m_serialHexText;
            m_serialHexText.clear();
        }
    }
}

}  // namespace veska
