#include "protocol/SiQuantity.h"

#include "protocol/MeterReading.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <optional>
#include <system_error>

namespace veska {

namespace {

struct Base {
    std::string_view meterText;
    std::string_view plainText;
    bool takesPrefix;
};

// Order matters only for the plain-text table below.
constexpr std::array<Base, 8> kBases{{
    {"V", "V", true},
    {"A", "A", true},
    {"*", "Ω", true},
    {"F", "F", true},
    {"Hz", "Hz", true},
    {"#", "°C", false},
    {"?", "°F", false},
    {"%", "%", false},
}};

struct Prefix {
    std::string_view plainText;
    int exponent;
};

constexpr std::array<Prefix, 6> kPrefixes{{
    {"", 0}, {"n", -9}, {"µ", -6}, {"m", -3}, {"k", 3}, {"M", 6},
}};

// The plain texts must live in static storage, so every combination is spelled out.
constexpr std::array<std::array<std::string_view, 5>, 6> kPrefixedPlain{{
    {"V", "A", "Ω", "F", "Hz"},
    {"nV", "nA", "nΩ", "nF", "nHz"},
    {"µV", "µA", "µΩ", "µF", "µHz"},
    {"mV", "mA", "mΩ", "mF", "mHz"},
    {"kV", "kA", "kΩ", "kF", "kHz"},
    {"MV", "MA", "MΩ", "MF", "MHz"},
}};

struct Unit {
    std::string_view plain;
    std::string_view base;
    int exponent = 0;
};

std::optional<std::size_t> findBase(std::string_view text) {
    for (std::size_t i = 0; i < kBases.size(); ++i) {
        if (text == kBases[i].meterText || text == kBases[i].plainText) return i;
    }
    return std::nullopt;
}

std::optional<Unit> parseUnit(std::string_view text) {
    if (text.empty()) return Unit{};
    if (const auto base = findBase(text)) {
        return Unit{kBases[*base].plainText, kBases[*base].plainText, 0};
    }
    // A prefix, then a base that takes one. Micro has three spellings: the meter's "u",
    // the micro sign U+00B5 and the Greek mu U+03BC.
    struct Spelling {
        std::string_view text;
        std::size_t prefix;
    };
    static constexpr std::array<Spelling, 7> kSpellings{{
        {"n", 1}, {"u", 2}, {"µ", 2}, {"\xCE\xBC", 2}, {"m", 3}, {"k", 4}, {"M", 5},
    }};
    for (const Spelling& s : kSpellings) {
        if (!text.starts_with(s.text)) continue;
        const auto base = findBase(text.substr(s.text.size()));
        if (!base || !kBases[*base].takesPrefix) continue;
        return Unit{kPrefixedPlain[s.prefix][*base], kBases[*base].plainText, kPrefixes[s.prefix].exponent};
    }
    return std::nullopt;
}

// The display's overload text: "0" and "L" with the point anywhere ("0L", ".0L", "0.L",
// "0L."); a sign in front is tolerated though the decoder never writes one.
bool isOverloadText(std::string_view text) {
    std::string_view rest = text;
    if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) rest.remove_prefix(1);
    std::array<char, 2> kept{};
    std::size_t n = 0;
    int points = 0;
    for (const char c : rest) {
        if (c == '.') {
            ++points;
            continue;
        }
        if (n == kept.size()) return false;
        kept[n++] = c;
    }
    return points <= 1 && n == 2 && kept[0] == '0' && kept[1] == 'L';
}

// A display number scaled by 10^exponent, correctly rounded: the digits go to from_chars
// as one decimal with an exponent, so 4.698 k is 4698 exactly, not 4697.999999999999.
std::optional<double> parseScaled(std::string_view text, int exponent) {
    // A display has a handful of digits; anything long is not one of its texts.
    constexpr std::size_t kMaxText = 40;
    if (text.empty() || text.size() > kMaxText) return std::nullopt;
    bool negative = false;
    if (text.front() == '-' || text.front() == '+') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::array<char, kMaxText + 16> buf{};
    std::size_t len = 0;
    int fractionDigits = 0;
    bool point = false;
    bool anyDigit = false;
    for (const char c : text) {
        if (c == '.') {
            if (point) return std::nullopt;
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return std::nullopt;
        anyDigit = true;
        if (point) ++fractionDigits;
        if (len == 0 && c == '0') continue;  // leading zeros carry nothing
        buf[len++] = c;
    }
    if (!anyDigit) return std::nullopt;
    if (len == 0) return 0.0;
    buf[len++] = 'e';
    const auto [end, ec] = std::to_chars(buf.data() + len, buf.data() + buf.size(), exponent - fractionDigits);
    if (ec != std::errc{}) return std::nullopt;
    double value = 0.0;
    const auto parsed = std::from_chars(buf.data(), end, value);
    if (parsed.ec != std::errc{} || parsed.ptr != end) return std::nullopt;
    return negative ? -value : value;
}

}  // namespace

SiQuantity SiQuantity::fromDisplay(std::string_view valueText, std::string_view unitText) {
    SiQuantity q;
    const std::optional<Unit> unit = parseUnit(unitText);
    if (isOverloadText(valueText)) q.kind = Kind::Overload;
    if (!unit) return q;
    q.unitKnown = true;
    q.unit = unit->plain;
    q.baseUnit = unit->base;
    if (q.kind == Kind::Overload) return q;
    const std::optional<double> value = parseScaled(valueText, unit->exponent);
    if (!value) return q;
    q.kind = Kind::Number;
    q.value = *value == 0.0 ? 0.0 : *value;  // -0.000 is plain 0
    return q;
}

SiQuantity SiQuantity::fromReading(const MeterReading& reading) {
    return fromDisplay(reading.valueText, reading.unitText);
}

std::string SiQuantity::formatNumber(double value) {
    std::string out;
    appendNumber(out, value);
    return out;
}

void SiQuantity::appendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) return;
    if (value == 0.0) {
        out.push_back('0');
        return;
    }
    // Fixed notation of the largest and smallest doubles needs about 330 characters.
    std::array<char, 400> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed);
    if (ec != std::errc{}) return;
    out.append(buf.data(), end);
}

}  // namespace veska
