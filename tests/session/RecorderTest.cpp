#include "session/RecorderBench.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>

using namespace veska;
using namespace veska::test;

namespace {

struct Case {
    const char* name;
    std::function<void(Bench&)> run;
};

const Case kCases[] = {
    {"Defaults", [](Bench& b) {
         EXPECT_TRUE(b.recorder.repeatSet());
         EXPECT_FALSE(b.recorder.recordSI());
         EXPECT_EQ(b.recorder.recordLimit(), 10000);
         b.feed(reading("1.000"), 10005);
         EXPECT_EQ(b.rows(), 10000);  // at most the limit, not one more
         EXPECT_EQ(b.recorder.recordedRows(), 10000);
         EXPECT_EQ(b.field(0, 0), "1");
         EXPECT_EQ(b.field(2, 0), "3");
         EXPECT_EQ(b.field(9999, 0), "10000");
         EXPECT_EQ(b.recorder.nextRecordNo(), 10001);
     }},
    {"Limit1000Then5000Resumes", [](Bench& b) {
         b.recorder.setRecordLimit(1000);
         EXPECT_EQ(b.recorder.recordLimit(), 1000);
         b.feed(reading("1.000"), 1005);
         EXPECT_EQ(b.rows(), 1000);
         b.recorder.setRecordLimit(5000);
         EXPECT_EQ(b.recorder.recordLimit(), 5000);
         b.feed(reading("1.000"));
         EXPECT_EQ(b.rows(), 1001);
         b.recorder.setRecordLimit(Recorder::kLimitless);
         EXPECT_EQ(b.recorder.recordLimit(), 10000000);
     }},
    {"RepeatClearSkipsOnlyTheSameKey", [](Bench& b) {
         b.recorder.setRepeatSet(false);
         for (const char* v : {"A", "A", "B", "A"}) b.feed(reading(v));
         b.feed(reading("A", "MANU"));  // same value, other range: a different reading
         EXPECT_EQ(b.values(), QStringList({"A/AUTO", "B/AUTO", "A/AUTO", "A/MANU"}));
         EXPECT_EQ(b.recorder.lastRecordedKey(), "ADCVMANU");
     }},
    {"Interval10WaitsTenTicks", [](Bench& b) {
         b.recorder.setRecordSI(true);
         b.recorder.setIntervalText("10");
         b.ticks(10);
         b.feed(reading("1"));
         EXPECT_EQ(b.rows(), 1);
         b.ticks(9);
         b.feed(reading("2"), 3);
         EXPECT_EQ(b.rows(), 1);
         b.ticks(1);
         b.feed(reading("3"), 3);
         EXPECT_EQ(b.values(), QStringList({"1/AUTO", "3/AUTO"}));
     }},
    {"IntervalZeroEmptyOrSignRecordsEverything", [](Bench& b) {
         b.recorder.setRecordSI(true);
         for (const char* text : {"0", "", "-", "+"}) {
             b.recorder.setIntervalText(text);
             const qint64 before = b.rows();
             b.feed(reading("1"), 3);
             EXPECT_EQ(b.rows(), before + 3) << text;
         }
         EXPECT_TRUE(b.errors.isEmpty());
     }},
    {"IntervalWithRepeatClear", [](Bench& b) {
         b.recorder.setRecordSI(true);
         b.recorder.setRepeatSet(false);
         b.recorder.setIntervalText("2");
         b.ticks(2);
         b.feed(reading("A"));
         b.ticks(2);
         b.feed(reading("A"));  // a repeat once the countdown ran out: skipped
         EXPECT_EQ(b.recorder.sampleCountdown(), 0);
         b.feed(reading("B"));  // recorded at once
         EXPECT_EQ(b.values(), QStringList({"A/AUTO", "B/AUTO"}));
         EXPECT_EQ(b.recorder.sampleCountdown(), 2);
     }},
    {"IntervalOffStillReloadsTheCountdown", [](Bench& b) {
         b.recorder.setIntervalText("3");
         b.ticks(3);
         b.feed(reading("1"), 2);
         EXPECT_EQ(b.rows(), 2);
         EXPECT_EQ(b.recorder.sampleCountdown(), 3);
         b.ticks(5);  // the timer does not count while the interval is off
         EXPECT_EQ(b.recorder.sampleCountdown(), 3);
         b.recorder.setRecordSI(true);
         b.feed(reading("2"));
         b.ticks(2);
         b.feed(reading("2"));
         EXPECT_EQ(b.rows(), 2);
         b.ticks(1);
         b.feed(reading("2"));
         EXPECT_EQ(b.rows(), 3);
     }},
    {"BadIntervalTextIsReportedOnceAndTheLastValidOneStays", [](Bench& b) {
         b.recorder.setRecordSI(true);
         b.recorder.setIntervalText("2");
         b.recorder.setIntervalText("99999999999");
         EXPECT_EQ(b.errors, QStringList({"'99999999999' is not a valid integer value"}));
         EXPECT_EQ(b.recorder.sampleCountdown(), 2);
         b.ticks(2);
         b.feed(reading("1"));
         b.ticks(2);
         b.feed(reading("1"));
         EXPECT_EQ(b.rows(), 2);
         EXPECT_EQ(b.errors.size(), 1);
         b.recorder.setIntervalText("-5");  // pasted: read as no interval
         b.feed(reading("1"), 2);
         EXPECT_EQ(b.rows(), 4);
     }},
    {"NewAfter25RowsAsksThenEmpties", [](Bench& b) {
         b.feed(reading("1"), 25);
         EXPECT_EQ(b.table.unsavedRows(), 25);
         EXPECT_FALSE(b.recorder.newRecord());  // answered No
         EXPECT_EQ(b.questions.size(), 1);
         EXPECT_EQ(b.rows(), 25);
         EXPECT_TRUE(b.infos.isEmpty());
         b.answer = true;
         EXPECT_TRUE(b.recorder.newRecord());
         EXPECT_EQ(b.infos, QStringList({" Record deleted "}));
         EXPECT_EQ(b.rows(), 0);
         EXPECT_EQ(b.recorder.recordedRows(), 0);
         b.feed(reading("2"));
         EXPECT_EQ(b.field(0, 0), "1");
         // Saved rows need no question; an empty table only shows the message.
         b.table.markSaved();
         EXPECT_TRUE(b.recorder.newRecord());
         EXPECT_TRUE(b.recorder.newRecord());
         EXPECT_EQ(b.questions.size(), 2);
         EXPECT_EQ(b.infos.size(), 3);
     }},
    // Success is told only after the rows are gone; a failure tells its error alone.
    {"NewThatCannotEmptyTellsOnlyTheError", [](Bench& b) {
         b.feed(reading("1"), 3);
         b.table.markSaved();
         b.table.close();
         EXPECT_FALSE(b.recorder.newRecord());
         EXPECT_TRUE(b.infos.isEmpty());
         ASSERT_EQ(b.errors.size(), 1);
         EXPECT_EQ(b.errors[0], "Cannot perform this operation on a closed table");
     }},
    {"TimeOfDayWithoutDateAndOverloadRow", [](Bench& b) {
         b.feed(MeterReading{"0.L", 6001.0F, "", "k*", "MANU"});
         const QStringList texts = b.table.rowTexts(0);
         ASSERT_EQ(texts.size(), 9);
         EXPECT_EQ(texts.mid(0, 7), QStringList({"1", "14:05:09", "", "0.L", "k*", "MANU", "6001"}));
         // The moment carries the date; an overload has no SI value.
         EXPECT_TRUE(texts[7].endsWith('Z')) << texts[7].toStdString();
         EXPECT_EQ(texts[8], "");
     }},
};

class RecordingRules : public ::testing::TestWithParam<Case> {};

TEST_P(RecordingRules, Case) {
    Bench bench;
    GetParam().run(bench);
}

INSTANTIATE_TEST_SUITE_P(Recording, RecordingRules, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Recording, KeyFilterLetsDigitsAndBackspaceThrough) {
    for (QChar c : {QChar('0'), QChar('9'), QChar(8)}) {
        QChar key = c;
        EXPECT_TRUE(Recorder::acceptsIntervalKey(key));
        EXPECT_EQ(key, c);
    }
    for (QChar c : {QChar('-'), QChar('+'), QChar('a'), QChar(' ')}) {
        QChar key = c;
        EXPECT_FALSE(Recorder::acceptsIntervalKey(key));
        EXPECT_EQ(key, QChar(0));
    }
}

// No table open (its open failure was reported then): readings are not recorded, not
// counted, and no further message follows.
TEST(Recording, WithoutATableNothingIsRecordedAndNothingMoreSaid) {
    Bench b;
    b.table.close();
    b.feed(reading("1"), 3);
    EXPECT_TRUE(b.errors.isEmpty());
    EXPECT_EQ(b.recorder.recordedRows(), 0);
    EXPECT_EQ(b.recorder.nextRecordNo(), 1);
}

}  // namespace

// Without a fake time of day the Time field is the local time of the row's own moment, the
// same instant as its UTC field.
TEST(Recording, TheTimeOfDayIsTheLocalTimeOfTheRowsMoment) {
    // A zone with summer time, whatever the machine's: POSIX rules need no zone files.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    Bench b;
    b.recorder.setClock({});
    for (const qint64 moment : {qint64(1796872455123), qint64(1781234567999)}) {  // December, June
        b.recorder.setMomentClock([moment] { return moment; });
        b.feed(reading("1.000"));
        const QTime local = QDateTime::fromMSecsSinceEpoch(moment).time();
        EXPECT_EQ(b.field(b.rows() - 1, 1), QTime(local.hour(), local.minute(), local.second()).toString("hh:mm:ss"));
    }
    EXPECT_EQ(b.field(0, 1), "04:14:15");  // 03:14:15Z, winter time
    EXPECT_EQ(b.field(1, 1), "05:22:47");  // 03:22:47Z, summer time
    if (oldTz.isNull()) qunsetenv("TZ"); else qputenv("TZ", oldTz);
    tzset();
}

// Tables Veska creates carry the moment and the SI value; the file gives them back after
// a copy (what "Save as .db" writes), overload as NULL.
TEST(Recording, NewTablesKeepTheMomentAndTheSiValue) {
    Bench b;
    ASSERT_EQ(b.table.engine().fields().size(), 9U);
    b.recorder.setMomentClock([] { return qint64(1796872455123); });  // 2026-12-10T03:14:15.123Z
    b.feed(MeterReading{"4.698", 4698.0F, "DC", "k*", "AUTO"});
    b.feed(MeterReading{"-.0L", -4001.0F, "DC", "M*", "AUTO"});
    b.feed(MeterReading{"12.0", 120.0F, "DC", "uA", "MANU"});
    ASSERT_EQ(b.rows(), 3);
    EXPECT_EQ(b.recorder.lastRecorded().no, 3);
    EXPECT_EQ(b.recorder.lastRecorded().utcMs, 1796872455123);
    const QString copy = b.dir.filePath("copy.db");
    b.table.engine().copyTo(copy);

    TableEngine e;
    e.setTableName(copy);
    e.open();
    QStringList utc;
    std::vector<TableEngine::Value> si;
    QStringList seven;
    for (e.first(); !e.eof(); e.next()) {
        utc << e.fieldText("utc");
        si.push_back(e.fieldValue("SIval"));
        seven << e.fieldText("Value") + "|" + e.fieldText("Unit") + "|" + e.fieldText("Nval");
    }
    EXPECT_EQ(utc, QStringList({"2026-12-10T03:14:15.123Z", "2026-12-10T03:14:15.123Z", "2026-12-10T03:14:15.123Z"}));
    ASSERT_EQ(si.size(), 3U);
    EXPECT_EQ(std::get<double>(si[0]), 4698.0);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(si[1]));
    EXPECT_EQ(std::get<double>(si[2]), 0.000012);
    // The first seven fields are exactly what they always were.
    EXPECT_EQ(seven, QStringList({"4.698|k*|4698", "-.0L|M*|-4001", "12.0|uA|120"}));
}

// A table of the seven fields alone (an older file) still records, and stays as it is.
TEST(Recording, OlderTablesRecordTheirSevenFields) {
    QTemporaryDir dir;
    auto seven = RecordTable::recordFields();
    seven.resize(7);
    TableEngine::createTable(dir.filePath("Kestodb.db"), seven, RecordTable::defaultTableName());
    QDir::setCurrent(dir.path());
    {
        RecordTable table;
        table.openDefault();
        Recorder recorder(table);
        recorder.samplingTimer().stop();
        recorder.offerReading(MeterReading{"4.698", 4698.0F, "DC", "k*", "AUTO"});
        ASSERT_EQ(table.rowCount(), 1);
        EXPECT_EQ(table.rowTexts(0).size(), 7);
        EXPECT_EQ(table.rowTexts(0).value(3), "4.698");
        table.close();
    }
    QDir::setCurrent(QDir::tempPath());
}
