#include "session/ModelProfile.h"

#include <array>

namespace veska {

namespace {

using S = ModelSwitches;

const std::array<StartupProfileEntry, 6>& Table() {
    static const std::array<StartupProfileEntry, 6> table{{
        {&S::IFLumio, {"Fenno Interface Program _Ver: 2.00", SerialPacketHandler::HSorvuRData, {}, {}, "3"}},
        {&S::IFKesto, {"Kesto USB Interface Program _Ver: 1.00", SerialPacketHandler::RECEIVE_COM_Data, {}, {}, {}}},
        {&S::IFDravo, {"Dravo Interface Program _Ver: 2.06", SerialPacketHandler::RECEIVE_COM_Data, {}, "34", {}}},
        {&S::IFHalvo,
         {"Halvo USB Interface Program _Ver: 1.00", SerialPacketHandler::RECEIVE_COM_Data, SerialSpeed::br19200, "4", {}}},
        {&S::IFZirka,
         {"Zirka USB Interface Program _Ver: 1.00", SerialPacketHandler::RECEIVE_COM_Data, SerialSpeed::br19200, "4", {}}},
        {&S::IFVeska, {"Veska Interface Program _Ver: 1.00", SerialPacketHandler::RECEIVE_COM_Data, {}, "6", {}}},
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

std::span<const StartupProfileEntry> StartupProfiles() { return Table(); }

void ApplyProfile(const ModelProfile& profile, ResolvedProfile& into) {
    if (profile.windowTitle) into.windowTitle = *profile.windowTitle;
    if (profile.serialHandler) into.serialHandler = *profile.serialHandler;
    if (profile.serialSpeed) into.serialSpeed = *profile.serialSpeed;
    if (profile.scaleCode) into.scaleCode = *profile.scaleCode;
    if (profile.firstLcdDigit) into.firstLcdDigit = *profile.firstLcdDigit;
}

ResolvedProfile ResolveStartupProfile(const ModelSwitches& switches) {
    ResolvedProfile resolved;
    for (const StartupProfileEntry& entry : StartupProfiles()) {
        if (switches.*(entry.modelSwitch)) ApplyProfile(entry.profile, resolved);
    }
    return resolved;
}

UsbReportRoute ResolveUsbReportRoute(const ModelSwitches& switches) {
    static constexpr std::array<std::pair<bool S::*, UsbReportRoute>, 3> order{{
        {&S::IFKesto, UsbReportRoute::HidKestoData},
        {&S::IFLumio, UsbReportRoute::HidLumioData},
        {&S::IFVeska, UsbReportRoute::HidVeskaData},
    }};
    return LastSet(switches, order, UsbReportRoute::None);
}

int ResolveBridgeSpeed(const ModelSwitches& switches) {
    static constexpr std::array<std::pair<bool S::*, int>, 4> order{{
        {&S::IFHalvo, 19200},
        {&S::IFLumio, 2400},
        {&S::IFKesto, 2400},
        {&S::IFVeska, 2400},
    }};
    return LastSet(switches, order, 2400);
}

}  // namespace veska
