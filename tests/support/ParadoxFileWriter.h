#pragma once
// Paradox tables written by the tests themselves through pxlib's write API, so every file a
// test reads is one it made.
extern "C" {
#include <paradox.h>
}

#include <cstring>
#include <string>
#include <variant>
#include <vector>

namespace veska::test {

struct ParadoxField {
    std::string name;
    char type;  // pxfLong, pxfTime, pxfAlpha, pxfNumber, ...
    int length;
};

// One value per field: whole numbers (long, also times in milliseconds since midnight, dates
// in days), numbers (double), texts; std::monostate leaves the field empty.
using ParadoxValue = std::variant<std::monostate, long, double, std::string>;
using ParadoxRow = std::vector<ParadoxValue>;

// The seven fields of the record table, as the meter's Windows program had them.
inline std::vector<ParadoxField> paradoxRecordFields() {
    return {{"No", pxfLong, 4},   {"Time", pxfTime, 4}, {"DC/AC", pxfAlpha, 2}, {"Value", pxfAlpha, 6},
            {"Unit", pxfAlpha, 3}, {"AUTO", pxfAlpha, 4}, {"Nval", pxfNumber, 8}};
}

inline long paradoxTime(int h, int m, int s, int ms = 0) { return ((h * 60L + m) * 60L + s) * 1000L + ms; }

// Writes a table without a key at `path`.
inline bool writeParadoxTable(const std::string& path, const std::vector<ParadoxField>& fields,
                              const std::vector<ParadoxRow>& rows) {
    PX_boot();
    pxdoc_t* px = PX_new();
    if (px == nullptr) return false;
    auto* defs = static_cast<pxfield_t*>(px->malloc(px, sizeof(pxfield_t) * fields.size(), "test fields"));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        defs[i].px_fname = static_cast<char*>(px->malloc(px, fields[i].name.size() + 1, "test field name"));
        std::memcpy(defs[i].px_fname, fields[i].name.c_str(), fields[i].name.size() + 1);
        defs[i].px_ftype = fields[i].type;
        defs[i].px_flen = fields[i].length;
        defs[i].px_fdc = 0;
    }
    if (PX_create_file(px, defs, int(fields.size()), path.c_str(), pxfFileTypNonIndexDB) < 0) {
        PX_delete(px);
        return false;
    }
    std::vector<char> record(std::size_t(PX_get_recordsize(px)), '\0');
    bool ok = true;
    for (const ParadoxRow& row : rows) {
        std::fill(record.begin(), record.end(), '\0');
        int offset = 0;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            char* at = record.data() + offset;
            const int len = fields[i].length;
            const ParadoxValue& v = i < row.size() ? row[i] : ParadoxValue{};
            if (const auto* n = std::get_if<long>(&v)) {
                if (fields[i].type == pxfShort) {
                    PX_put_data_short(px, at, len, short(*n));
                } else if (fields[i].type == pxfLogical) {
                    PX_put_data_byte(px, at, len, char(*n));
                } else {
                    PX_put_data_long(px, at, len, int(*n));
                }
            } else if (const auto* d = std::get_if<double>(&v)) {
                PX_put_data_double(px, at, len, *d);
            } else if (const auto* s = std::get_if<std::string>(&v)) {
                std::string text = *s;
                PX_put_data_alpha(px, at, len, text.data());
            }
            offset += len;
        }
        ok = ok && PX_put_record(px, record.data()) >= 0;
    }
    PX_close(px);
    PX_delete(px);
    return ok;
}

}  // namespace veska::test
