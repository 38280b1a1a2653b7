#include "links/MeterScenario.h"

#include "protocol/PacketDecoder.h"
#include "protocol/VeskaSerialFraming.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

using namespace veska;

TEST(MeterScenario, PacketLayoutMatchesTheMeter) {
    const std::vector<std::uint8_t> packet = MeterScenario::makePacket('+', "0123", '2', {0x00, 0x00, 0x00, 0x80});
    const std::vector<std::uint8_t> expected{0x2B, 0x30, 0x31, 0x32, 0x33, 0x20, 0x32,
                                             0x00, 0x00, 0x00, 0x80, 0x00, 0x0D, 0x0A};
    EXPECT_EQ(packet, expected);
}

// Two cycles, framed as one stream after a line feed: every packet that is not broken
// on purpose is accepted, decodes, and together they show every situation.
TEST(MeterScenario, EveryWholePacketFramesAndDecodesAndAllSituationsAppear) {
    const MeterScenario scenario(7);
    struct Seen {
        MeterSituation situation;
        DecodeResult decoded;
    };
    std::vector<Seen> seen;
    MeterSituation current{};
    VeskaSerialFraming framing([&](std::string_view text) { seen.push_back({current, decodePacket(text, 6000)}); });
    const std::uint8_t lineFeed = 0x0A;
    framing.feed(&lineFeed, 1);

    std::size_t whole = 0;
    std::set<MeterSituation> situations;
    for (std::uint64_t n = 0; n < 2 * MeterScenario::cycleLength(); ++n) {
        const MeterScenario::Step step = scenario.step(n);
        current = step.situation;
        situations.insert(step.situation);
        if (!step.broken) {
            ++whole;
            EXPECT_EQ(step.bytes.size(), MeterScenario::kPacketSize) << n;
        }
        framing.feed(step.bytes.data(), step.bytes.size());
    }
    ASSERT_EQ(seen.size(), whole);
    EXPECT_EQ(situations.size(), 11U);

    std::map<MeterSituation, std::set<std::string>> facts;
    for (const Seen& s : seen) {
        ASSERT_TRUE(s.decoded.ok) << s.decoded.error;
        const LcdState& lcd = s.decoded.lcd;
        const MeterReading& r = s.decoded.reading;
        auto& f = facts[s.situation];
        f.insert("unit " + r.unitText);
        f.insert("coupling " + r.acDcText);
        f.insert(r.rangeText);
        f.insert("point " + std::to_string(lcd.pointIndex));
        if (lcd.overload) f.insert("overload");
        if (lcd.hold) f.insert("hold");
        if (lcd.rel) f.insert("rel");
        if (lcd.negative) f.insert("negative");
        if (lcd.kilo) f.insert("kilo");
    }
    const auto has = [&](MeterSituation s, const char* fact) { return facts[s].count(fact) == 1; };
    EXPECT_TRUE(has(MeterSituation::DcVoltageAuto, "unit V") && has(MeterSituation::DcVoltageAuto, "coupling DC") &&
                has(MeterSituation::DcVoltageAuto, "AUTO"));
    EXPECT_TRUE(has(MeterSituation::RangeChange, "point 1") && has(MeterSituation::RangeChange, "point 2"));
    EXPECT_TRUE(has(MeterSituation::AcVoltage, "coupling AC"));
    EXPECT_TRUE(has(MeterSituation::ResistanceKilo, "unit k*"));
    EXPECT_TRUE(has(MeterSituation::ResistanceMega, "unit M*"));
    EXPECT_TRUE(has(MeterSituation::Overload, "overload"));
    EXPECT_TRUE(has(MeterSituation::Temperature, "unit #") && has(MeterSituation::Temperature, "MANU"));
    EXPECT_TRUE(has(MeterSituation::Frequency, "unit Hz") && has(MeterSituation::Frequency, "kilo"));
    EXPECT_TRUE(has(MeterSituation::Hold, "hold"));
    EXPECT_TRUE(has(MeterSituation::Rel, "rel") && has(MeterSituation::Rel, "negative") &&
                has(MeterSituation::Rel, "unit mV"));
    EXPECT_EQ(facts.count(MeterSituation::BrokenPacket), 0U);
}

TEST(MeterScenario, TheSeedVariesTheReadingsNotTheSituations) {
    const MeterScenario a(1), b(2);
    bool differs = false;
    for (std::uint64_t n = 0; n < MeterScenario::cycleLength(); ++n) {
        EXPECT_EQ(a.step(n).situation, b.step(n).situation);
        differs = differs || a.step(n).bytes != b.step(n).bytes;
    }
    EXPECT_TRUE(differs);
}
