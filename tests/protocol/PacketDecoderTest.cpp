#include "protocol/PacketDecoder.h"

#include <gtest/gtest.h>

#include <string>

using namespace veska;

namespace {

// A serial-link packet text: sign, four digit bytes, separator, point code, four status
// bytes, the unused byte and the end byte, each as two hex digits.
std::string Packet(const char* sign, const char* digits, char point, const char* status = "00000000") {
    std::string p = sign;
    p += digits;
    p += "20";
    p += "3";
    p += point;
    p += status;
    p += "00";
    p += "0D";
    return p;
}

struct Case {
    const char* name;
    std::string packet;
    int fullScale;
    const char* valueText;
    float numeric;
    const char* unit;
    const char* acDc;
    const char* range;
    int pointIndex;
    bool negative;
};

}  // namespace

TEST(DecodePacket, Readings) {
    const Case cases[] = {
        {"plain", Packet("2B", "30313233", '2'), 6000, "01.23", 123.0F, "", "", "MANU", 2, false},
        {"minus", Packet("2D", "30313233", '2'), 6000, "-01.23", -123.0F, "", "", "MANU", 2, true},
        {"point after digit 3", Packet("2B", "30313233", '4'), 6000, "012.3", 123.0F, "", "", "MANU", 3, false},
        {"code 3 has no point", Packet("2B", "30313233", '3'), 6000, "0123", 123.0F, "", "", "MANU", 0, false},
        {"point after digit 1", Packet("2D", "30313233", '1'), 6000, "-0.123", -123.0F, "", "", "MANU", 1, true},
        {"overload", Packet("2B", "3F313233", '1'), 6000, ".0L", 6001.0F, "", "", "MANU", 1, false},
        {"negative overload", Packet("2D", "3F313233", '1'), 6000, ".0L", -6001.0F, "", "", "MANU", 1, true},
        {"overload at 1000", Packet("2B", "3F303030", '2'), 1000, "0.L", 1001.0F, "", "", "MANU", 2, false},
        {"space digit reads 0", Packet("2B", "20313233", '0'), 6000, "0123", 123.0F, "", "", "MANU", 0, false},
        {"mV", Packet("2B", "30303030", '0', "00004080"), 6000, "0000", 0.0F, "mV", "", "MANU", 0, false},
        {"kilo ohm", Packet("2B", "30303030", '0', "00002020"), 6000, "0000", 0.0F, "k*", "", "MANU", 0, false},
        {"mega ohm", Packet("2B", "30303030", '0', "00001020"), 6000, "0000", 0.0F, "M*", "", "MANU", 0, false},
        {"kilo hertz", Packet("2B", "31303031", '1', "00002008"), 6000, "1.001", 1001.0F, "kHz", "", "MANU", 1, false},
        {"mega hertz", Packet("2B", "30303030", '0', "00001008"), 6000, "0000", 0.0F, "MHz", "", "MANU", 0, false},
        {"mega wins over kilo", Packet("2B", "30303030", '0', "00003008"), 6000, "0000", 0.0F, "MHz", "", "MANU", 0, false},
        {"M ohm beats MHz", Packet("2B", "30303030", '0', "00001028"), 6000, "0000", 0.0F, "M*", "", "MANU", 0, false},
        {"percent beats kHz", Packet("2B", "30303030", '0', "0000220A"), 6000, "0000", 0.0F, "%", "", "MANU", 0, false},
        {"k ohm beats kHz", Packet("2B", "30303030", '0', "00002028"), 6000, "0000", 0.0F, "k*", "", "MANU", 0, false},
        {"mV beats MHz", Packet("2B", "30303030", '0', "00005088"), 6000, "0000", 0.0F, "mV", "", "MANU", 0, false},
        {"uV beats mV", Packet("2B", "30303030", '0', "0000C080"), 6000, "0000", 0.0F, "uV", "", "MANU", 0, false},
        {"Hz beats V", Packet("2B", "30303030", '0', "00000088"), 6000, "0000", 0.0F, "Hz", "", "MANU", 0, false},
        {"percent beats Hz", Packet("2B", "30303030", '0', "00000208"), 6000, "0000", 0.0F, "%", "", "MANU", 0, false},
        {"Celsius", Packet("2B", "30323533", '4', "00000002"), 6000, "025.3", 253.0F, "#", "", "MANU", 3, false},
        {"Fahrenheit", Packet("2B", "30303030", '0', "00000001"), 6000, "0000", 0.0F, "?", "", "MANU", 0, false},
        {"nano amp", Packet("2B", "30303030", '0', "00020040"), 6000, "0000", 0.0F, "nA", "", "MANU", 0, false},
        {"micro farad", Packet("2B", "30303030", '0', "00008004"), 6000, "0000", 0.0F, "uF", "", "MANU", 0, false},
        {"DC wins over AC", Packet("2B", "30303030", '0', "18000000"), 6000, "0000", 0.0F, "", "DC", "MANU", 0, false},
        {"AC", Packet("2B", "30303030", '0', "08000000"), 6000, "0000", 0.0F, "", "AC", "MANU", 0, false},
        {"AUTO", Packet("2B", "30303030", '0', "20000000"), 6000, "0000", 0.0F, "", "", "AUTO", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodeResult r = decodePacket(c.packet, c.fullScale);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.reading.valueText, c.valueText);
        EXPECT_EQ(r.reading.numericValue, c.numeric);
        EXPECT_EQ(r.reading.unitText, c.unit);
        EXPECT_EQ(r.reading.acDcText, c.acDc);
        EXPECT_EQ(r.reading.rangeText, c.range);
        EXPECT_EQ(r.lcd.pointIndex, c.pointIndex);
        EXPECT_EQ(r.lcd.negative, c.negative);
    }
}

TEST(DecodePacket, DigitsAndMarks) {
    const DecodeResult plain = decodePacket(Packet("2B", "30313233", '2'), 6000);
    EXPECT_EQ(plain.lcd.digit1 + plain.lcd.digit2 + plain.lcd.digit3 + plain.lcd.digit4, "0123");
    EXPECT_FALSE(plain.lcd.overload);

    const DecodeResult over = decodePacket(Packet("2B", "3F313233", '1'), 6000);
    EXPECT_TRUE(over.lcd.overload);
    EXPECT_EQ(over.lcd.digit1, "");
    EXPECT_EQ(over.lcd.digit2, "0");
    EXPECT_EQ(over.lcd.digit3, "@");
    EXPECT_EQ(over.lcd.digit4, "");

    // Every status bit the meter uses, one at a time.
    struct Bit {
        const char* status;
        bool LcdState::*flag;
    };
    const Bit bits[] = {
        {"20000000", &LcdState::autoRange}, {"10000000", &LcdState::dc},      {"08000000", &LcdState::ac},
        {"04000000", &LcdState::rel},       {"02000000", &LcdState::hold},    {"00200000", &LcdState::maxMark},
        {"00100000", &LcdState::minMark},   {"00040000", &LcdState::battery}, {"00020000", &LcdState::nano},
        {"00008000", &LcdState::micro},     {"00004000", &LcdState::milli},   {"00002000", &LcdState::kilo},
        {"00001000", &LcdState::mega},      {"00000800", &LcdState::beep},    {"00000400", &LcdState::diode},
        {"00000200", &LcdState::percent},   {"00000080", &LcdState::volt},    {"00000040", &LcdState::ampere},
        {"00000020", &LcdState::ohm},       {"00000008", &LcdState::hertz},   {"00000004", &LcdState::farad},
        {"00000002", &LcdState::celsius},   {"00000001", &LcdState::fahrenheit},
    };
    for (const Bit& b : bits) {
        SCOPED_TRACE(b.status);
        const DecodeResult r = decodePacket(Packet("2B", "30303030", '0', b.status), 6000);
        LcdState expected = r.lcd;
        expected.*(b.flag) = false;
        EXPECT_TRUE(r.lcd.*(b.flag));
        // No other flag is set by the same bit.
        LcdState none = decodePacket(Packet("2B", "30303030", '0'), 6000).lcd;
        EXPECT_EQ(expected, none);
    }
    // Bits the decode ignores.
    EXPECT_EQ(decodePacket(Packet("2B", "30303030", '0', "C1C90110"), 6000).lcd,
              decodePacket(Packet("2B", "30303030", '0'), 6000).lcd);
}

TEST(DecodePacket, UsbPacketWithTrailingByteDecodesTheSame) {
    const std::string serial = Packet("2B", "30313233", '2', "00000080");
    const DecodeResult a = decodePacket(serial, 6000);
    const DecodeResult b = decodePacket(serial + "0A", 6000);
    EXPECT_EQ(a.reading, b.reading);
    EXPECT_EQ(a.lcd, b.lcd);
}

TEST(DecodePacket, NonDecimalPointOrDigitFails) {
    const DecodeResult badPoint = decodePacket(Packet("2B", "30313233", 'A'), 6000);
    EXPECT_FALSE(badPoint.ok);
    EXPECT_EQ(badPoint.error, "'A' is not a valid integer value");

    const DecodeResult badDigit = decodePacket(Packet("2D", "3031323A", '0'), 6000);
    EXPECT_FALSE(badDigit.ok);
    EXPECT_EQ(badDigit.error, "'-012A' is not a valid integer value");

    // An overload does not convert its digits, so hex letters there are fine.
    EXPECT_TRUE(decodePacket(Packet("2B", "3F3A3B3C", '0'), 6000).ok);
}

TEST(PacketBits, SpellsHexAsBitsAndRepeatsMissingCharacters) {
    const std::string bits = packetBits("2B0D");
    ASSERT_EQ(bits.size(), 112U);
    EXPECT_EQ(bits.substr(0, 16), "0010101100001101");
    // Characters 5..28 are missing: each repeats the last one ("D").
    EXPECT_EQ(bits.substr(16, 8), "11011101");
    EXPECT_EQ(bits.substr(108, 4), "1101");
}
