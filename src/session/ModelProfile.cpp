#include "session/ModelProfile.h"

#include <array>

namespace veska {

namespace {

using S = ModelSwitches;

const std::array<StartupProfileEntry, 6>& Table() {
    static const std::array<StartupProfileEntry, 6> table{{
        {&S::IFLumio, {"Fenno Interface Program _Ver: 2.00", SerialPacketHandler::LowDigitFraming, {}, {}, "3"}},
        {&S::IFKesto, {"Kesto USB Interface Program _Ver: 1.00", SerialPacketHandler::VeskaFraming, {}, {}, {}}},
        {&S::IFDravo, {"Dravo Interface Program _Ver: 2.06", SerialPacketHandler::VeskaFraming, {}, "34", {}}},
        {&S::IFHalvo,
         {"Halvo USB Interface Program _Ver: 1.00", SerialPacketHandler::VeskaFraming, SerialSpeed::br19200, "4", {}}},
        {&S::IFZirka,
         {"Zirka USB Interface Program _Ver: 1.00", SerialPacketHandler::VeskaFraming, SerialSpeed::br19200, "4", {}}},
        {&S::IFVeska, {"Veska Interface Program _Ver: 1.00", SerialPacketHandler::VeskaFraming, {}, "6", {}}},
    }};
    return table;
}

// The USB fields have their own order each; the last set switch in that order wins.
template <typename T, std::size_t N>
T LastSet(const ModelSwitches& switches, const std::array<std::pair<bool S::*, T>, N>& order, T fallback) {
    T value = fallback;
    for (const auto& [sw, v] : order) {
        if (switches.*sw) value = v;
    }
    return value;
}

}  // namespace

std::span<const StartupProfileEntry> startupProfiles() { return Table(); }

void applyModelProfile(const ModelProfile& profile, ResolvedProfile& into) {
    if (profile.windowTitle) into.windowTitle = *profile.windowTitle;
    if (profile.serialHandler) into.serialHandler = *profile.serialHandler;
    if (profile.serialSpeed) into.serialSpeed = *profile.serialSpeed;
    if (profile.scaleCode) into.scaleCode = *profile.scaleCode;
    if (profile.firstLcdDigit) into.firstLcdDigit = *profile.firstLcdDigit;
}

ResolvedProfile resolveStartupProfile(const ModelSwitches& switches) {
    ResolvedProfile resolved;
    for (const StartupProfileEntry& entry : startupProfiles()) {
        if (switches.*(entry.modelSwitch)) applyModelProfile(entry.profile, resolved);
    }
    return resolved;
}

UsbReportRoute resolveUsbReportRoute(const ModelSwitches& switches) {
    static constexpr std::array<std::pair<bool S::*, UsbReportRoute>, 3> order{{
        {&S::IFKesto, UsbReportRoute::KestoReports},
        {&S::IFLumio, UsbReportRoute::LumioReports},
        {&S::IFVeska, UsbReportRoute::VeskaReports},
    }};
    return LastSet(switches, order, UsbReportRoute::None);
}

int resolveBridgeSpeed(const ModelSwitches& switches) {
    static constexpr std::array<std::pair<bool S::*, int>, 4> order{{
        {&S::IFHalvo, 19200},
        {&S::IFLumio, 2400},
        {&S::IFKesto, 2400},
        {&S::IFVeska, 2400},
    }};
    return LastSet(switches, order, 2400);
}

}  // namespace veska
