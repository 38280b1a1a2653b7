#include "protocol/MeterReading.h"
#include "protocol/SiPrefixText.h"
#include "protocol/SiQuantity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

using namespace veska;

namespace {

struct UnitCase {
    const char* unitText;
    const char* plain;
    const char* base;
    double scale;  // the value of 1 of this unit in the base unit
};

}  // namespace

// Every unit the decoder produces, the prefixed hertz a newer meter sends, and the plain
// spellings of already converted texts.
TEST(SiQuantity, UnitsAndPrefixes) {
    const UnitCase cases[] = {
        {"", "", "", 1},           {"V", "V", "V", 1},         {"A", "A", "A", 1},
        {"*", "Ω", "Ω", 1},        {"F", "F", "F", 1},         {"#", "°C", "°C", 1},
        {"?", "°F", "°F", 1},      {"Hz", "Hz", "Hz", 1},      {"%", "%", "%", 1},
        {"nV", "nV", "V", 1e-9},   {"mV", "mV", "V", 1e-3},    {"uV", "µV", "V", 1e-6},
        {"nA", "nA", "A", 1e-9},   {"mA", "mA", "A", 1e-3},    {"uA", "µA", "A", 1e-6},
        {"nF", "nF", "F", 1e-9},   {"mF", "mF", "F", 1e-3},    {"uF", "µF", "F", 1e-6},
        {"k*", "kΩ", "Ω", 1e3},    {"M*", "MΩ", "Ω", 1e6},     {"kHz", "kHz", "Hz", 1e3},
        {"MHz", "MHz", "Hz", 1e6}, {"kΩ", "kΩ", "Ω", 1e3},     {"Ω", "Ω", "Ω", 1},
        {"µA", "µA", "A", 1e-6},   {"\xCE\xBC" "A", "µA", "A", 1e-6},  // Greek mu
        {"°C", "°C", "°C", 1},     {"°F", "°F", "°F", 1},
    };
    for (const UnitCase& c : cases) {
        SCOPED_TRACE(c.unitText);
        const SiQuantity q = SiQuantity::fromDisplay("2.000", c.unitText);
        ASSERT_TRUE(q.unitKnown);
        ASSERT_EQ(q.kind, SiQuantity::Kind::Number);
        EXPECT_EQ(q.unit, c.plain);
        EXPECT_EQ(q.baseUnit, c.base);
        EXPECT_DOUBLE_EQ(q.value, 2 * c.scale);
    }
}

TEST(SiQuantity, UnknownUnitsAreNotGuessed) {
    for (const char* unit : {"x", "M", "m", "u", "k#", "m%", "u?", "Hzk", "kk*", "v", "hz", " V", "V "}) {
        SCOPED_TRACE(unit);
        const SiQuantity q = SiQuantity::fromDisplay("1.000", unit);
        EXPECT_FALSE(q.unitKnown);
        EXPECT_EQ(q.kind, SiQuantity::Kind::Unreadable);
        EXPECT_EQ(q.unit, "");
        EXPECT_EQ(q.baseUnit, "");
    }
    // An overload stays an overload even when its unit is unknown.
    EXPECT_EQ(SiQuantity::fromDisplay("0.L", "x").kind, SiQuantity::Kind::Overload);
}

// The value is the double nearest to the exact decimal, not the product of two rounded ones.
TEST(SiQuantity, ValuesAreExactDecimals) {
    struct Case {
        const char* value;
        const char* unit;
        double expected;
    };
    const Case cases[] = {
        {"4.698", "k*", 4698.0},   {"012.0", "uA", 0.000012},  {"-01.23", "mV", -0.00123},
        {"0123", "*", 123.0},      {"59.99", "M*", 59990000.0}, {"1.234", "nF", 1.234e-9},
        {"-0.001", "V", -0.001},   {"0.001", "MHz", 1000.0},    {"5.", "V", 5.0},
        {".5", "V", 0.5},          {"+1.5", "V", 1.5},          {"0000", "V", 0.0},
        {"0.3", "V", 0.3},         {"6.000", "k*", 6000.0},     {"3.999", "mA", 0.003999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.value) + " " + c.unit);
        const SiQuantity q = SiQuantity::fromDisplay(c.value, c.unit);
        ASSERT_EQ(q.kind, SiQuantity::Kind::Number);
        EXPECT_EQ(q.value, c.expected);  // bit-exact, not "near"
    }
}

TEST(SiQuantity, NegativeZeroIsZero) {
    for (const char* value : {"-0.000", "-0000", "-.0"}) {
        const SiQuantity q = SiQuantity::fromDisplay(value, "mV");
        ASSERT_EQ(q.kind, SiQuantity::Kind::Number);
        EXPECT_FALSE(std::signbit(q.value)) << value;
        EXPECT_EQ(SiQuantity::formatNumber(q.value), "0");
    }
}

TEST(SiQuantity, OverloadTexts) {
    // The decoder's overload text for each point position, of either sign (the sign is in
    // the numeric value only, the text is the same).
    for (const char* value : {"0L", ".0L", "0.L", "0L.", "-0.L", "+.0L"}) {
        SCOPED_TRACE(value);
        const SiQuantity q = SiQuantity::fromDisplay(value, "M*");
        EXPECT_EQ(q.kind, SiQuantity::Kind::Overload);
        EXPECT_TRUE(q.unitKnown);
        EXPECT_EQ(q.unit, "MΩ");
        EXPECT_EQ(q.baseUnit, "Ω");
        EXPECT_EQ(q.value, 0.0);
    }
    MeterReading negative{".0L", -6001.0F, "DC", "V", "AUTO"};
    EXPECT_TRUE(SiQuantity::fromReading(negative).isOverload());
}

TEST(SiQuantity, TextsThatAreNotDisplayNumbers) {
    for (const char* value : {"", "-", "+", ".", "-.", "1.2.3", "12a", "1 2", "0LL", "..0L", "1L", "L", "0@",
                              "1e3", "0x10", "--1", "1-", "12345678901234567890123456789012345678901"}) {
        SCOPED_TRACE(value);
        const SiQuantity q = SiQuantity::fromDisplay(value, "V");
        EXPECT_EQ(q.kind, SiQuantity::Kind::Unreadable);
        EXPECT_TRUE(q.unitKnown);
        EXPECT_EQ(q.unit, "V");
    }
}

TEST(SiQuantity, FormatNumberIsShortestPlainDecimal) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {4698.0, "4698"},
        {0.000012, "0.000012"},
        {-0.00123, "-0.00123"},
        {1.234e-9, "0.000000001234"},
        {59990000.0, "59990000"},
        {0.1 + 0.2, "0.30000000000000004"},
        {-0.0, "0"},
        {0.0, "0"},
        {1e20, "100000000000000000000"},
        {std::numeric_limits<double>::quiet_NaN(), ""},
        {std::numeric_limits<double>::infinity(), ""},
        {-std::numeric_limits<double>::infinity(), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(SiQuantity::formatNumber(c.value), c.text) << c.value;

    // Whatever the value, the text reads back as the same double.
    for (const double v : {1.0 / 3.0, -2.0 / 3e-7, 6.02214076e23, 5e-324, 1.7976931348623157e308, 123.456e-12}) {
        const std::string text = SiQuantity::formatNumber(v);
        EXPECT_EQ(text.find('e'), std::string::npos) << text;
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
    }
}

// Four significant digits under the prefix that keeps them between 1 and 1000.
TEST(SiPrefixText, FourDigitsUnderThePrefixThatFits) {
    struct Case {
        double value;
        const char* unit;
        const char* text;
    };
    for (const Case& c : {Case{1205000.0, "Ω", "1.205 MΩ"}, Case{0.1200126, "V", "120.0 mV"},
                          Case{35.733, "V", "35.73 V"}, Case{0.99996, "V", "1.000 V"}, Case{999.96, "Hz", "1.000 kHz"},
                          Case{-0.00123, "V", "-1.230 mV"}, Case{0.000012, "A", "12.00 µA"}, Case{0.0, "V", "0 V"},
                          Case{4.7e-9, "F", "4.700 nF"}, Case{1e-13, "F", "0.1000 pF"}, Case{5e10, "Hz", "50.00 GHz"},
                          Case{23.5, "°C", "23.50 °C"}, Case{1234.0, "°F", "1234 °F"}, Case{0.5, "%", "0.5000 %"},
                          Case{12346.0, "", "12350"}}) {
        EXPECT_EQ(SiPrefixText::format(c.value, c.unit), c.text) << c.value << " " << c.unit;
    }
    EXPECT_EQ(SiPrefixText::format(std::nan(""), "V"), "");
}
