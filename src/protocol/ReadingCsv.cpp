#include "protocol/ReadingCsv.h"

#include <charconv>

namespace veska {

std::string_view ReadingCsv::header() { return "No,Time,Mode,Value,Unit,SI value,Base unit,Overload,Range\r\n"; }

void ReadingCsv::appendRow(std::string& out, const MeterReading& reading, std::string_view timeText,
                           std::optional<std::int64_t> recordNo) {
    appendRow(out, reading, SiQuantity::fromReading(reading), timeText, recordNo);
}

void ReadingCsv::appendRow(std::string& out, const MeterReading& reading, const SiQuantity& quantity,
                           std::string_view timeText, std::optional<std::int64_t> recordNo) {
    if (recordNo) {
        char buf[24];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *recordNo);
        if (ec == std::errc{}) out.append(buf, end);
    }
    out.push_back(',');
    appendField(out, timeText);
    out.push_back(',');
    appendField(out, reading.acDcText);
    out.push_back(',');
    appendField(out, reading.valueText);
    out.push_back(',');
    // An unknown unit text goes out as it stands rather than being lost.
    appendField(out, quantity.unitKnown ? quantity.unit : std::string_view(reading.unitText));
    out.push_back(',');
    if (quantity.isNumber()) SiQuantity::appendNumber(out, quantity.value);
    out.push_back(',');
    appendField(out, quantity.baseUnit);
    out.append(quantity.isOverload() ? ",true," : ",false,");
    appendField(out, reading.rangeText);
    out.append("\r\n");
}

std::string ReadingCsv::row(const MeterReading& reading, std::string_view timeText,
                            std::optional<std::int64_t> recordNo) {
    std::string out;
    appendRow(out, reading, timeText, recordNo);
    return out;
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ReadingCsv::isNumber(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) ++digits;
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && isDigit(text[i]); ++i) ++digits;
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t exponent = 0;
        for (; i < text.size() && isDigit(text[i]); ++i) ++exponent;
        if (exponent == 0) return false;
    }
    return i == text.size();
}

bool ReadingCsv::startsLikeFormula(std::string_view text) {
    if (text.empty() || isNumber(text)) return false;
    switch (text.front()) {
    case '=': case '+': case '-': case '@': case '\t': case '\r': return true;
    default: return false;
    }
}

void ReadingCsv::appendField(std::string& out, std::string_view field) {
    // A NUL ends the text for many readers: it is dropped, never passed on.
    if (field.find('\0') != std::string_view::npos) {
        std::string clean;
        clean.reserve(field.size());
        for (const char c : field)
            if (c != '\0') clean.push_back(c);
        appendField(out, clean);
        return;
    }
    // A spreadsheet would run such a text as a formula: the apostrophe keeps it text.
    const bool formula = startsLikeFormula(field);
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        if (formula) out.push_back('\'');
        out.append(field);
        return;
    }
    out.push_back('"');
    if (formula) out.push_back('\'');
    for (const char c : field) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

}  // namespace veska
