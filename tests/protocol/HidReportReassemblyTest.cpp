#include "protocol/HidReportReassembly.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace veska;

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kStream{0x2B, 0x30, 0x31, 0x32, 0x33, 0x20, 0x32, 0x00, 0x00, 0x00, 0x80, 0x00, 0x0D, 0x0A};
const std::string kStreamText = "2B30313233203200000080000D0A";
const Bytes kEmpty{0xF0, 0, 0, 0, 0, 0, 0, 0};

struct Rig {
    std::vector<std::string> packets;
    std::vector<std::string> lines;
    HidReportReassembly r{[this](std::string_view p) { packets.emplace_back(p); },
                          [this](const std::string& l) { lines.push_back(l); }};

    void report(const Bytes& data) { r.onVeskaReport(0, data.data(), data.size()); }
    // The stream in reports of n stream bytes each, the way the bridge sends it.
    void stream(const Bytes& bytes, std::size_t n) {
        for (std::size_t i = 0; i < bytes.size(); i += n) {
            const std::size_t count = std::min(n, bytes.size() - i);
            Bytes data{static_cast<std::uint8_t>(0xF0 | count)};
            data.insert(data.end(), bytes.begin() + static_cast<long>(i), bytes.begin() + static_cast<long>(i + count));
            data.resize(8, 0);
            report(data);
        }
    }
};

}  // namespace

TEST(HidReportReassembly, ReportLineAndOneStreamByte) {
    Rig rig;
    rig.r.setEmptyReportCount(5);
    rig.report({0xF1, 0x2B, 0, 0, 0, 0, 0, 0});
    ASSERT_EQ(rig.lines.size(), 1U);
    EXPECT_EQ(rig.lines[0], "R 00  F1 2B 00 00 00 00 00 00 ");
    EXPECT_EQ(rig.lines[0].size(), 30U);
    EXPECT_EQ(rig.r.reportPayloadText(), "2B");
    EXPECT_TRUE(rig.r.packetOpen());
    EXPECT_EQ(rig.r.emptyReportCount(), 0);
}

TEST(HidReportReassembly, ClosesThePacketOnAReportWithoutStreamBytes) {
    for (std::size_t n : {1U, 7U}) {
        SCOPED_TRACE(n);
        Rig rig;
        rig.stream(kStream, n);
        EXPECT_TRUE(rig.packets.empty());
        rig.report(kEmpty);
        ASSERT_EQ(rig.packets.size(), 1U);
        EXPECT_EQ(rig.packets[0], kStreamText);
        EXPECT_EQ(rig.r.packetText(), kStreamText);
        EXPECT_FALSE(rig.r.packetOpen());
        EXPECT_TRUE(rig.r.reportPayloadText().empty());
        EXPECT_EQ(rig.lines.size(), (kStream.size() + n - 1) / n);
    }
}

TEST(HidReportReassembly, BrokenPacketsAreDropped) {
    {
        SCOPED_TRACE("two packets without a gap: the first is decoded, the second lost");
        Rig rig;
        rig.stream(kStream, 7);
        rig.stream(kStream, 7);
        rig.report(kEmpty);
        ASSERT_EQ(rig.packets.size(), 1U);
        EXPECT_EQ(rig.packets[0].size(), 56U);
    }
    {
        SCOPED_TRACE("connection in the middle of a packet");
        Rig rig;
        rig.stream(Bytes(kStream.begin() + 3, kStream.end()), 7);
        rig.report(kEmpty);
        rig.stream(kStream, 7);
        rig.report(kEmpty);
        EXPECT_EQ(rig.packets.size(), 1U);
    }
    {
        SCOPED_TRACE("an empty report in the middle of a packet");
        Rig rig;
        rig.stream(Bytes(kStream.begin(), kStream.begin() + 7), 7);
        rig.report(kEmpty);
        rig.stream(Bytes(kStream.begin() + 7, kStream.end()), 7);
        rig.report(kEmpty);
        EXPECT_TRUE(rig.packets.empty());
    }
    {
        SCOPED_TRACE("report ID only closes but is not counted");
        Rig rig;
        rig.stream(kStream, 7);
        rig.r.setEmptyReportCount(3);
        rig.r.onVeskaReport(0, nullptr, 0);
        EXPECT_EQ(rig.packets.size(), 1U);
        EXPECT_EQ(rig.r.emptyReportCount(), 3);
    }
}

TEST(HidReportReassembly, CountDigitRules) {
    Rig rig;
    rig.report({0xFA, 0x2B, 0x2B});  // a hex letter is no stream byte: counts as empty
    EXPECT_EQ(rig.r.emptyReportCount(), 1);
    EXPECT_FALSE(rig.r.packetOpen());
    rig.report({0xF9, 0x2B, 0x30});  // more counted than present: takes what is there
    EXPECT_EQ(rig.r.reportPayloadText(), "2B30");
    for (int i = 0; i < 1900; ++i) rig.report(kEmpty);
    EXPECT_EQ(rig.r.emptyReportCount(), 1900);
}

TEST(HidReportReassembly, OtherModelsPacketTexts) {
    std::vector<std::string> packets;
    HidReportReassembly r([&](std::string_view p) { packets.emplace_back(p); });
    const Bytes kesto{0xF7, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17};
    const Bytes kesto2{0xF4, 0x18, 0x19, 0x1A, 0x1B};
    r.onKestoReport(0, kesto.data(), kesto.size());
    r.onKestoReport(0, kesto2.data(), kesto2.size());
    r.onKestoReport(0, kEmpty.data(), kEmpty.size());
    EXPECT_EQ(r.packetText(), "B123456789A");

    const Bytes lumio{0xF3, 0x17, 0x2A, 0xE5};
    r.onLumioReport(0, lumio.data(), lumio.size());
    r.onLumioReport(0, kEmpty.data(), kEmpty.size());
    EXPECT_EQ(r.packetText(), "7A5");
    EXPECT_TRUE(packets.empty());  // nothing decodes these formats
}

// A bridge that never sends a report without stream bytes: the payload text keeps a few
// packets' worth, the run counts as one broken packet, and the next packet comes through.
TEST(HidReportReassembly, PayloadWithoutClosingReportStaysBounded) {
    struct Case {
        const char* name;
        std::size_t noiseBytes;
        std::uint64_t broken;
    };
    const Case cases[] = {
        {"no noise", 0, 0},
        {"a short broken packet", 10, 1},
        {"just over the bound", HidReportReassembly::kMaxPayloadChars / 2 + 1, 1},
        {"never closed", 100000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        std::size_t longest = 0;
        for (std::size_t i = 0; i < c.noiseBytes; i += 7) {
            rig.stream(Bytes(7, 0x55), 7);
            longest = std::max(longest, rig.r.reportPayloadText().size());
        }
        if (c.noiseBytes > 0) rig.report(kEmpty);
        rig.stream(kStream, 7);
        rig.report(kEmpty);
        EXPECT_LE(longest, HidReportReassembly::kMaxPayloadChars);
        EXPECT_EQ(rig.r.brokenPackets(), c.broken);
        ASSERT_EQ(rig.packets.size(), 1U);
        EXPECT_EQ(rig.packets[0], kStreamText);
    }
}
