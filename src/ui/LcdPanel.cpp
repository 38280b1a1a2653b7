#include "ui/LcdPanel.h"
#include "ui/ArialFont.h"

#include "ui/DisplayResources.h"
#include "ui/LcdLabel.h"

#include "protocol/LcdState.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>

#include <array>

namespace veska {

namespace {

// Annunciators drawn in the LCD symbol font: text, cell height, bold, place, flag.
struct LabelMark {
    const char* name;
    const char* text;
    int height;
    bool bold;
    QPoint at;
    bool LcdState::*flag;
};

constexpr std::array<LabelMark, 20> kLabelMarks{{
    {"LcdAuto", "Auto range", 16, true, {56, 131}, &LcdState::autoRange},
    {"LcdDc1", "DC", 21, true, {5, 46}, &LcdState::dc},
    {"LcdAC", "AC", 21, true, {6, 46}, &LcdState::ac},
    {"LCDHold", "\"", 35, false, {8, 102}, &LcdState::hold},
    {"LCDBATT", "$", 35, false, {256, -1}, &LcdState::battery},
    {"LCDn", "n", 24, false, {208, 10}, &LcdState::nano},
    {"LCDu", "+", 32, false, {208, 3}, &LcdState::micro},
    {"Lcdm", "m", 24, false, {208, 9}, &LcdState::milli},
    {"LCDk", "k", 24, false, {238, 76}, &LcdState::kilo},
    {"LCDM1", "M", 19, false, {238, 81}, &LcdState::mega},
    {"LCDFm", "&", 32, false, {176, 8}, &LcdState::beep},
    {"LCDDI", ")", 29, false, {176, 9}, &LcdState::diode},
    {"LCDBF", "%", 21, false, {248, 40}, &LcdState::percent},
    {"LcdV", "V", 24, false, {232, 11}, &LcdState::volt},
    {"LCDA", "A", 24, false, {232, 10}, &LcdState::ampere},
    {"LCDohm", "*", 19, false, {264, 81}, &LcdState::ohm},
    {"LCDHz", "Hz", 24, false, {248, 98}, &LcdState::hertz},
    {"LCDF", "F", 24, false, {232, 10}, &LcdState::farad},
    {"LCDCS", "#", 24, false, {240, 57}, &LcdState::celsius},
    {"LCDFS", "?", 24, false, {256, 57}, &LcdState::fahrenheit},
}};

constexpr std::array<int, 4> kDigitLeft{40, 88, 136, 184};
constexpr std::array<int, 3> kPointLeft{79, 127, 176};

LcdLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int height, bool bold, QPoint at) {
    auto* label = new LcdLabel(text, height, bold, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(at);
    return label;
}

QLabel* makeArialMark(QWidget* parent, const char* name, const QString& text, QPoint at) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(ArialFont::px(16, true));
    label->move(at);
    label->adjustSize();
    return label;
}

// A decimal point: a small filled black square.
QWidget* makePoint(QWidget* parent, int index, QPoint at, QSize size) {
    auto* point = new QWidget(parent);
    point->setObjectName(QStringLiteral("LcdP%1").arg(index));
    point->setAutoFillBackground(true);
    QPalette palette = point->palette();
    palette.setColor(QPalette::Window, Qt::black);
    point->setPalette(palette);
    point->setGeometry(QRect(at, size));
    return point;
}

// Only touch widgets whose visibility really changes: a reading arrives many times a
// second and most marks keep their state.
void setShown(QWidget* widget, bool shown) {
    if (widget->isHidden() == shown) widget->setVisible(shown);
}

}  // namespace

LcdPanel::LcdPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("lcdPanel"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
    resize(285, 162);

    createDigits();
    createMarks();
    createPictures();
    createHiddenControls();
    for (const Mark& mark : m_marks) mark.widget->hide();
    for (QWidget* point : m_points) point->hide();
}

void LcdPanel::createDigits() {
    static constexpr std::array<const char*, 4> kNames{"LcdDa", "LcdDb", "LcdDc", "LcdDd"};
    static constexpr std::array<const char*, 4> kStart{"5", "9", "9", "9"};
    for (std::size_t i = 0; i < kNames.size(); ++i)
        m_digits.push_back(makeLabel(this, kNames[i], QString::fromLatin1(kStart[i]), 100, false, {kDigitLeft[i], 28}));
    for (std::size_t i = 0; i < kPointLeft.size(); ++i)
        m_points.push_back(makePoint(this, static_cast<int>(i) + 1, {kPointLeft[i], 113}, i == 2 ? QSize(9, 8) : QSize(7, 8)));
    m_minus = makeLabel(this, "LcdFH", QStringLiteral("-"), 100, false, {5, 36});
    m_minus->hide();
}

void LcdPanel::createMarks() {
    for (const LabelMark& mark : kLabelMarks) {
        LcdLabel* label = makeLabel(this, mark.name, QString::fromLatin1(mark.text), mark.height, mark.bold, mark.at);
        m_marks.push_back({label, mark.flag});
    }
    m_marks.push_back({makeArialMark(this, "Labmax", QStringLiteral("MAX"), {52, 18}), &LcdState::maxMark});
    m_marks.push_back({makeArialMark(this, "Labmin", QStringLiteral("MIN"), {92, 18}), &LcdState::minMark});
}

void LcdPanel::createPictures() {
    m_marks.push_back({DisplayResources::pictureLabel(this, "LCDREL", {129, 10}), &LcdState::rel});
    m_send = DisplayResources::pictureLabel(this, "LCDsend", {5, 4});
    m_send->hide();
}

void LcdPanel::createHiddenControls() {
    // Marks of other models: this meter never lights them.
    m_neverShown.push_back(makeLabel(this, "LcdRPM", QStringLiteral("RPM"), 16, false, {208, 131}));
    m_neverShown.push_back(makeLabel(this, "LCDBT", QStringLiteral("("), 24, false, {232, 131}));
    m_neverShown.push_back(DisplayResources::pictureLabel(this, "EF", {150, 10}));
    static constexpr std::array<std::pair<const char*, const char*>, 7> kResourceOnly{{
        {"LCDRS", "RS"}, {"LCD232C", "232C"}, {"LCDRec", "Rec"}, {"LCDTRMST", "T"},
        {"LCDTRMS", "TRMS"}, {"LcdACDC", "AC+DC"}, {"LCDpower", "P"},
    }};
    for (const auto& [name, text] : kResourceOnly) m_neverShown.push_back(makeLabel(this, name, QString::fromLatin1(text), 16, false, {0, 0}));
    for (QWidget* widget : m_neverShown) widget->hide();

    m_memo2 = new QPlainTextEdit(QStringLiteral("Memo2"), this);
    m_memo2->setObjectName(QStringLiteral("packetTextView"));
    m_memo2->setReadOnly(true);
    m_memo2->setGeometry(272, 0, 281, 33);
    QPalette palette = m_memo2->palette();
    palette.setColor(QPalette::Base, QColor(171, 171, 171));
    m_memo2->setPalette(palette);
    m_memo2->hide();
    m_dataDisplay = new QCheckBox(QStringLiteral("Data_display"), this);
    m_dataDisplay->setObjectName(QStringLiteral("dataDisplayBox"));
    m_dataDisplay->hide();
}

void LcdPanel::clearMarks() {
    for (const Mark& mark : m_marks) setShown(mark.widget, false);
    setShown(m_minus, false);
    for (QWidget* widget : m_neverShown) setShown(widget, false);
    setShown(m_memo2, m_dataDisplay->isChecked());
    setShown(m_send, true);
}

void LcdPanel::showMarks(const LcdState& lcd) {
    for (const Mark& mark : m_marks) setShown(mark.widget, lcd.*(mark.flag));
    setShown(m_minus, lcd.negative);
    for (std::size_t i = 0; i < m_points.size(); ++i) setShown(m_points[i], lcd.pointIndex == static_cast<int>(i) + 1);
}

void LcdPanel::showDigits(const LcdState& lcd) {
    m_digits[0]->setText(QString::fromStdString(lcd.digit1));
    m_digits[1]->setText(QString::fromStdString(lcd.digit2));
    m_digits[2]->setText(QString::fromStdString(lcd.digit3));
    m_digits[3]->setText(QString::fromStdString(lcd.digit4));
}

void LcdPanel::setFirstDigit(const QString& digit) { m_digits[0]->setText(digit); }

LcdLabel* LcdPanel::digit(int place) const {
    return place >= 1 && place <= 4 ? m_digits[static_cast<std::size_t>(place - 1)] : nullptr;
}

QWidget* LcdPanel::point(int index) const {
    return index >= 1 && index <= 3 ? m_points[static_cast<std::size_t>(index - 1)] : nullptr;
}

QWidget* LcdPanel::control(const QString& name) const { return findChild<QWidget*>(name); }

}  // namespace veska
