#include "protocol/ReadingJson.h"

#include <charconv>
#include <cstddef>

namespace veska {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence at text[pos], or 0 when the bytes there are not one
// (stray continuation bytes, overlong forms, surrogates, beyond U+10FFFF, cut short).
std::size_t validSequence(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char b0 = byte(0);
    std::size_t len = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;  // overlong
        if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;  // overlong
        if (b0 == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (pos + len > text.size()) return 0;
    if (byte(1) < lo || byte(1) > hi) return 0;
    for (std::size_t i = 2; i < len; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return len;
}

void appendBool(std::string& out, std::string_view key, bool value) {
    out.append(key);
    out.append(value ? "true" : "false");
}

}  // namespace

void ReadingJson::appendObject(std::string& out, const MeterReading& reading, const LcdState& lcd,
                               std::string_view timeText, std::optional<std::int64_t> recordNo) {
    appendObject(out, reading, SiQuantity::fromReading(reading), lcd, timeText, recordNo);
}

void ReadingJson::appendObject(std::string& out, const MeterReading& reading, const SiQuantity& quantity,
                               const LcdState& lcd, std::string_view timeText, std::optional<std::int64_t> recordNo) {
    out.append("{\"time\":");
    appendString(out, timeText);
    out.append(",\"value\":");
    appendString(out, reading.valueText);
    out.append(",\"unit\":");
    appendString(out, quantity.unitKnown ? quantity.unit : std::string_view(reading.unitText));
    out.append(",\"si_value\":");
    if (quantity.isNumber()) {
        SiQuantity::appendNumber(out, quantity.value);
    } else {
        out.append("null");
    }
    out.append(",\"base_unit\":");
    appendString(out, quantity.baseUnit);
    out.append(",\"mode\":");
    appendString(out, reading.acDcText);
    out.append(",\"range\":");
    appendString(out, reading.rangeText);
    appendBool(out, ",\"overload\":", quantity.isOverload());
    appendBool(out, ",\"hold\":", lcd.hold);
    appendBool(out, ",\"rel\":", lcd.rel);
    appendBool(out, ",\"low_battery\":", lcd.battery);
    out.append(",\"no\":");
    if (recordNo) {
        char buf[24];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *recordNo);
        if (ec == std::errc{}) out.append(buf, end);
    } else {
        out.append("null");
    }
    out.push_back('}');
}

std::string ReadingJson::object(const MeterReading& reading, const LcdState& lcd, std::string_view timeText,
                                std::optional<std::int64_t> recordNo) {
    std::string out;
    appendObject(out, reading, lcd, timeText, recordNo);
    return out;
}

void ReadingJson::appendString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c >= 0x80) {
            const std::size_t len = validSequence(text, pos);
            if (len == 0) {
                out.append(kReplacement);
                ++pos;
            } else {
                out.append(text.substr(pos, len));
                pos += len;
            }
            continue;
        }
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\b': out.append("\\b"); break;
        case '\f': out.append("\\f"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (c < 0x20) {
                out.append("\\u00");
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0xF]);
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
        ++pos;
    }
    out.push_back('"');
}

}  // namespace veska
