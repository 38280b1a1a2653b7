#pragma once

#include "links/UsbReportRoute.h"

#include <optional>
#include <span>
#include <string>

namespace veska {

// The eleven model switches. This build ships with only IFVeska set
// (ModelSwitches::thisBuild()).
struct ModelSwitches {
    bool IFLumio = false;
    bool IFKesto = false;
    bool IFDravo = false;
    bool IFQuenta = false;  // selects nothing
    bool IFHalvo = false;
    bool IFZirka = false;
    bool IFVeska = false;
    bool IFTarni = false;   // selects nothing
    bool IFMolva = false;   // selects nothing
    bool IFPirsa = false;   // selects nothing
    bool IFRudan = false;   // selects nothing

    static ModelSwitches thisBuild() {
        ModelSwitches s;
        s.IFVeska = true;
        return s;
    }
};

enum class SerialPacketHandler { None, VeskaFraming, LowDigitFraming };
enum class SerialSpeed { br2400, br19200 };

// What one switch selects; an empty field is "not set" and leaves the value before it.
struct ModelProfile {
    std::optional<std::string> windowTitle;
    std::optional<SerialPacketHandler> serialHandler;
    std::optional<SerialSpeed> serialSpeed;
    std::optional<std::string> scaleCode;
    std::optional<std::string> firstLcdDigit;
};

// The start-up fields after every set switch's profile has been applied in table order.
struct ResolvedProfile {
    std::string windowTitle;                                   // default: empty
    SerialPacketHandler serialHandler = SerialPacketHandler::None;
    SerialSpeed serialSpeed = SerialSpeed::br2400;
    std::string scaleCode = "4";
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
