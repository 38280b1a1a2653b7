#include "protocol/HidReportReassembly.h"

#include "protocol/HexText.h"

namespace veska {

HidReportReassembly::HidReportReassembly(PacketHandler onPacket, LineHandler onReportLine)
    : m_onPacket(std::move(onPacket)), m_onReportLine(std::move(onReportLine)) {}

std::string HidReportReassembly::reportLine(std::uint8_t reportId, const std::uint8_t* data, std::size_t size) {
    std::string line = "R ";
    line.reserve(6 + 3 * size);
    appendHexByte(line, reportId);
    line += "  ";
    for (std::size_t i = 0; i < size; ++i) {
        appendHexByte(line, data[i]);
        line.push_back(' ');
    }
    return line;
}

void HidReportReassembly::onLumioReport(std::uint8_t reportId, const std::uint8_t* data, std::size_t size) {
    handleReport(CloseRule::Lumio, reportId, data, size);
}

void HidReportReassembly::onKestoReport(std::uint8_t reportId, const std::uint8_t* data, std::size_t size) {
    handleReport(CloseRule::Kesto, reportId, data, size);
}

void HidReportReassembly::onVeskaReport(std::uint8_t reportId, const std::uint8_t* data, std::size_t size) {
    handleReport(CloseRule::Veska, reportId, data, size);
}

void HidReportReassembly::handleReport(CloseRule rule, std::uint8_t reportId, const std::uint8_t* data,
                                       std::size_t size) {
    if (size == 0) {
        // Report ID only: not counted, but it still closes an open packet.
        if (m_packetOpen) closePacket(rule);
        m_packetOpen = false;
        return;
    }
    ++m_emptyReportCount;
    const int count = data[0] & 0x0F;  // hex letters (10..15) and 0 carry no stream bytes
    if (count >= 1 && count <= 9) {
        m_emptyReportCount = 0;
        m_packetOpen = true;
        // A count beyond the bytes present takes only the bytes present.
        for (std::size_t b = 0; b < static_cast<std::size_t>(count) && b + 1 < size; ++b) {
            appendHexByte(m_reportPayloadText, data[b + 1]);
        }
        if (m_reportPayloadText.size() > kMaxPayloadChars) {
            m_reportPayloadText.erase(0, m_reportPayloadText.size() - kMaxPayloadChars);
            if (!m_overflowing) ++m_brokenPackets;
            m_overflowing = true;
        }
        if (m_onReportLine) m_onReportLine(reportLine(reportId, data, size));
        return;
    }
    if (m_packetOpen) closePacket(rule);
    m_packetOpen = false;
}

void HidReportReassembly::closePacket(CloseRule rule) {
    const std::string& payload = m_reportPayloadText;
    switch (rule) {
    case CloseRule::Lumio:
        // Low digit of each of the first 14 bytes.
        m_packetText.clear();
        for (std::size_t i = 1; i < payload.size() && i < 28; i += 2) m_packetText.push_back(payload[i]);
        break;
    case CloseRule::Kesto: {
        // Low digits of the first 11 bytes, the eleventh moved to the front.
        std::string t;
        for (std::size_t i = 1; i < payload.size() && i < 22; i += 2) t.push_back(payload[i]);
        m_packetText.clear();
        if (t.size() > 10) m_packetText.push_back(t[10]);
        m_packetText.append(t, 0, 10);
        break;
    }
    case CloseRule::Veska:
        m_packetText = payload;
        break;
    }
    m_reportPayloadText.clear();
    const bool overflowed = m_overflowing;
    m_overflowing = false;
    // Cleared before the cycle runs: a packet the cycle cannot use is simply dropped and
    // the next report starts afresh.
    m_packetOpen = false;
    if (rule != CloseRule::Veska) return;
    const std::string& p = m_packetText;
    const bool pass = p.size() >= 26 && p[0] == '2' && (p[1] == 'B' || p[1] == 'D') && p[24] == '0' && p[25] == 'D';
    // The packet that ends an overflow lost its start: it was counted when the overflow began.
    if (overflowed) return;
    if (!(pass)) {
        ++m_brokenPackets;
        return;
    }
    if (m_onPacket) m_onPacket(m_packetText);
}

void HidReportReassembly::reset() {
    m_reportPayloadText.clear();
    m_packetOpen = false;
    m_overflowing = false;
}

}  // namespace veska
