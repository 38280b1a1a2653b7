#include "protocol/LcdState.h"
#include "protocol/MeterReading.h"
#include "protocol/ScaleSet.h"
#include "storage/RecordTable.h"
#include "session/Recorder.h"
#include "session/AlarmLimits.h"
#include "session/ChartHistory.h"
#include "session/MeterSession.h"
#include "session/NeedlePosition.h"
#include "session/RunningExtremes.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace veska;

namespace {

// A packet text as the serial framing hands it on: sign, digits, separator, point code,
// four status bytes, the unused byte and the end byte.
std::string Packet(const char* sign, const char* digits, char point, const char* status) {
    return std::string(sign) + digits + "20" + "3" + point + status + "00" + "0D";
}

const char* const kVolt = "30000080";  // DC, AUTO, V
const char* const kHertz = "00000008";

LcdState Digits(const char* d1, const char* d2, const char* d3, const char* d4, bool negative = false) {
    LcdState lcd;
    lcd.digit1 = d1;
    lcd.digit2 = d2;
    lcd.digit3 = d3;
    lcd.digit4 = d4;
    lcd.negative = negative;
    return lcd;
}

}  // namespace

TEST(AlarmLimits, OnlySwitchedOnLimitsAlarmAndTheComparisonIsStrict) {
    AlarmLimits limits;
    limits.seedFromScale(scaleSet(ScaleCode::Count6000));
    EXPECT_EQ(limits.upper(), 6002.0F);
    EXPECT_EQ(limits.lower(), -6002.0F);
    limits.setUpper(6000.0F);
    limits.setLower(-6000.0F);
    EXPECT_FALSE(limits.isExceededBy(6001.0F));  // both switches off
    limits.setUpperOn(true);
    EXPECT_FALSE(limits.isExceededBy(6000.0F));
    EXPECT_TRUE(limits.isExceededBy(6001.0F));
    EXPECT_FALSE(limits.isExceededBy(-6001.0F));
    limits.setLowerOn(true);
    EXPECT_TRUE(limits.isExceededBy(-6001.0F));
}

TEST(RunningExtremes, Sequences) {
    struct Step {
        const char* unit;
        int point;
        bool scaleChanged;
        float value;
        const char* text;
        const char* maxText;  // texts after the step
        const char* minText;
        bool restarted;
    };
    // Every restart takes the reading itself as both extremes, texts included.
    const std::vector<Step> steps{
        {"V", 0, true, 120.0F, "0120", "0120", "0120", true},      // first reading
        {"V", 0, false, 120.0F, "0120", "0120", "0120", false},
        {"V", 0, false, 80.0F, "0080", "0120", "0080", false},
        {"V", 0, false, 150.0F, "0150", "0150", "0080", false},
        {"V", 0, false, 150.0F, "150.", "150.", "0080", false},    // a tie takes the newer text
        {"V", 3, false, 1999.0F, "199.9", "199.9", "199.9", true},  // range change
        {"V", 3, false, 6001.0F, ".0L", ".0L", "199.9", false},
        {"mV", 3, false, 10.0F, "001.0", "001.0", "001.0", true},  // unit change
        {"mV", 3, true, 20.0F, "002.0", "002.0", "002.0", true},   // scale change alone
        {"mV", 3, false, 5.0F, "000.5", "002.0", "000.5", false},
    };
    RunningExtremes extremes;
    extremes.seedFromScale(scaleSet(ScaleCode::Count6000));
    EXPECT_EQ(extremes.maximum(), -6001.0F);
    EXPECT_EQ(extremes.minimum(), 6001.0F);
    EXPECT_EQ(extremes.lastUnitText(), "113");
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        LcdState lcd;
        lcd.pointIndex = s.point;
        const MeterReading reading{s.text, s.value, "", s.unit, "AUTO"};
        EXPECT_EQ(extremes.track(lcd, reading, s.scaleChanged), s.restarted) << "step " << i;
        EXPECT_EQ(extremes.maximumText(), s.maxText) << "step " << i;
        EXPECT_EQ(extremes.minimumText(), s.minText) << "step " << i;
    }
    EXPECT_EQ(extremes.maximum(), 20.0F);
    EXPECT_EQ(extremes.minimum(), 5.0F);
    EXPECT_EQ(extremes.lastUnitText(), "mV");
}

TEST(NeedlePosition, Cases) {
    struct Case {
        LcdState lcd;
        int offset;
        int span;
        bool fourDigits;
        int position;
    };
    LcdState overload = Digits("0", ".", "L", "");
    overload.overload = true;
    LcdState negativeOverload = overload;
    negativeOverload.negative = true;
    const std::vector<Case> cases{
        {Digits("0", "2", "5", "3"), 1000, 200, true, 1253},  // 25.3 degrees, four digits
        {Digits("0", "2", "5", "3"), 600, 120, false, 625},
        {Digits("0", "2", "5", "3", true), 600, 120, false, 575},
        {negativeOverload, 600, 120, false, 0},
        {overload, 600, 120, false, 1200},
        {Digits("1", "-", "2", "3"), 600, 120, false, 600},  // not decimal: zero
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(needlePosition(c.lcd, c.offset, c.span, c.fourDigits), c.position) << "case " << i;
    }
}

TEST(ChartHistory, FollowsTheLastPageAndRestartsWithTheFillChoice) {
    ChartHistory chart;
    chart.setFollowLastPage(true);
    chart.setPointsPerPage(2);
    chart.fillSampleValues();
    chart.showSeries(ChartHistory::LineSeries);
    for (const char* d : {"1", "2", "3", "4"}) EXPECT_TRUE(chart.addReading(Digits("0", "0", "0", d), 6000));
    EXPECT_EQ(chart.points().count(ChartHistory::LineSeries), 5U);  // placeholder + 4
    EXPECT_EQ(chart.paging().page(), 3);
    EXPECT_FALSE(chart.addReading(Digits("0", "x", "0", "1"), 6000));
    LcdState overload = Digits("0", ".", "L", "");
    overload.overload = true;
    overload.negative = true;
    chart.addReading(overload, 1000);
    EXPECT_EQ(chart.points().value(ChartHistory::LineSeries, 5), -1000);

    chart.setFillShown(true);
    chart.restart();
    EXPECT_EQ(chart.points().count(ChartHistory::AreaSeries), 1U);
    EXPECT_TRUE(chart.isSeriesShown(ChartHistory::AreaSeries));
    EXPECT_FALSE(chart.isSeriesShown(ChartHistory::LineSeries));
}

class MeterSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        session.startUp();
    }
    void TearDown() override {
        session.recordTable().close();
        QDir::setCurrent(previous);
    }
    QTemporaryDir dir;
    QString previous;
    MeterSession session;
};

TEST_F(MeterSessionTest, StartsAsTheModelProfileSays) {
    EXPECT_EQ(session.scale().code, ScaleCode::Count6000);
    EXPECT_EQ(session.limits().upper(), 6000.0F);
    EXPECT_EQ(session.limits().lower(), -6000.0F);
    EXPECT_EQ(session.extremes().maximum(), -6001.0F);
    EXPECT_EQ(session.extremes().minimum(), 6001.0F);
    EXPECT_EQ(session.recorder().nextRecordNo(), 1);
    EXPECT_TRUE(session.chart().followLastPage());
}

TEST_F(MeterSessionTest, OnePacketThroughEveryStep) {
    session.recordTable().openDefault();
    session.setUpperLimit(1000.0F, true);
    QSignalSpy rows(&session, &MeterSession::rowRecorded);
    std::vector<ReadingUpdate> updates;
    QObject::connect(&session, &MeterSession::readingHandled, [&](const ReadingUpdate& u) { updates.push_back(u); });

    session.handlePacket(Packet("2D", "31323334", '1', kVolt));  // -1.234 V DC AUTO
    ASSERT_EQ(updates.size(), 1U);
    const ReadingUpdate& v = updates.back();
    EXPECT_EQ(v.reading.valueText, "-1.234");
    EXPECT_FALSE(v.alarm);
    EXPECT_TRUE(v.extremesRestarted);  // the first reading
    EXPECT_EQ(v.scale->code, ScaleCode::Count6000);
    EXPECT_EQ(v.needlePosition, 600 - 123);
    EXPECT_EQ(v.barMaximum, 60);
    EXPECT_EQ(v.barValue, 12);
    EXPECT_TRUE(v.chartPointAdded);
    ASSERT_EQ(rows.count(), 1);
    const QStringList texts = rows.at(0).at(0).toStringList();
    EXPECT_EQ(texts.at(0), "1");
    EXPECT_EQ(texts.mid(2, 4), (QStringList{"DC", "-1.234", "V", "AUTO"}));
    EXPECT_TRUE(session.watchdog().linkAlive());

    session.handlePacket(Packet("2B", "31323334", '0', kHertz));  // 1234 Hz: over the limit
    const ReadingUpdate& h = updates.back();
    EXPECT_TRUE(h.alarm);
    EXPECT_EQ(h.scale->code, ScaleCode::Frequency);
    EXPECT_EQ(session.scale().fullScaleCount, 1000);
    EXPECT_EQ(session.extremes().lastUnitText(), "Hz");
}

// Frequency with the kilo or mega mark is recorded under its own unit, on the hertz scale.
TEST_F(MeterSessionTest, PrefixedHertzIsRecordedAsSuch) {
    session.recordTable().openDefault();
    QSignalSpy rows(&session, &MeterSession::rowRecorded);
    const struct {
        const char* status;
        const char* unit;
    } cases[] = {{"00000008", "Hz"}, {"00002008", "kHz"}, {"00001008", "MHz"}, {"00003008", "MHz"}};
    for (const auto& c : cases) {
        session.handlePacket(Packet("2B", "31303031", '1', c.status));
        EXPECT_EQ(session.scale().code, ScaleCode::Frequency) << c.unit;
        ASSERT_FALSE(rows.isEmpty());
        EXPECT_EQ(rows.takeLast().at(0).toStringList().mid(3, 2), (QStringList{"1.001", c.unit}));
    }
}

// Each step: a packet, then what the MAX/MIN labels pair: texts and unit.
TEST_F(MeterSessionTest, ExtremesNeverPairAValueWithAnotherUnit) {
    struct Step {
        const char* digits;
        char point;
        const char* status;
        const char* maxText;
        const char* minText;
        const char* unit;
    };
    const Step steps[] = {
        {"30323335", '4', "00000002", "023.5", "023.5", "#"},    // 23.5 degrees C
        {"30323336", '4', "00000002", "023.6", "023.5", "#"},
        {"35303030", '2', "00000008", "50.00", "50.00", "Hz"},   // 50 Hz: no degrees left
        {"35303031", '2', "00000008", "50.01", "50.00", "Hz"},
        {"31303031", '1', "00002008", "1.001", "1.001", "kHz"},  // same scale, new unit
        {"31303032", '1', "00002008", "1.002", "1.001", "kHz"},
    };
    for (const Step& st : steps) {
        SCOPED_TRACE(st.digits);
        session.handlePacket(Packet("2B", st.digits, st.point, st.status));
        const RunningExtremes& e = session.extremes();
        EXPECT_EQ(e.maximumText(), st.maxText);
        EXPECT_EQ(e.minimumText(), st.minText);
        EXPECT_EQ(e.lastUnitText(), st.unit);
        EXPECT_EQ(e.maximum(), QString(st.maxText).remove('.').toFloat());
        EXPECT_EQ(e.minimum(), QString(st.minText).remove('.').toFloat());
    }
    EXPECT_EQ(session.scale().code, ScaleCode::Frequency);
}

TEST_F(MeterSessionTest, APacketThatDoesNotDecodeChangesNothingButItsCount) {
    session.handlePacket(Packet("2B", "30313233", '2', kVolt));
    const MeterReading before = session.reading();
    QSignalSpy failures(&session, &MeterSession::decodeFailed);
    session.handlePacket(Packet("2B", "3031323A", '2', kVolt));
    EXPECT_EQ(failures.count(), 1);
    EXPECT_EQ(session.decodeFailures(), 1U);
    EXPECT_EQ(session.reading(), before);
}

TEST_F(MeterSessionTest, NoPacketIsTakenWhileNotAccepting) {
    QSignalSpy handled(&session, &MeterSession::readingHandled);
    session.setAcceptingPackets(false);
    session.handlePacket(Packet("2B", "30313233", '2', kVolt));
    EXPECT_EQ(handled.count(), 0);
    EXPECT_FALSE(session.watchdog().linkAlive());
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
