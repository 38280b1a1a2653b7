#include "protocol/SiPrefixText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace veska {

namespace {

constexpr int kSignificant = 4;
// Powers of 1000 from pico to giga; index 4 is no prefix.
constexpr std::string_view kPrefixes[] = {"p", "n", "µ", "m", "", "k", "M", "G"};
constexpr int kNoPrefix = 4;

bool takesPrefixes(std::string_view baseUnit) {
    return baseUnit == "V" || baseUnit == "A" || baseUnit == "Ω" || baseUnit == "F" || baseUnit == "Hz";
}

int floorDiv3(int n) { return n >= 0 ? n / 3 : -((-n + 2) / 3); }

}  // namespace

std::string SiPrefixText::format(double value, std::string_view baseUnit) {
    if (!std::isfinite(value)) return {};
    std::string out = "0";
    std::string_view prefix;
    if (value != 0.0) {
        // The rounding to four digits is printf's, exact in decimal: "1.205e+06", and
        // 0.99996 becomes "1.000e+00", so the prefix follows the rounded value.
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.*e", kSignificant - 1, std::abs(value));
        const std::string text(buffer);
        const std::size_t e = text.find('e');
        const int exponent = std::atoi(text.c_str() + e + 1);
        std::string digits = text.substr(0, 1) + text.substr(2, e - 2);  // "1205"

        int group = 0;
        if (takesPrefixes(baseUnit)) group = std::clamp(floorDiv3(exponent), -kNoPrefix, int(std::size(kPrefixes)) - 1 - kNoPrefix);
        // Digits before the point: 1 + the exponent left over after the prefix.
        const int whole = 1 + exponent - 3 * group;
        if (whole <= 0) {
            digits.insert(0, std::string(std::size_t(1 - whole), '0'));
            digits.insert(1, ".");
        } else if (whole < int(digits.size())) {
            digits.insert(std::size_t(whole), ".");
        } else {
            digits.append(std::size_t(whole) - digits.size(), '0');
        }
        out = value < 0 ? "-" + digits : digits;
        prefix = kPrefixes[group + kNoPrefix];
    }
    if (baseUnit.empty()) return out;
    out += ' ';
    out += prefix;
    out += baseUnit;
    return out;
}

}  // namespace veska
