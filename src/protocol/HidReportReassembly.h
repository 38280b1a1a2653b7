#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace veska {

// Collects the meter's stream bytes from the USB bridge's input reports. The first data
// byte carries the count of stream bytes (1..9 in its low hex digit); a report without
// stream bytes closes the packet. One object holds the state shared by the three report
// handlers, so switching handlers keeps a half-collected packet, as the bridge does.
class HidReportReassembly {
public:
    using PacketHandler = std::function<void(std::string_view packetText)>;
    using LineHandler = std::function<void(const std::string& reportLine)>;

    HidReportReassembly(PacketHandler onPacket = {}, LineHandler onReportLine = {});

    void setPacketHandler(PacketHandler onPacket) { m_onPacket = std::move(onPacket); }
    void setReportLineHandler(LineHandler onLine) { m_onReportLine = std::move(onLine); }

    // The three report handlers. 'data' are the bytes after the report ID.
    void onLumioReport(std::uint8_t reportId, const std::uint8_t* data, std::size_t size);
    void onKestoReport(std::uint8_t reportId, const std::uint8_t* data, std::size_t size);
    // Runs the packet handler when a closed packet starts with a sign byte and its
    // thirteenth byte is 0x0D.
    void onVeskaReport(std::uint8_t reportId, const std::uint8_t* data, std::size_t size);

    // "R %.2X  " followed by "%.2X " per data byte.
    static std::string reportLine(std::uint8_t reportId, const std::uint8_t* data, std::size_t size);

    // Payload text kept while no report closes the packet: a few packets' worth. Beyond it
    // the oldest bytes go, so a bridge that never sends an empty report never grows memory.
    static constexpr std::size_t kMaxPayloadChars = 4 * 28;
    // Packets that could not be used: closed ones that fail the sign and end-byte test, and
    // each run of reports that overflowed the payload text.
    std::uint64_t brokenPackets() const { return m_brokenPackets; }
    // Forgets a partly collected packet (reading was stopped).
    void reset();

    int emptyReportCount() const { return m_emptyReportCount; }
    void setEmptyReportCount(int count) { m_emptyReportCount = count; }
    const std::string& reportPayloadText() const { return m_reportPayloadText; }
    bool packetOpen() const { return m_packetOpen; }
    const std::string& packetText() const { return m_packetText; }

private:
    enum class CloseRule { Lumio, Kesto, Veska };
    void handleReport(CloseRule rule, std::uint8_t reportId, const std::uint8_t* data, std::size_t size);
    void closePacket(CloseRule rule);

    PacketHandler m_onPacket;
    LineHandler m_onReportLine;
    std::string m_reportPayloadText;
    std::string m_packetText;
    bool m_packetOpen = false;
    bool m_overflowing = false;
    int m_emptyReportCount = 0;
    std::uint64_t m_brokenPackets = 0;
};

}  // namespace veska
