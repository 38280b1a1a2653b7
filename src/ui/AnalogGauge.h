#pragma once

#include "ui/GaugeFace.h"

#include <QFrame>
#include <QImage>
#include <QPoint>

#include <string>
#include <vector>

class QLabel;

namespace veska {

struct ScaleSet;

// The gauge panel: the dial image with its needle, the link indicator pictures (link
// alive, link down) and the alarm panel. It draws the scale set it was last given; the
// session decides which scale is in force.
class AnalogGauge : public QFrame {
    Q_OBJECT
public:
    explicit AnalogGauge(QWidget* parent = nullptr);

    // The scale set drawn.
    ScaleCode scaleCode() const { return m_scaleCode; }
    int fullScaleCount() const { return m_fullScaleCount; }
    int gaugeOffset() const { return m_gaugeOffset; }
    int barMax() const { return m_barMax; }
    int gaugeSpan() const { return m_gaugeSpan; }
    // Takes a scale set for the next face, without drawing.
    void setScaleSet(const ScaleSet& scale);

    // The limits whose scale dots turn red; the limit panel keeps them current.
    void setLimitMarks(float upperLimit, bool upperOn, float lowerLimit, bool lowerOn);

    // Draws the face for the scale set in force and removes the needle.
    void drawFace();
    // Erases the needle drawn last and draws it at 'position' (0 = left end,
    // 10 * GaugeSpan = right end).
    void drawNeedle(int position);
    // One reading: the face of its scale, the needle swept from zero to its position.
    void showReading(const ScaleSet& scale, int needlePosition);
    // "OL !!" while a switched-on limit is exceeded.
    void showAlarm(bool alarm);

    QPoint needleTip() const { return m_needleTip; }
    QPoint needleBase() const { return m_needleBase; }
    const QImage& faceImage() const { return m_kd1; }
    GaugeFaceSpec faceSpec() const;

    // Link indicator: the connected picture when alive, the not-connected one else.
    void setLinkAlive(bool alive);
    QLabel* linkOkPicture() const { return m_linkAlivePicture; }
    QLabel* linkDownPicture() const { return m_linkDownPicture; }
    // "OL !!", shown while a switched-on limit is exceeded.
    QLabel* overloadText() const { return m_olText; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const QImage& faceFor(const GaugeFaceSpec& spec);

    ScaleCode m_scaleCode = ScaleCode::Count4000;
    int m_fullScaleCount = 0;
    int m_gaugeOffset = 0;
    int m_countsPerNeedleStep = 10;
    int m_barMax = 0;
    int m_gaugeSpan = 0;
    float m_upperLimit = 0.0F;
    bool m_upperOn = false;
    float m_lowerLimit = 0.0F;
    bool m_lowerOn = false;

    QImage m_kd1;
    QPoint m_needleTip;
    QPoint m_needleBase;
    int m_lastPosition = 0;
    bool m_needleDrawn = false;
    std::vector<std::pair<GaugeFaceSpec, QImage>> m_faces;  // most recent first

    QLabel* m_linkAlivePicture;
    QLabel* m_linkDownPicture;
    QLabel* m_olText;
};

}  // namespace veska
