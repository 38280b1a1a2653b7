#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace veska {

// The framing of the models whose packets end with a byte of high hex digit E
// (HSorvuRData): keeps only the low hex digit of each byte and stores the packet text
// at each end byte. Nothing decodes these packets.
class LowDigitSerialFraming {
public:
    void feed(const std::uint8_t* data, std::size_t size);

    const std::string& serialHexText() const { return m_serialHexText; }
    const std::string& packetText() const { return m_packetText; }

private:
    std::string m_serialHexText;
    std::string m_packetText;
};

}  // namespace veska
