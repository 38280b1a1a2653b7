#include "app/PlotCli.h"

#include "app/CommandLine.h"
#include "app/DataFileCli.h"
#include "history/HistoryClock.h"
#include "history/HistoryModel.h"
#include "storage/TableEngine.h"
#include "storage/TableError.h"
#include "storage/TableHistorySource.h"
#include "ui/HistoryPicture.h"

#include <QDateTime>
#include <QTime>

namespace veska {

std::optional<std::int64_t> PlotCli::momentOf(const QString& text, const HistoryModel& model) {
    for (const QString& format : {QStringLiteral("h:mm"), QStringLiteral("h:mm:ss"), QStringLiteral("h:mm:ss.zzz")}) {
        const QTime time = QTime::fromString(text, format);
        if (!time.isValid()) continue;
        const std::int64_t first = model.firstMs();
        const std::int64_t firstTimeOfDay = model.dateKnown()
                                                ? HistoryClock::localTimeOfDay(first)
                                                : ((first % HistoryClock::kDayMs) + HistoryClock::kDayMs) % HistoryClock::kDayMs;
        std::int64_t moment = first - firstTimeOfDay + time.msecsSinceStartOfDay();
        if (moment < first) moment += HistoryClock::kDayMs;
        return moment;
    }
    if (!model.dateKnown()) return std::nullopt;
    const QDateTime moment = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!moment.isValid()) return std::nullopt;
    return moment.toMSecsSinceEpoch();
}

QString PlotCli::plot(const CommandLine& cl) {
    try {
        TableEngine engine;
        DataFileCli::openForReading(engine, cl.plotTable);
        const TableHistorySource source(engine);
        HistoryModel model;
        model.scan(source, 0, source.rowCount());
        model.finish();
        HistoryView view = model.wholeRun();
        for (const auto& [text, end, name] : {std::tuple{cl.plotFrom, &view.fromMs, "--from"}, std::tuple{cl.plotTo, &view.toMs, "--to"}}) {
            if (text.isEmpty() || model.empty()) continue;
            const auto moment = momentOf(text, model);
            if (!moment) {
                return model.dateKnown()
                           ? QStringLiteral("%1: '%2' is neither an ISO 8601 time nor a time of day").arg(QLatin1String(name), text)
                           : QStringLiteral("%1: '%2' is not a time of day (the table has no dates)").arg(QLatin1String(name), text);
            }
            *end = *moment;
        }
        if (view.toMs <= view.fromMs) return QStringLiteral("--from must come before --to");
        const int width = HistoryPicture::plotArea(QRect(QPoint(0, 0), cl.plotSize)).width();
        std::vector<HistoryRowRange> rows;
        for (const auto& [first, end] : model.rowsToRefine(view, width)) rows.push_back(model.readRange(source, first, end));
        HistoryPicture::Options options;
        options.fixedY = cl.plotY;
        options.note = QStringLiteral("%1   %2 readings").arg(engine.filePath()).arg(model.readings());
        return HistoryPicture::save(cl.plotOut, cl.plotSize, model, model.envelope(view, width, rows), options,
                                    engine.filePath());
    } catch (const TableError& e) {
        return e.message();
    }
}

}  // namespace veska
