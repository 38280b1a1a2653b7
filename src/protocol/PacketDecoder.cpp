#include "protocol/PacketDecoder.h"

#include <array>
#include <cstddef>

namespace veska {

namespace {

constexpr std::size_t kBitChars = 28;

int hexValue(char c) {
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    // Any other character counts by its decimal value; for the hex texts we are given
    // that is '0'..'9'.
    return c - '0';
}

// Character k (1-based) of the packet text, or '\0' when the text is shorter.
char charAt(std::string_view text, std::size_t k) { return k <= text.size() ? text[k - 1] : '\0'; }

bool isDecimal(char c) { return c >= '0' && c <= '9'; }

std::string notAnInteger(std::string_view text) {
    std::string msg = "'";
    msg += text;
    msg += "' is not a valid integer value";
    return msg;
}

// Bit at 1-based position pos of PacketBits, computed without building the text.
bool bitAt(std::string_view text, std::size_t pos) {
    std::size_t k = (pos - 1) / 4 + 1;
    // A missing character repeats the one before it.
    while (k > text.size() && k > 1) --k;
    const int value = k <= text.size() ? hexValue(text[k - 1]) : 0;
    const int bit = 3 - static_cast<int>((pos - 1) % 4);
    return ((value >> bit) & 1) != 0;
}

void setMarks(std::string_view text, LcdState& lcd) {
    struct Mark {
        std::size_t pos;
        bool LcdState::*flag;
    };
    static constexpr std::array<Mark, 23> kMarks{{
        {59, &LcdState::autoRange}, {60, &LcdState::dc},       {61, &LcdState::ac},
        {62, &LcdState::rel},       {63, &LcdState::hold},     {67, &LcdState::maxMark},
        {68, &LcdState::minMark},   {70, &LcdState::battery},  {71, &LcdState::nano},
        {73, &LcdState::micro},     {74, &LcdState::milli},    {75, &LcdState::kilo},
        {76, &LcdState::mega},      {77, &LcdState::beep},     {78, &LcdState::diode},
        {79, &LcdState::percent},   {81, &LcdState::volt},     {82, &LcdState::ampere},
        {83, &LcdState::ohm},       {85, &LcdState::hertz},    {86, &LcdState::farad},
        {87, &LcdState::celsius},   {88, &LcdState::fahrenheit},
    }};
    for (const Mark& m : kMarks) lcd.*(m.flag) = bitAt(text, m.pos);
}

// The unit rules apply in order; each match replaces the text of the earlier ones.
const char* UnitText(const LcdState& s) {
    const char* unit = "";
    if (s.volt) unit = "V";
    if (s.ampere) unit = "A";
    if (s.ohm) unit = "*";
    if (s.farad) unit = "F";
    if (s.celsius) unit = "#";
    if (s.fahrenheit) unit = "?";
    // Frequency takes its own prefix here, so every later rule still wins over it.
    if (s.hertz) unit = s.mega ? "MHz" : s.kilo ? "kHz" : "Hz";
    if (s.percent) unit = "%";
    if (s.volt && s.nano) unit = "nV";
    if (s.volt && s.milli) unit = "mV";
    if (s.volt && s.micro) unit = "uV";
    if (s.ampere && s.nano) unit = "nA";
    if (s.ampere && s.milli) unit = "mA";
    if (s.ampere && s.micro) unit = "uA";
    if (s.farad && s.nano) unit = "nF";
    if (s.farad && s.milli) unit = "mF";
    if (s.farad && s.micro) unit = "uF";
    if (s.ohm && s.kilo) unit = "k*";
    if (s.ohm && s.mega) unit = "M*";
    return unit;
}

void assignChar(std::string& out, char c) {
    out.clear();
    if (c != '\0') out.push_back(c);
}

}  // namespace

std::string packetBits(std::string_view packetText) {
    std::string bits;
    bits.reserve(kBitChars * 4);
    int value = 0;
    for (std::size_t k = 1; k <= kBitChars; ++k) {
        if (k <= packetText.size()) value = hexValue(packetText[k - 1]);
        for (int b = 3; b >= 0; --b) bits.push_back(((value >> b) & 1) != 0 ? '1' : '0');
    }
    return bits;
}

DecodeResult decodePacket(std::string_view packetText, int fullScaleCount) {
    DecodeResult result;
    decodePacket(packetText, fullScaleCount, result);
    return result;
}

void decodePacket(std::string_view text, int fullScaleCount, DecodeResult& out) {
    out.ok = false;
    out.error.clear();
    LcdState& lcd = out.lcd;
    MeterReading& reading = out.reading;
    lcd = LcdState{};

    assignChar(lcd.digit1, charAt(text, 4));
    assignChar(lcd.digit2, charAt(text, 6));
    assignChar(lcd.digit3, charAt(text, 8));
    assignChar(lcd.digit4, charAt(text, 10));

    const char pointCode = charAt(text, 14);
    if (!isDecimal(pointCode)) {
        out.error = notAnInteger(std::string_view(&pointCode, pointCode ? 1 : 0));
        return;
    }
    switch (pointCode) {
    case '1': lcd.pointIndex = 1; break;
    case '2': lcd.pointIndex = 2; break;
    case '4': lcd.pointIndex = 3; break;
    default: lcd.pointIndex = 0; break;
    }

    setMarks(text, lcd);
    reading.rangeText = lcd.autoRange ? "AUTO" : "MANU";

    if (charAt(text, 4) == 'F') {
        lcd.overload = true;
        lcd.digit1.clear();
        lcd.digit2 = "0";
        lcd.digit3 = "@";
        lcd.digit4.clear();
    }
    lcd.negative = charAt(text, 2) == 'D';

    reading.acDcText.clear();
    if (lcd.ac) reading.acDcText = "AC";
    if (lcd.dc) reading.acDcText = "DC";
    reading.unitText = UnitText(lcd);

    const char* p1 = lcd.pointIndex == 1 ? "." : "";
    const char* p2 = lcd.pointIndex == 2 ? "." : "";
    const char* p3 = lcd.pointIndex == 3 ? "." : "";
    std::string& value = reading.valueText;
    value.clear();
    if (lcd.overload) {
        value.append(p1).append("0").append(p2).append("L").append(p3);
        reading.numericValue = static_cast<float>(lcd.negative ? -(fullScaleCount + 1) : fullScaleCount + 1);
    } else {
        if (lcd.negative) value.push_back('-');
        value.append(lcd.digit1).append(p1).append(lcd.digit2).append(p2).append(lcd.digit3).append(p3).append(lcd.digit4);
        std::string digits;
        if (lcd.negative) digits.push_back('-');
        digits.append(lcd.digit1).append(lcd.digit2).append(lcd.digit3).append(lcd.digit4);
        int number = 0;
        const std::string_view unsignedDigits = std::string_view(digits).substr(lcd.negative ? 1 : 0);
        bool valid = !unsignedDigits.empty();
        for (char c : unsignedDigits) {
            if (!isDecimal(c)) {
                valid = false;
                break;
            }
            number = number * 10 + (c - '0');
        }
        if (!valid) {
            out.error = notAnInteger(digits);
            return;
        }
        reading.numericValue = static_cast<float>(lcd.negative ? -number : number);
    }
    out.ok = true;
}

}  // namespace veska
