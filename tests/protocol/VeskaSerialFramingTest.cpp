#include "protocol/LowDigitSerialFraming.h"
#include "protocol/VeskaSerialFraming.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace veska;

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kExample{0x0A, 0x2B, 0x30, 0x31, 0x32, 0x33, 0x20, 0x32, 0x00, 0x00, 0x00, 0x80, 0x00, 0x0D};
const std::string kExampleText = "2B3031323320320000008000" "0D";

struct Collector {
    std::vector<std::string> packets;
    VeskaSerialFraming framing{[this](std::string_view p) { packets.emplace_back(p); }};
    void feed(const Bytes& b) { framing.feed(b.data(), b.size()); }
};

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

TEST(VeskaSerialFraming, AcceptsThePacketWholeOrSplitAnywhere) {
    const Bytes stream = Concat({kExample, kExample});
    for (std::size_t cut1 = 0; cut1 <= stream.size(); ++cut1) {
        for (std::size_t cut2 = cut1; cut2 <= stream.size(); cut2 += 5) {
            Collector c;
            c.framing.feed(stream.data(), cut1);
            c.framing.feed(stream.data() + cut1, cut2 - cut1);
            c.framing.feed(stream.data() + cut2, stream.size() - cut2);
            ASSERT_EQ(c.packets.size(), 2U) << "cuts " << cut1 << "," << cut2;
            EXPECT_EQ(c.packets[0], kExampleText);
            EXPECT_EQ(c.framing.packetText(), kExampleText);
            EXPECT_TRUE(c.framing.serialHexText().empty());
        }
    }
}

TEST(VeskaSerialFraming, RefusesWrongLengthsAndKeepsStep) {
    const Bytes thirteen(kExample.begin() + 1, kExample.end());
    Bytes otherLead = kExample;
    otherLead[0] = 0x00;
    Bytes endInStatus = kExample;
    endInStatus[9] = 0x0D;  // a status byte equal to the end byte cuts the packet in two

    struct Case {
        const char* name;
        Bytes stream;
        std::size_t accepted;
    };
    const Case cases[] = {
        {"thirteen bytes", thirteen, 0},
        {"sign right after an end byte", Concat({kExample, thirteen}), 1},
        {"any leading byte", otherLead, 1},
        {"0x0D inside the status bytes, then a good packet", Concat({endInStatus, kExample}), 1},
        {"mid-packet start", Concat({Bytes(kExample.begin() + 5, kExample.end()), kExample}), 1},
        {"wrong sign byte", Concat({Bytes{0x0A, 0x2A}, Bytes(kExample.begin() + 2, kExample.end())}), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Collector col;
        col.feed(c.stream);
        EXPECT_EQ(col.packets.size(), c.accepted);
        for (const std::string& p : col.packets) EXPECT_EQ(p, kExampleText);
    }
}

TEST(VeskaSerialFraming, PacketTextIsOverwrittenAlsoWhenRefused) {
    Collector c;
    const Bytes shortPacket{0x0A, 0x2B, 0x30, 0x0D};
    c.feed(shortPacket);
    EXPECT_TRUE(c.packets.empty());
    EXPECT_EQ(c.framing.packetText(), "2B300D");
}

TEST(VeskaSerialFraming, AHandlerThatThrowsLeavesTheFramingInStep) {
    int calls = 0;
    VeskaSerialFraming framing([&](std::string_view) {
        if (++calls == 1) throw std::runtime_error("cycle failed");
    });
    EXPECT_THROW(framing.feed(kExample.data(), kExample.size()), std::runtime_error);
    EXPECT_TRUE(framing.serialHexText().empty());
    framing.feed(kExample.data(), kExample.size());
    EXPECT_EQ(calls, 2);
}

TEST(LowDigitSerialFraming, KeepsLowDigitsUntilAnEByte) {
    LowDigitSerialFraming f;
    const Bytes bytes{0x17, 0x2A, 0xE5, 0x31};
    f.feed(bytes.data(), bytes.size());
    EXPECT_EQ(f.packetText(), "7A5");
    EXPECT_EQ(f.serialHexText(), "1");
}

// A line that never sends the end byte keeps a few packets' worth of text: the oldest bytes
// go, the run counts as one broken packet, and the framing is in step at the next end byte.
TEST(VeskaSerialFraming, TextWithoutEndByteStaysBounded) {
    struct Case {
        const char* name;
        std::size_t noiseBytes;
        std::size_t broken;
    };
    const Case cases[] = {
        {"no noise", 0, 0},
        {"short noise: a broken packet at the end byte", 40, 1},
        {"just over the bound", VeskaSerialFraming::kMaxHexChars / 2, 1},
        {"a stuck line", 100000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Collector col;
        std::size_t longest = 0;
        const Bytes stream = Concat({Bytes(c.noiseBytes, 0x55), kExample, kExample});
        for (std::uint8_t b : stream) {
            col.framing.feed(&b, 1);
            longest = std::max(longest, col.framing.serialHexText().size());
        }
        EXPECT_LE(longest, VeskaSerialFraming::kMaxHexChars);
        EXPECT_EQ(col.framing.brokenPackets(), c.broken);
        ASSERT_FALSE(col.packets.empty());
        EXPECT_EQ(col.packets.back(), kExampleText);
        EXPECT_EQ(col.packets.size(), c.noiseBytes == 0 ? 2U : 1U);
    }
}

TEST(LowDigitSerialFraming, TextWithoutEndByteStaysBounded) {
    LowDigitSerialFraming framing;
    const std::uint8_t noise = 0x31;
    for (int i = 0; i < 100000; ++i) framing.feed(&noise, 1);
    EXPECT_LE(framing.serialHexText().size(), LowDigitSerialFraming::kMaxChars);
    EXPECT_EQ(framing.brokenPackets(), 1U);
    const Bytes packet{0x32, 0x33, 0xE4};
    framing.feed(packet.data(), packet.size());
    framing.feed(packet.data(), packet.size());
    EXPECT_EQ(framing.packetText(), "234");
    EXPECT_EQ(framing.brokenPackets(), 1U);
}
