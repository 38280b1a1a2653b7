#include "session/MeterSession.h"

#include "session/BarPosition.h"
#include "session/NeedlePosition.h"
#include "links/UsbConnection.h"
#include "links/UsbReportRoute.h"
#include "storage/RecordTable.h"
#include "session/Recorder.h"

#include <algorithm>

namespace veska {

MeterSession::MeterSession(const ModelSwitches& switches, QObject* parent)
    : QObject(parent),
      m_switches(switches),
      m_profile(resolveStartupProfile(switches)),
      m_scale(findScaleSet("4")),
      m_serial(m_serialDriver, m_watchdog),
      m_framing([this](std::string_view packet) { handlePacket(packet); }),
      m_table(new RecordTable(this)),
      m_recorder(new Recorder(*m_table, this)) {
    m_serialDriver.setComPortPollingDelay(100);
    m_serialDriver.setComPortSpeed(m_profile.serialSpeed == SerialSpeed::br19200 ? ComPortBaudRate::br19200
                                                                                  : ComPortBaudRate::br2400);
    switch (m_profile.serialHandler) {
    case SerialPacketHandler::VeskaFraming:
    case SerialPacketHandler::LowDigitFraming:
        m_serialDriver.setOnReceiveData([this](const std::uint8_t* d, std::size_t n) { handleSerialBytes(d, n); });
        break;
    case SerialPacketHandler::None:
        break;
    }
    createLinks();
    seedFromScale(*m_scale);
    connect(m_table, &RecordTable::rowPosted, this, &MeterSession::announceRow);
    // The rows of a read are durable before anyone prints, publishes or draws them.
    connect(&m_serialDriver, &SerialPortDriver::readBatchDone, m_table, &RecordTable::commitRows);
}

MeterSession::~MeterSession() {
    m_serialDriver.disconnectPort();
    m_usb.reset();
}

void MeterSession::createLinks() {
    m_comConnectId = m_linkButtons.addButton();
    m_usbConnectId = m_linkButtons.addButton();
    m_usbReadId = m_linkButtons.addButton();
    m_serial.bindComCon(m_linkButtons, m_comConnectId);
    m_linkButtons.setHandler(m_comConnectId, [this](bool down) {
        if (down) stopOtherLinks(m_serial);
        m_serial.onComConnectToggled(down);
    });
}

void MeterSession::stopOtherLinks(const MeterLink& link) {
    MeterLink* links[] = {&m_serial, m_usb.get()};
    for (MeterLink* other : links) {
        if (other == nullptr || other == &link || !other->isLinkActive()) continue;
        other->stopLink();
        // Bytes of the stopped link must not run into the next link's packets.
        if (other == &m_serial) m_framing.reset();
    }
}

void MeterSession::startSerialLink() {
    stopOtherLinks(m_serial);
    m_serial.connectSerial();
}

UsbConnection& MeterSession::createUsbLink(std::shared_ptr<HidPlatform> platform) {
    m_usb = std::make_unique<UsbConnection>(std::move(platform), resolveUsbReportRoute(m_switches),
                                            static_cast<std::uint32_t>(resolveBridgeSpeed(m_switches)));
    m_usb->setPacketHandler([this](std::string_view packet) {
        handlePacket(packet);
        m_table->commitRows();  // a packet is the USB link's read
    });
    m_linkButtons.setHandler(m_usbConnectId, [this](bool down) {
        if (down) stopOtherLinks(*m_usb);
        m_usb->onUsbConnectToggled(down);
    });
    m_linkButtons.setHandler(m_usbReadId, [this](bool down) {
        if (down) stopOtherLinks(*m_usb);
        m_usb->onReadToggled(down);
    });
    // The USB side raises its buttons itself (a silent meter, a removed cable): no command runs.
    connect(m_usb.get(), &UsbConnection::usbConChanged, this,
            [this](bool down) { m_linkButtons.setPressed(m_usbConnectId, down); });
    connect(m_usb.get(), &UsbConnection::readBtnChanged, this,
            [this](bool down) { m_linkButtons.setPressed(m_usbReadId, down); });
    // The USB check of the watchdog runs on each third silent tick, before the indicator turns.
    m_watchdog.setSilentLinkHook([this] { m_usb->checkSilentLink(); });
    return *m_usb;
}

void MeterSession::startUp() {
    const ScaleSet& four = *findScaleSet("4");
    m_scale = &four;
    seedFromScale(four);
    m_recorder->setNextRecordNo(1);
    m_recorder->setRecordLimit(Recorder::kDefaultLimit);
    m_chart.setFollowLastPage(true);
    m_chart.fillSampleValues();
    m_chart.showSeries(ChartHistory::AreaSeries);
    m_chart.showSeries(m_chart.fillShown() ? ChartHistory::AreaSeries : ChartHistory::LineSeries);
    if (const ScaleSet* scale = findScaleSet(m_profile.scaleCode)) m_scale = scale;
    // The 6000- and 3400-count models start with limits at their full scale.
    if (m_profile.scaleCode == "6" || m_profile.scaleCode == "34") {
        m_scale = findScaleSet(m_profile.scaleCode);
        seedFromScale(*m_scale);
        m_limits.setUpper(static_cast<float>(m_scale->fullScaleCount));
        m_limits.setLower(-static_cast<float>(m_scale->fullScaleCount));
        emit limitsChanged();
    }
}

void MeterSession::seedFromScale(const ScaleSet& scale) {
    m_limits.seedFromScale(scale);
    m_extremes.seedFromScale(scale);
    emit limitsChanged();
}

void MeterSession::setUpperLimit(float limit, bool on) {
    m_limits.setUpper(limit);
    m_limits.setUpperOn(on);
    emit limitsChanged();
}

void MeterSession::setLowerLimit(float limit, bool on) {
    m_limits.setLower(limit);
    m_limits.setLowerOn(on);
    emit limitsChanged();
}

void MeterSession::handleSerialBytes(const std::uint8_t* data, std::size_t size) {
    if (m_profile.serialHandler == SerialPacketHandler::LowDigitFraming) {
        // The low-digit format is framed but not decoded by this build.
        m_lowDigitFraming.feed(data, size);
        return;
    }
    m_framing.feed(data, size);
}

void MeterSession::announceRow() {
    const TableEngine& engine = m_table->engine();
    const std::vector<TableEngine::Value>& values = engine.lastPosted();
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        texts.append(TableEngine::displayText(values[i], engine.fields()[i].kind));
    }
    emit rowRecorded(texts);
    emit readingRecorded(m_recorder->lastRecorded());
}

void MeterSession::handlePacket(std::string_view packetText) {
    if (!m_accepting) return;
    m_watchdog.packetHandled();  // the link is alive

    // Decoding uses the count the previous packet left in force (overload's value).
    decodePacket(packetText, m_scale->fullScaleCount, m_decoded);
    if (!m_decoded.ok) {
        ++m_decodeFailures;
        m_lastDecodeError = QString::fromStdString(m_decoded.error);
        emit decodeFailed(m_lastDecodeError, m_decodeFailures);
        return;
    }
    ReadingUpdate& u = m_update;
    u.lcd = m_decoded.lcd;
    u.reading = m_decoded.reading;
    u.alarm = m_limits.isExceededBy(u.reading.numericValue);
    const ScaleSet& scale = scaleSetForUnit(u.reading.unitText);
    u.extremesRestarted = m_extremes.track(u.lcd, u.reading, &scale != m_scale);
    if (u.extremesRestarted) m_chart.restart();

    m_scale = &scale;
    u.scale = m_scale;
    u.needlePosition = needlePosition(u.lcd, m_scale->gaugeOffset, m_scale->gaugeSpan, m_scale->code == "13");

    m_recorder->offerReading(u.reading);

    u.barMaximum = m_scale->barMaximum;
    // A position past the end shows a full bar, as the meter's own bar does.
    u.barValue = std::min(barPosition(u.lcd, m_scale->barMax), u.barMaximum);
    u.chartPointAdded = m_chartKept && m_chart.addReading(u.lcd, m_scale->fullScaleCount);
    emit readingHandled(u);
}

}  // namespace veska
