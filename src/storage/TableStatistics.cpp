#include "storage/TableStatistics.h"

#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "storage/TableStatisticsPass.h"

#include "protocol/IsoTime.h"
#include "protocol/SiPrefixText.h"
#include "protocol/SiQuantity.h"

#include <cmath>
#include <limits>
#include <string>

namespace veska {

namespace {

// Four digits under an SI prefix: a display's own precision, and plenty for a mean.
QString forPeople(const std::optional<double>& v, std::string_view baseUnit) {
    if (!v) return QString();
    const double value = std::abs(*v) < 1e-300 ? 0.0 : *v;
    return QString::fromStdString(SiPrefixText::format(value, baseUnit));
}

}  // namespace

ReadingStatistics TableStatistics::compute(const TableEngine& table) {
    TableStatisticsPass pass(table);
    while (!pass.step(std::numeric_limits<qint64>::max())) {
    }
    return pass.statistics();
}

const QStringList& TableStatistics::header() {
    static const QStringList kHeader{QStringLiteral("Unit"),      QStringLiteral("Count"), QStringLiteral("Min"),
                                     QStringLiteral("Max"),       QStringLiteral("Mean"),  QStringLiteral("Std dev"),
                                     QStringLiteral("Overloads"), QStringLiteral("First"), QStringLiteral("Last")};
    return kHeader;
}

QString TableStatistics::localTime(const std::string& timeText) {
    if (const auto moment = IsoTime::parse(timeText)) return QString::fromStdString(IsoTime::local(*moment));
    return QString::fromStdString(timeText);
}

std::vector<QStringList> TableStatistics::rows(const ReadingStatistics& statistics) {
    std::vector<QStringList> out;
    for (const ReadingStatistics::Unit& u : statistics.units()) {
        QString unit = u.baseUnit.empty() ? QStringLiteral("(none)")
                                          : QString::fromUtf8(u.baseUnit.data(), qsizetype(u.baseUnit.size()));
        if (!u.coupling.empty()) unit += QLatin1Char(' ') + QString::fromLatin1(u.coupling.data(), qsizetype(u.coupling.size()));
        out.push_back({unit, QString::number(u.count), forPeople(u.minimum(), u.baseUnit),
                       forPeople(u.maximum(), u.baseUnit), forPeople(u.mean(), u.baseUnit),
                       forPeople(u.standardDeviation(), u.baseUnit), QString::number(u.overloads),
                       localTime(u.firstTime), localTime(u.lastTime)});
    }
    return out;
}

QString TableStatistics::text(const ReadingStatistics& statistics) {
    std::vector<QStringList> lines = rows(statistics);
    QString out;
    if (lines.empty()) {
        out = QStringLiteral("No readings\n");
    } else {
        lines.insert(lines.begin(), header());
        std::vector<qsizetype> width(std::size_t(header().size()), 0);
        for (const QStringList& line : lines)
            for (qsizetype i = 0; i < line.size(); ++i) width[std::size_t(i)] = std::max(width[std::size_t(i)], line[i].size());
        for (const QStringList& line : lines) {
            QString text;
            for (qsizetype i = 0; i < line.size(); ++i) {
                if (i > 0) text += QStringLiteral("  ");
                text += i + 1 < line.size() ? line[i].leftJustified(width[std::size_t(i)]) : line[i];
            }
            out += text + QLatin1Char('\n');
        }
    }
    if (statistics.unreadable() > 0)
        out += QStringLiteral("%1 readings without a readable value or unit\n").arg(statistics.unreadable());
    return out;
}

}  // namespace veska
