#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace veska {

struct CommandLine;
class HistoryModel;

// veska --plot TABLE OUT.(png|svg|pdf): the History view's picture of a record file without
// a display. The whole run, or --from/--to, at --size, y fitted or fixed by --y; written
// through SafeFileWriter. Needs a QGuiApplication (fonts); offscreen is enough. Returns an
// empty text on success, otherwise the message for the user.
class PlotCli {
public:
    static QString plot(const CommandLine& commandLine);
    // A TIME of the command line as a moment of the run: ISO 8601 (a zone or local time), or
    // a time of day ("14:05", "14:05:30", "14:05:30.250"), the first such moment from the
    // run's start on. Empty when the text is neither (or a date for a run without dates).
    static std::optional<std::int64_t> momentOf(const QString& text, const HistoryModel& model);
};

}  // namespace veska
