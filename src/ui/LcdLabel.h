#pragma once

#include <QWidget>

namespace veska {

// A label drawn in the LCD symbol font: black on a transparent background, sized to
// its text like an auto-sized label, so its top-left corner is where it is placed.
class LcdLabel : public QWidget {
    Q_OBJECT
public:
    LcdLabel(const QString& symbols, int pixelHeight, bool bold = false, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& symbols);
    // Shows a reading's unit text ("uA", "k*") and puts its readable form in the tooltip.
    void setUnitText(const QString& unitText);
    int pixelHeight() const { return m_height; }
    bool isBold() const { return m_bold; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    int m_height;
    bool m_bold;
};

}  // namespace veska
