#pragma once

#include "protocol/MeterReading.h"

#include <cstdint>

namespace veska {

// A reading that became a row of the record table: what other formats (CSV, JSON lines,
// statistics) need of it, typed, without reading the row back.
struct RecordedReading {
    std::int64_t no = 0;      // the row's record number
    std::int64_t utcMs = 0;   // the moment it was recorded, milliseconds since 1970 UTC
    MeterReading reading;
};

}  // namespace veska
