#include "storage/CsvExport.h"

#include "storage/RecordColumns.h"
#include "storage/RecordTable.h"
#include "storage/SafeFileWriter.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"

#include "protocol/IsoTime.h"
#include "protocol/MeterReading.h"
#include "protocol/ReadingCsv.h"
#include "protocol/SiQuantity.h"

#include <charconv>
#include <cmath>
#include <string>

namespace veska {

namespace {

constexpr std::size_t kFlushBytes = 1 << 18;

std::optional<std::int64_t> wholeNumber(std::string_view text) {
    std::int64_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return n;
}

std::optional<double> realNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    // Stored reals display in the shortest text that reads back exactly; strtod needs a
    // terminated string.
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

bool CsvExport::isCsvName(const QString& fileName) {
    return fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
}

TextExport::Result CsvExport::exportTableAsCsv(const TableEngine& table, const QString& fileName) {
    if (!table.isOpen()) throw TableError(QStringLiteral("Cannot perform this operation on a closed table"));
    const RecordColumns::Indexes columns = RecordColumns::indexesIn(table);
    std::vector<int> positions(columns.begin(), columns.end());
    const int utcField = table.fieldIndex(RecordTable::utcField());
    const int siField = table.fieldIndex(RecordTable::siValueField());
    if (utcField >= 0) positions.push_back(utcField);
    const std::size_t utcAt = utcField >= 0 ? positions.size() - 1 : 0;
    if (siField >= 0) positions.push_back(siField);
    const std::size_t siAt = siField >= 0 ? positions.size() - 1 : 0;

    SafeFileWriter file(fileName);
    file.protectTable(table.filePath());
    auto failed = [&] {
        file.cancel();
        return TextExport::Result{false, TextExport::failureMessage(fileName, file.reason()), file.reason()};
    };
    if (!file.open(QIODevice::WriteOnly)) return failed();

    std::string buffer(ReadingCsv::header());
    buffer.reserve(kFlushBytes + 4096);
    MeterReading reading;
    std::string time;
    bool writeFailed = false;
    table.forEachRowText(positions, [&](const std::vector<std::string_view>& t) {
        if (writeFailed) return;
        // No, Time, DC/AC, Value, Unit, AUTO in RecordColumns' order.
        reading.valueText.assign(t[3]);
        reading.acDcText.assign(t[2]);
        reading.unitText.assign(t[4]);
        reading.rangeText.assign(t[5]);
        SiQuantity quantity = SiQuantity::fromDisplay(t[3], t[4]);
        if (siField >= 0 && quantity.isNumber()) {
            // The stored value is what was recorded; a NULL (restored rows of older
            // journals) leaves the one computed from the texts.
            if (const auto stored = realNumber(t[siAt])) quantity.value = *stored == 0.0 ? 0.0 : *stored;
        }
        const auto moment = utcField >= 0 ? IsoTime::parse(t[utcAt]) : std::nullopt;
        if (moment) {
            time = IsoTime::local(*moment);
        } else {
            time.assign(t[1]);
        }
        ReadingCsv::appendRow(buffer, reading, quantity, time, wholeNumber(t[0]));
        if (buffer.size() < kFlushBytes) return;
        writeFailed = file.write(buffer.data(), qint64(buffer.size())) != qint64(buffer.size());
        buffer.clear();
    });
    if (writeFailed || file.write(buffer.data(), qint64(buffer.size())) != qint64(buffer.size()) || !file.commit())
        return failed();
    return TextExport::Result{true, TextExport::successMessage(fileName), QString()};
}

}  // namespace veska
