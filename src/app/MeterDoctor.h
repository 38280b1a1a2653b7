#pragma once

#include "links/ComPortTypes.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace veska {

class HidPlatform;

// `veska --doctor`: finds out why a meter does not show up. It lists the serial devices
// and the HID devices that may be the meter's USB cable, checks whether this user may
// open each, writes the bridge configuration report, listens on each for a while and
// gives one verdict per device with the fix. Runs on the thread of the event loop, which
// it keeps turning while it listens (simulated meters are fed from it).
class MeterDoctor {
public:
    enum class Verdict {
        MeterFound,        // packets arriving
        MeterSilent,       // the USB cable answers with empty reports only
        CableMute,         // the USB cable sends no reports at all
        PermissionDenied,
        SerialSilent,      // a serial device that received nothing
        NoPackets,         // bytes arrive, but no packet of this meter
        CannotOpen,        // missing, not a character device, or refused for another reason
    };

    struct Candidate {
        bool usb = false;
        QString name;     // "COM1", "/dev/ttyUSB0", "USB to Serial at 1-1.2"
        QString path;
        QString details;  // description, manufacturer, vendor:product, serial number
    };

    struct Finding {
        Candidate candidate;
        QString access;                      // "may open for reading and writing" or why not
        std::optional<bool> configAccepted;  // USB only, when it could be opened
        std::uint64_t bytes = 0;
        std::uint64_t reports = 0;
        std::uint64_t emptyReports = 0;
        std::uint64_t packets = 0;
        bool listened = false;
        Verdict verdict = Verdict::CannotOpen;
        QString verdictText;
        QString fix;  // what to do, when there is something to do
    };

    struct Options {
        std::shared_ptr<HidPlatform> hid;  // null: no HID devices examined
        bool machineSerialPorts = true;    // the serial devices the system lists
        // Added by the user (--port): label and path. Any character device will do.
        std::vector<std::pair<QString, QString>> extraSerial;
        int listenMs = 3000;
        std::uint32_t bridgeSpeed = 2400;
        ComPortBaudRate serialSpeed = ComPortBaudRate::Baud2400;
        std::function<void(const QString&)> progress;  // "listening on ..." notes
    };

    explicit MeterDoctor(Options options);

    std::vector<Finding> examine();

    static QString verdictText(Verdict verdict);
    static bool meterFound(const std::vector<Finding>& findings);
    static QString report(const std::vector<Finding>& findings, int listenMs);
    // The two lines that install the udev rule.
    static QString udevInstallLines();

private:
    std::vector<Candidate> serialCandidates() const;
    Finding examineSerial(const Candidate& candidate);
    void examineUsb(std::vector<Finding>& findings);
    void note(const QString& text) const;

    Options m_options;
};

}  // namespace veska
