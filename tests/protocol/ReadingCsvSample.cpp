// Writes readings as CSV to stdout for the round-trip script (csv_roundtrip.py).
// Input on stdin: records separated by 0x1E, fields by 0x1F:
//   ms since epoch (empty: use the time text), time text, value, unit, mode, range, record no
#include "protocol/IsoTime.h"
#include "protocol/MeterReading.h"
#include "protocol/ReadingCsv.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == sep) {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    return parts;
}

}  // namespace

int main() {
    const std::string input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    std::string out(veska::ReadingCsv::header());
    for (const std::string& record : Split(input, '\x1e')) {
        if (record.empty()) continue;
        const std::vector<std::string> f = Split(record, '\x1f');
        if (f.size() != 7) {
            std::cerr << "expected 7 fields, got " << f.size() << "\n";
            return 2;
        }
        const std::string time = f[0].empty() ? f[1] : veska::IsoTime::local(std::stoll(f[0]));
        const veska::MeterReading reading{f[2], 0.0F, f[4], f[3], f[5]};
        const std::optional<std::int64_t> no = f[6].empty() ? std::nullopt : std::optional<std::int64_t>(std::stoll(f[6]));
        veska::ReadingCsv::appendRow(out, reading, time, no);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
