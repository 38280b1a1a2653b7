#include "protocol/LcdState.h"
#include "protocol/MeterReading.h"
#include "protocol/ReadingCsv.h"
#include "protocol/ReadingJson.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace veska;

namespace {

// Splits one CSV record (RFC 4180) that must end in CR LF; fails the test on bad quoting.
std::vector<std::string> ParseCsvLine(const std::string& line) {
    EXPECT_TRUE(line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) << line;
    std::vector<std::string> fields(1);
    std::size_t i = 0;
    const std::size_t end = line.size() - 2;
    bool quotedField = false;
    while (i < end) {
        const char c = line[i];
        if (c == ',') {
            fields.emplace_back();
            quotedField = false;
            ++i;
        } else if (c == '"' && fields.back().empty() && !quotedField) {
            quotedField = true;
            ++i;
            for (;;) {
                if (i >= end) {
                    ADD_FAILURE() << "unterminated quote: " << line;
                    return fields;
                }
                if (line[i] == '"') {
                    if (i + 1 < end && line[i + 1] == '"') {
                        fields.back().push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                fields.back().push_back(line[i++]);
            }
            EXPECT_TRUE(i == end || line[i] == ',') << "text after closing quote: " << line;
        } else {
            EXPECT_FALSE(quotedField) << line;
            EXPECT_TRUE(c != '"' && c != '\r' && c != '\n') << "unquoted special character: " << line;
            fields.back().push_back(c);
            ++i;
        }
    }
    return fields;
}

// A flat JSON object: keys in order, each with its value as text (strings decoded and
// marked by a leading '"', other values as written).
std::vector<std::pair<std::string, std::string>> ParseFlatJson(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> members;
    std::size_t i = 0;
    auto fail = [&](const char* why) {
        ADD_FAILURE() << why << " at " << i << ": " << text;
        members.clear();
        return members;
    };
    auto readString = [&](std::string& out) {
        if (text[i] != '"') return false;
        ++i;
        while (i < text.size() && text[i] != '"') {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x20) return false;
            if (c != '\\') {
                out.push_back(text[i++]);
                continue;
            }
            const char e = text[i + 1];
            i += 2;
            switch (e) {
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case '/': out.push_back('/'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'u': {
                const unsigned long cp = std::stoul(text.substr(i, 4), nullptr, 16);
                if (cp >= 0x80) return false;  // only control characters are escaped here
                out.push_back(static_cast<char>(cp));
                i += 4;
                break;
            }
            default: return false;
            }
        }
        if (i >= text.size()) return false;
        ++i;
        return true;
    };
    if (text.empty() || text[i++] != '{') return fail("no object");
    while (i < text.size() && text[i] != '}') {
        std::string key;
        if (!readString(key)) return fail("bad key");
        if (text[i++] != ':') return fail("no colon");
        std::string value;
        if (text[i] == '"') {
            value = "\"";
            if (!readString(value)) return fail("bad string");
        } else {
            while (i < text.size() && text[i] != ',' && text[i] != '}') value.push_back(text[i++]);
        }
        members.emplace_back(key, value);
        if (text[i] == ',') ++i;
    }
    if (i + 1 != text.size()) return fail("text after the object");
    return members;
}

struct Row {
    MeterReading reading;
    bool hold, rel, battery;
    std::optional<std::int64_t> no;
    // expected
    const char* unit;
    const char* si;  // empty: no SI value
    const char* base;
    bool overload;
};

}  // namespace

// One table of readings, written as CSV and as JSON, every field checked.
TEST(ReadingFormats, TableOfReadings) {
    const Row rows[] = {
        {{"4.698", 4698, "", "k*", "AUTO"}, false, false, false, 1, "kΩ", "4698", "Ω", false},
        {{"59.99", 5999, "", "M*", "MANU"}, false, false, false, 2, "MΩ", "59990000", "Ω", false},
        {{"0123", 123, "", "*", "MANU"}, false, false, false, 3, "Ω", "123", "Ω", false},
        {{"012.0", 120, "DC", "uA", "AUTO"}, false, false, false, 4, "µA", "0.000012", "A", false},
        {{"-5.999", -5999, "DC", "mA", "AUTO"}, true, false, false, 5, "mA", "-0.005999", "A", false},
        {{"1.234", 1234, "AC", "nA", "MANU"}, false, false, false, 6, "nA", "0.000000001234", "A", false},
        {{"-1.234", -1234, "AC", "A", "MANU"}, false, true, false, 7, "A", "-1.234", "A", false},
        {{"-01.23", -123, "DC", "mV", "AUTO"}, false, false, true, 8, "mV", "-0.00123", "V", false},
        {{"0.123", 123, "AC", "uV", "AUTO"}, false, false, false, 9, "µV", "0.000000123", "V", false},
        {{"-1.234", -1234, "DC", "nV", "AUTO"}, false, false, false, 10, "nV", "-0.000000001234", "V", false},
        {{"5.999", 5999, "DC", "V", "AUTO"}, true, true, true, 11, "V", "5.999", "V", false},
        {{"-0.000", 0, "DC", "V", "AUTO"}, false, false, false, 12, "V", "0", "V", false},
        {{"1.234", 1234, "", "nF", "MANU"}, false, false, false, 13, "nF", "0.000000001234", "F", false},
        {{"012.3", 123, "", "uF", "MANU"}, false, false, false, 14, "µF", "0.0000123", "F", false},
        {{"1.000", 1000, "", "mF", "MANU"}, false, false, false, 15, "mF", "0.001", "F", false},
        {{"0.220", 220, "", "F", "MANU"}, false, false, false, 16, "F", "0.22", "F", false},
        {{"025.3", 253, "", "#", "MANU"}, false, false, false, 17, "°C", "25.3", "°C", false},
        {{"-012.5", -125, "", "?", "MANU"}, false, false, false, 18, "°F", "-12.5", "°F", false},
        {{"99.99", 9999, "", "Hz", "AUTO"}, false, false, false, std::nullopt, "Hz", "99.99", "Hz", false},
        {{"9.999", 9999, "", "kHz", "AUTO"}, false, false, false, std::nullopt, "kHz", "9999", "Hz", false},
        {{"1.000", 1000, "", "MHz", "AUTO"}, false, false, false, std::nullopt, "MHz", "1000000", "Hz", false},
        {{"050.0", 500, "", "%", "MANU"}, false, false, false, 19, "%", "50", "%", false},
        {{"0123", 123, "", "", "MANU"}, false, false, false, 20, "", "123", "", false},
        {{".0L", 6001, "DC", "V", "AUTO"}, false, false, false, 21, "V", "", "V", true},
        {{".0L", -6001, "DC", "V", "AUTO"}, false, false, false, 22, "V", "", "V", true},
        {{"0.L", 6001, "", "M*", "AUTO"}, false, false, false, 23, "MΩ", "", "Ω", true},
        {{"0L.", -6001, "DC", "mA", "MANU"}, false, false, false, 24, "mA", "", "A", true},
        {{"0L", 6001, "", "#", "MANU"}, false, false, false, 25, "°C", "", "°C", true},
        {{"1.000", 1000, "", "xy", "MANU"}, false, false, false, 26, "xy", "", "", false},
        {{"1.2.3", 123, "DC", "V", "AUTO"}, false, false, false, 2147483648LL, "V", "", "V", false},
    };
    const std::string time = "2026-12-10T04:14:15.123+01:00";
    for (const Row& r : rows) {
        SCOPED_TRACE(r.reading.valueText + " " + r.reading.unitText);
        const std::string no = r.no ? std::to_string(*r.no) : "";

        const std::vector<std::string> csv = ParseCsvLine(ReadingCsv::row(r.reading, time, r.no));
        ASSERT_EQ(csv.size(), 9U);
        EXPECT_EQ(csv[0], no);
        EXPECT_EQ(csv[1], time);
        EXPECT_EQ(csv[2], r.reading.acDcText);
        EXPECT_EQ(csv[3], r.reading.valueText);
        EXPECT_EQ(csv[4], r.unit);
        EXPECT_EQ(csv[5], r.si);
        EXPECT_EQ(csv[6], r.base);
        EXPECT_EQ(csv[7], r.overload ? "true" : "false");
        EXPECT_EQ(csv[8], r.reading.rangeText);

        LcdState lcd;
        lcd.hold = r.hold;
        lcd.rel = r.rel;
        lcd.battery = r.battery;
        const auto json = ParseFlatJson(ReadingJson::object(r.reading, lcd, time, r.no));
        const std::vector<std::pair<std::string, std::string>> expected = {
            {"time", "\"" + time},
            {"value", "\"" + r.reading.valueText},
            {"unit", std::string("\"") + r.unit},
            {"si_value", *r.si ? r.si : "null"},
            {"base_unit", std::string("\"") + r.base},
            {"mode", "\"" + r.reading.acDcText},
            {"range", "\"" + r.reading.rangeText},
            {"overload", r.overload ? "true" : "false"},
            {"hold", r.hold ? "true" : "false"},
            {"rel", r.rel ? "true" : "false"},
            {"low_battery", r.battery ? "true" : "false"},
            {"no", r.no ? no : "null"},
        };
        EXPECT_EQ(json, expected);
    }
}

TEST(ReadingFormats, CsvHeaderNamesEveryColumn) {
    EXPECT_EQ(ParseCsvLine(std::string(ReadingCsv::header())),
              (std::vector<std::string>{"No", "Time", "Mode", "Value", "Unit", "SI value", "Base unit", "Overload",
                                        "Range"}));
}

TEST(ReadingFormats, CsvQuotesOnlyWhereNeeded) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"14:05:09", "14:05:09"},
        {"°C µ", "°C µ"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"cr\ronly", "\"cr\ronly\""},
        {"lf\nonly", "\"lf\nonly\""},
        {" padded ", " padded "},
    };
    for (const auto& [in, out] : cases) {
        std::string field;
        ReadingCsv::appendField(field, in);
        EXPECT_EQ(field, out);
        // And a row carrying it reads back unchanged.
        const MeterReading reading{"1.000", 1000, "DC", "V", "AUTO"};
        EXPECT_EQ(ParseCsvLine(ReadingCsv::row(reading, in, 1))[1], in);
    }
}

TEST(ReadingFormats, CsvRowsAppendToOneBuffer) {
    std::string out(ReadingCsv::header());
    ReadingCsv::appendRow(out, {"1.000", 1000, "DC", "V", "AUTO"}, "t1", 1);
    ReadingCsv::appendRow(out, {".0L", 6001, "DC", "V", "AUTO"}, "t2", std::nullopt);
    EXPECT_EQ(out,
              "No,Time,Mode,Value,Unit,SI value,Base unit,Overload,Range\r\n"
              "1,t1,DC,1.000,V,1,V,false,AUTO\r\n"
              ",t2,DC,.0L,V,,V,true,AUTO\r\n");
}

TEST(ReadingFormats, JsonStringEscaping) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "\"plain\""},
        {"q\"b\\s/", "\"q\\\"b\\\\s/\""},
        {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
        {std::string("\x00\x01\x1f", 3), "\"\\u0000\\u0001\\u001f\""},
        {"\x7f", "\"\x7f\""},
        {"kΩ °C µA \xF0\x9F\x94\x8B", "\"kΩ °C µA \xF0\x9F\x94\x8B\""},
        // Not UTF-8: a Latin-1 degree sign, a stray continuation byte, an overlong slash,
        // a surrogate, a cut-off sequence at the end.
        {"\xB0" "C", "\"\xEF\xBF\xBD" "C\""},
        {"a\x80z", "\"a\xEF\xBF\xBDz\""},
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"x\xE2\x82", "\"x\xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    for (const auto& [in, out] : cases) {
        std::string json;
        ReadingJson::appendString(json, in);
        EXPECT_EQ(json, out);
    }
}

TEST(ReadingFormats, JsonObjectIsOneLine) {
    LcdState lcd;
    const std::string line = ReadingJson::object({"1.000", 1000, "DC", "V", "AUTO"}, lcd, "a\r\nb", 7);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    EXPECT_EQ(line,
              "{\"time\":\"a\\r\\nb\",\"value\":\"1.000\",\"unit\":\"V\",\"si_value\":1,\"base_unit\":\"V\","
              "\"mode\":\"DC\",\"range\":\"AUTO\",\"overload\":false,\"hold\":false,\"rel\":false,"
              "\"low_battery\":false,\"no\":7}");
}
