// SI conversion, CSV, JSON and ISO times on any texts, as an old or damaged table may hold.
// Input: value text, unit text and time text separated by 0x1F.
#include "protocol/IsoTime.h"
#include "protocol/LcdState.h"
#include "protocol/MeterReading.h"
#include "protocol/ReadingCsv.h"
#include "protocol/ReadingJson.h"
#include "protocol/ReadingStatistics.h"
#include "protocol/SiQuantity.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string_view Next(std::string_view& rest) {
    const std::size_t sep = rest.find('\x1f');
    const std::string_view part = rest.substr(0, sep);
    rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
    return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view value = Next(rest);
    const std::string_view unit = Next(rest);
    const std::string_view time = Next(rest);

    const veska::SiQuantity q = veska::SiQuantity::fromDisplay(value, unit);
    if (q.isNumber()) {
        if (!std::isfinite(q.value)) __builtin_trap();
        const std::string text = veska::SiQuantity::formatNumber(q.value);
        if (text.empty() || text == "-0" || std::strtod(text.c_str(), nullptr) != q.value) __builtin_trap();
    }

    veska::MeterReading reading{std::string(value), 0.0F, "DC", std::string(unit), "AUTO"};
    const std::string row = veska::ReadingCsv::row(reading, time, 1);
    if (row.size() < 2 || row.compare(row.size() - 2, 2, "\r\n") != 0) __builtin_trap();

    // The JSON line holds no raw control character and no line break, whatever came in.
    const std::string json = veska::ReadingJson::object(reading, veska::LcdState{}, time, std::nullopt);
    for (const char c : json) {
        if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
    }

    veska::ReadingStatistics stats;
    stats.add(q, time);
    stats.add(q, time);

    if (const auto ms = veska::IsoTime::parse(time)) {
        const std::string utc = veska::IsoTime::utc(*ms);
        if (!utc.empty() && veska::IsoTime::parse(utc) != *ms) __builtin_trap();
        (void)veska::IsoTime::withOffset(*ms, 3600);
    }
    return 0;
}
