#include "ui/AnalogGauge.h"
#include "ui/ArialFont.h"

#include "ui/DisplayResources.h"
#include "ui/GaugeGeometry.h"

#include "protocol/ScaleSet.h"

#include <QLabel>
#include <QPainter>
#include <QResizeEvent>


namespace veska {

namespace {

constexpr std::size_t kCachedFaces = 8;

QLabel* makeAlarmPanel(QWidget* parent) {
    auto* label = new QLabel(QStringLiteral("OL !!"), parent);
    label->setObjectName(QStringLiteral("overloadText"));
    label->setGeometry(109, 72, 113, 49);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameStyle(QFrame::Panel | QFrame::Raised);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, QColor(128, 128, 128));
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    label->setFont(ArialFont::px(35, true));
    label->hide();
    return label;
}

}  // namespace

AnalogGauge::AnalogGauge(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("gauge"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    resize(319, 139);
    m_kd1 = QImage(size(), QImage::Format_RGB32);  // replaced by the face at the screen's ratio
    m_kd1.fill(Qt::white);

    m_linkAlivePicture = DisplayResources::pictureLabel(this, "linkAlive", QPoint(5, 5));
    m_linkDownPicture = DisplayResources::pictureLabel(this, "linkDown", QPoint(5, 5));
    m_linkAlivePicture->hide();
    m_olText = makeAlarmPanel(this);
    setScaleSet(scaleSet(ScaleCode::Count4000));
}

void AnalogGauge::setScaleSet(const ScaleSet& scale) {
    m_scaleCode = scale.code;
    m_fullScaleCount = scale.fullScaleCount;
    m_gaugeOffset = scale.gaugeOffset;
    m_countsPerNeedleStep = scale.countsPerNeedleStep();
    m_barMax = scale.barMax;
    m_gaugeSpan = scale.gaugeSpan;
}

void AnalogGauge::setLimitMarks(float upperLimit, bool upperOn, float lowerLimit, bool lowerOn) {
    m_upperLimit = upperLimit;
    m_upperOn = upperOn;
    m_lowerLimit = lowerLimit;
    m_lowerOn = lowerOn;
}

GaugeFaceSpec AnalogGauge::faceSpec() const {
    return {m_scaleCode, m_gaugeOffset, m_countsPerNeedleStep, m_gaugeSpan, m_upperLimit, m_upperOn, m_lowerLimit, m_lowerOn, size(),
            devicePixelRatioF()};
}

const QImage& AnalogGauge::faceFor(const GaugeFaceSpec& spec) {
    // The face is redrawn for every reading; drawing 1200 dots each time is what made
    // it slow, so faces are kept while their spec stays the same.
    for (std::size_t i = 0; i < m_faces.size(); ++i) {
        if (m_faces[i].first == spec) {
            if (i != 0) std::swap(m_faces[0], m_faces[i]);
            return m_faces[0].second;
        }
    }
    if (m_faces.size() >= kCachedFaces) m_faces.pop_back();
    m_faces.insert(m_faces.begin(), {spec, GaugeFace::draw(spec)});
    return m_faces[0].second;
}

void AnalogGauge::drawFace() {
    m_kd1 = faceFor(faceSpec());
    m_needleDrawn = false;
    update();
}

void AnalogGauge::drawNeedle(int position) {
    const GaugeGeometry g = GaugeGeometry::forPanel(width(), height());
    const NeedleEnds ends = g.needleAt(position, m_gaugeSpan);
    {
        QPainter painter(&m_kd1);
        painter.setPen(QPen(Qt::white, 2));
        painter.drawLine(m_needleTip, m_needleBase);
        painter.setPen(QPen(Qt::black, 2));
        painter.drawLine(ends.tip, ends.base);
    }
    m_needleTip = ends.tip;
    m_needleBase = ends.base;
    m_lastPosition = position;
    m_needleDrawn = true;
    update();
}

void AnalogGauge::showReading(const ScaleSet& scale, int needlePosition) {
    setScaleSet(scale);
    drawFace();
    drawNeedle(m_gaugeOffset);
    drawNeedle(needlePosition);
}

void AnalogGauge::showAlarm(bool alarm) { m_olText->setVisible(alarm); }

void AnalogGauge::setLinkAlive(bool alive) {
    m_linkAlivePicture->setVisible(alive);
    m_linkDownPicture->setVisible(!alive);
}

void AnalogGauge::paintEvent(QPaintEvent* event) {
    if (m_kd1.devicePixelRatio() != devicePixelRatioF() && m_needleDrawn) {
        // Moved to a screen of another scale: the face is drawn again at its ratio.
        drawFace();
        drawNeedle(m_lastPosition);
    }
    {
        QPainter painter(this);
        painter.drawImage(QPoint(0, 0), m_kd1);
    }
    QFrame::paintEvent(event);
}

void AnalogGauge::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (m_kd1.deviceIndependentSize().toSize() == size()) return;
    // The whole dial follows the panel's size; the needle's old ends belong to the
    // old size, so it is drawn afresh.
    const bool redrawNeedle = m_needleDrawn;
    drawFace();
    m_needleTip = QPoint();
    m_needleBase = QPoint();
    if (redrawNeedle) drawNeedle(m_lastPosition);
}

}  // namespace veska
