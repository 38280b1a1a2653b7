#include "links/BridgeConfigReport.h"

namespace veska {

BridgeConfigReport::Bytes BridgeConfigReport::build(std::uint32_t bitsPerSecond) {
    Bytes report{};
    for (int i = 0; i < 4; ++i) report[1 + i] = static_cast<std::uint8_t>(bitsPerSecond >> (8 * i));
    report[5] = 0x03;
    return report;
}

QString BridgeConfigReport::logLine(const Bytes& report) {
    QString line;
    for (std::size_t i = 1; i < report.size(); ++i) {
        line += QString("%1 ").arg(report[i], 2, 16, QChar('0')).toUpper();
    }
    return line;
}

}  // namespace veska
