#include "ui/AnalogGauge.h"
#include "ui/LcdLabel.h"
#include "ui/LcdPanel.h"
#include "ui/LcdSymbolDelegate.h"
#include "ui/LcdSymbolFont.h"

#include "protocol/PacketDecoder.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStandardItemModel>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace veska;

namespace {

// Serial packet text: sign, four digit bytes, separator, point code, four status bytes,
// unused byte, end byte.
std::string Packet(const char* digits, char point, const char* status, const char* sign = "2B") {
    return std::string(sign) + digits + "20" + "3" + point + status + "00" + "0D";
}

// Panel steps of one reading, in the order the reading cycle runs them.
LcdState Show(LcdPanel& panel, const std::string& packet) {
    panel.clearMarks();
    const DecodeResult decoded = decodePacket(packet, 6000);
    EXPECT_TRUE(decoded.ok) << decoded.error;
    panel.showMarks(decoded.lcd);
    panel.showDigits(decoded.lcd);
    return decoded.lcd;
}

std::vector<std::string> ShownMarks(const LcdPanel& panel) {
    static const std::vector<std::string> kMarks{
        "LcdAuto", "LcdDc1", "LcdAC", "LCDREL", "LCDHold", "Labmax", "Labmin", "LCDBATT", "LCDn", "LCDu",
        "Lcdm",    "LCDk",   "LCDM1", "LCDFm",  "LCDDI",   "LCDBF",  "LcdV",   "LCDA",    "LCDohm", "LCDHz",
        "LCDF",    "LCDCS",  "LCDFS", "LcdFH",  "LcdRPM",  "LCDBT",  "EF",     "LcdP1",   "LcdP2",  "LcdP3"};
    std::vector<std::string> shown;
    for (const std::string& name : kMarks) {
        QWidget* w = panel.control(QString::fromStdString(name));
        EXPECT_NE(w, nullptr) << name;
        if (w != nullptr && !w->isHidden()) shown.push_back(name);
    }
    return shown;
}

std::string Digits(const LcdPanel& panel) {
    std::string out;
    for (int place = 1; place <= 4; ++place) out += "[" + panel.digit(place)->text().toStdString() + "]";
    return out;
}

}  // namespace

TEST(LcdPanel, StartsInDesignState) {
    LcdPanel panel;
    EXPECT_EQ(panel.size(), QSize(285, 162));
    EXPECT_EQ(Digits(panel), "[5][9][9][9]");
    EXPECT_TRUE(ShownMarks(panel).empty());
    EXPECT_TRUE(panel.control("LCDsend")->isHidden());
    EXPECT_EQ(panel.control("LcdDc")->pos(), QPoint(136, 28));
    EXPECT_EQ(panel.control("LcdP3")->geometry(), QRect(176, 113, 9, 8));
    EXPECT_EQ(panel.control("LCDREL")->geometry(), QRect(129, 10, 24, 24));
    EXPECT_EQ(panel.control("LCDsend")->geometry(), QRect(5, 4, 36, 29));
    EXPECT_EQ(static_cast<LcdLabel*>(panel.control("LCDBATT"))->pixelHeight(), 35);
}

TEST(LcdPanel, EachPacketShowsOnlyItsOwnMarks) {
    LcdPanel panel;
    Show(panel, Packet("30313233", '0', "0A000000"));  // HOLD and AC
    EXPECT_EQ(ShownMarks(panel), (std::vector<std::string>{"LcdAC", "LCDHold"}));
    EXPECT_FALSE(panel.control("LCDsend")->isHidden());

    Show(panel, Packet("30313233", '0', "00000000"));
    EXPECT_TRUE(ShownMarks(panel).empty());
    EXPECT_EQ(Digits(panel), "[0][1][2][3]");
}

TEST(LcdPanel, OverloadWithPointAfterSecondPlace) {
    LcdPanel panel;
    Show(panel, Packet("3F313233", '2', "00000000", "2D"));
    EXPECT_EQ(Digits(panel), "[][0][@][]");
    EXPECT_EQ(ShownMarks(panel), (std::vector<std::string>{"LcdFH", "LcdP2"}));
}

TEST(LcdPanel, VoltWithMilliShowsNoOtherPrefix) {
    LcdPanel panel;
    Show(panel, Packet("30303030", '0', "00002020"));  // kilo ohm before
    Show(panel, Packet("30303030", '0', "00004080"));  // millivolt
    for (const char* name : {"LcdV", "Lcdm"}) EXPECT_FALSE(panel.control(name)->isHidden()) << name;
    for (const char* name : {"LCDk", "LCDM1", "LCDu", "LCDn"}) EXPECT_TRUE(panel.control(name)->isHidden()) << name;
}

TEST(LcdPanel, DataMemoFollowsItsSwitchAtTheNextPacket) {
    LcdPanel panel;
    panel.dataDisplayBox()->setChecked(true);
    EXPECT_TRUE(panel.packetTextView()->isHidden());
    panel.clearMarks();
    EXPECT_FALSE(panel.packetTextView()->isHidden());
    EXPECT_EQ(panel.packetTextView()->toPlainText(), "Memo2");
    panel.dataDisplayBox()->setChecked(false);
    panel.clearMarks();
    EXPECT_TRUE(panel.packetTextView()->isHidden());
}

TEST(LcdPanel, LinkIndicatorOnGauge) {
    AnalogGauge gauge;
    EXPECT_TRUE(gauge.linkOkPicture()->isHidden());
    EXPECT_FALSE(gauge.linkDownPicture()->isHidden());
    EXPECT_EQ(gauge.linkOkPicture()->geometry(), QRect(5, 5, 25, 24));
    EXPECT_FALSE(gauge.linkOkPicture()->pixmap().isNull());  // decoded from its JPEG resource
    gauge.setLinkAlive(true);
    EXPECT_FALSE(gauge.linkOkPicture()->isHidden());
    EXPECT_TRUE(gauge.linkDownPicture()->isHidden());
}

TEST(LcdSymbolFont, UnitTextsReadAsUnits) {
    const std::vector<std::pair<QString, QString>> cases{
        {"k*", "k\u03A9"}, {"M*", "M\u03A9"}, {"*", "\u03A9"}, {"uA", "\u00B5A"}, {"uF", "\u00B5F"},
        {"#", "\u00B0C"},  {"?", "\u00B0F"},  {"mV", "mV"},     {"Hz", "Hz"},      {"%", "%"},  {"", ""},
        {"kHz", "kHz"},    {"MHz", "MHz"}};
    for (const auto& [unit, human] : cases) EXPECT_EQ(LcdSymbolFont::humanText(unit), human) << unit.toStdString();
    EXPECT_EQ(LcdSymbolFont::symbolsForUnit("uA"), "+A");
}

TEST(LcdSymbolFont, DrawsSegmentDigitsAndSymbols) {
    // Every symbol of the font leaves ink, and an eight covers more than a one.
    auto ink = [](const QString& symbols) {
        LcdLabel label(symbols, 40);
        const QImage image = label.grab().toImage();
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
        return dark;
    };
    for (const char* s : {"0", "1", "@", "-", "\"", "$", "&", ")", "+", "*", "#", "?", "%", "V"})
        EXPECT_GT(ink(QString::fromLatin1(s)), 10) << s;
    EXPECT_GT(ink("8"), ink("1"));
}

TEST(LcdSymbolDelegate, UnitColumnShowsSymbols) {
    LcdSymbolDelegate delegate;
    EXPECT_EQ(delegate.displayText(QStringLiteral("k*"), QLocale()), "k\u03A9");

    QStandardItemModel model(1, 1);
    model.setItem(0, 0, new QStandardItem(QStringLiteral("#")));
    QImage image(36, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.palette.setColor(QPalette::Text, Qt::black);
        delegate.paint(&painter, option, model.index(0, 0));
    }
    // Right-aligned: the left half stays empty, the right half has the degree sign's ink.
    int leftInk = 0;
    int rightInk = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) (x < image.width() / 2 ? leftInk : rightInk)++;
    EXPECT_EQ(leftInk, 0);
    EXPECT_GT(rightInk, 5);
}
