#pragma once

#include <QFrame>

#include <vector>

class QCheckBox;
class QLabel;
class QPlainTextEdit;

namespace veska {

class LcdLabel;
struct LcdState;

// The LCD panel lcdPanel: a replica of the meter's display with its four digits, minus
// sign, decimal points and annunciator marks. Every control carries its name as
// objectName (LcdDa, LcdV, LCDREL, ...), so control(name) finds it.
class LcdPanel : public QFrame {
    Q_OBJECT
public:
    explicit LcdPanel(QWidget* parent = nullptr);

    // Cycle step "panel reset": hide every mark, show or hide Memo2 by Data_display,
    // show LCDsend.
    void clearMarks();
    // Cycle step "panel marks": show the marks, minus sign, decimal point and prefixes
    // of the packet.
    void showMarks(const LcdState& lcd);
    // Cycle step "digits": the four digit places; an empty digit leaves its place blank.
    void showDigits(const LcdState& lcd);

    // Start-up: the caption of the first digit place (LcdDa).
    void setFirstDigit(const QString& digit);

    LcdLabel* digit(int place) const;  // 1..4: LcdDa .. LcdDd
    QWidget* point(int index) const;   // 1..3: LcdP1 .. LcdP3
    QWidget* control(const QString& name) const;
    QPlainTextEdit* packetTextView() const { return m_memo2; }
    QCheckBox* dataDisplayBox() const { return m_dataDisplay; }

private:
    struct Mark {
        QWidget* widget;
        bool LcdState::*flag;
    };

    void createDigits();
    void createMarks();
    void createPictures();
    void createHiddenControls();

    std::vector<LcdLabel*> m_digits;
    std::vector<QWidget*> m_points;
    std::vector<Mark> m_marks;
    std::vector<QWidget*> m_neverShown;
    LcdLabel* m_minus = nullptr;
    QLabel* m_send = nullptr;
    QPlainTextEdit* m_memo2 = nullptr;
    QCheckBox* m_dataDisplay = nullptr;
};

}  // namespace veska
