#pragma once

#include "links/MeterScenario.h"
#include "links/MeterSimulator.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>

namespace veska {

class HidPlatform;
class SimulatedHidDevice;
class SimulatedHidPlatform;

// The built-in simulated meter behind either link: on the serial link a pseudo-terminal
// that COM1 is mapped to, on the USB link a simulated "USB to Serial" cable in the HID
// device list. Both play the same scenario of realistic readings.
class SimulatedMeters : public QObject {
    Q_OBJECT
public:
    explicit SimulatedMeters(QObject* parent = nullptr);
    ~SimulatedMeters() override;

    // Opens the pseudo-terminal and starts writing packets; false with errorText().
    bool startSerial(double packetsPerSecond);
    QString serialPath() const { return m_serial.slavePath(); }
    QString errorText() const { return m_serial.errorText(); }

    // A HID platform with one simulated cable plugged in, fed with the scenario's bytes.
    std::shared_ptr<HidPlatform> startUsb(double packetsPerSecond);

private:
    void feedUsb();

    MeterSimulator m_serial;
    MeterScenario m_scenario;
    std::shared_ptr<SimulatedHidPlatform> m_hid;
    std::shared_ptr<SimulatedHidDevice> m_cable;
    QTimer m_usbTimer;
    std::uint64_t m_usbStep = 0;
};

}  // namespace veska
