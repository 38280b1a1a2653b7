#include "links/SimulatedMeters.h"

#include "links/SimulatedHidDevice.h"
#include "links/SimulatedHidPlatform.h"

namespace veska {

namespace {
// A real meter sends a packet every 0.4 to 0.5 s.
constexpr int kMeterPeriodMs = 450;
}

SimulatedMeters::SimulatedMeters(QObject* parent) : QObject(parent) {
    connect(&m_usbTimer, &QTimer::timeout, this, &SimulatedMeters::feedUsb);
}

SimulatedMeters::~SimulatedMeters() {
    m_usbTimer.stop();
    m_serial.stop();
}

bool SimulatedMeters::startSerial(double packetsPerSecond) {
    if (!m_serial.open()) return false;
    m_serial.setRate(packetsPerSecond);
    m_serial.start();
    return true;
}

std::shared_ptr<HidPlatform> SimulatedMeters::startUsb(double packetsPerSecond) {
    m_hid = std::make_shared<SimulatedHidPlatform>();
    m_cable = m_hid->plug(SimulatedHidPlatform::bridge());
    m_usbTimer.start(packetsPerSecond > 0 ? std::max(1, static_cast<int>(1000.0 / packetsPerSecond)) : kMeterPeriodMs);
    return m_hid;
}

void SimulatedMeters::feedUsb() {
    if (m_cable) m_cable->feed(m_scenario.step(m_usbStep++).bytes);
}

}  // namespace veska
