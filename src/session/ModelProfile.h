#pragma once

#include "links/UsbReportRoute.h"
#include "protocol/ScaleSet.h"

#include <optional>
#include <span>
#include <string>

namespace veska {

// The eleven model switches, as data: each names a meter model this program can be built
// for. Five of them (quenta, tarni, molva, pirsa, rudan) select nothing: no start-up profile
// and no USB handling refers to them. This build ships with only veskaModel set
// (ModelSwitches::thisBuild()).
struct ModelSwitches {
    bool lumioModel = false;
    bool kestoModel = false;
    bool dravoModel = false;
    bool quentaModel = false;  // selects nothing
    bool halvoModel = false;
    bool zirkaModel = false;
    bool veskaModel = false;
    bool tarniModel = false;   // selects nothing
    bool molvaModel = false;   // selects nothing
    bool pirsaModel = false;   // selects nothing
    bool rudanModel = false;   // selects nothing

    static ModelSwitches thisBuild() {
        ModelSwitches s;
        s.veskaModel = true;
        return s;
    }
};

enum class SerialPacketHandler { None, VeskaFraming, LowDigitFraming };
enum class SerialSpeed { Baud2400, Baud19200 };

// What one switch selects; an empty field is "not set" and leaves the value before it.
struct ModelProfile {
    std::optional<std::string> windowTitle;
    std::optional<SerialPacketHandler> serialHandler;
    std::optional<SerialSpeed> serialSpeed;
    std::optional<ScaleCode> scaleCode;
    std::optional<std::string> firstLcdDigit;
};

// The start-up fields after every set switch's profile has been applied in table order.
struct ResolvedProfile {
    std::string windowTitle;                                   // default: empty
    SerialPacketHandler serialHandler = SerialPacketHandler::None;
    SerialSpeed serialSpeed = SerialSpeed::Baud2400;
    ScaleCode scaleCode = ScaleCode::Count4000;
    std::string firstLcdDigit = "5";
};

// The profiles of the start-up table, in table order, each with its switch.
struct StartupProfileEntry {
    bool ModelSwitches::*modelSwitch;
    ModelProfile profile;
};
std::span<const StartupProfileEntry> startupProfiles();

// Applies one profile's set fields over 'into'.
void applyModelProfile(const ModelProfile& profile, ResolvedProfile& into);

ResolvedProfile resolveStartupProfile(const ModelSwitches& switches);
UsbReportRoute resolveUsbReportRoute(const ModelSwitches& switches);
int resolveBridgeSpeed(const ModelSwitches& switches);

}  // namespace veska
