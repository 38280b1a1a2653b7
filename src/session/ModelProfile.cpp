#include "session/ModelProfile.h"

#include <array>

namespace veska {

namespace {

using S = ModelSwitches;

const std::array<StartupProfileEntry, 6>& Table() {
    static const std::array<StartupProfileEntry, 6> table{{
        {&S::lumioModel, {"Fenno Interface Program _Ver: 2.00", SerialPacketHandler::LowDigitFraming, {}, {}, "3"}},
        {&S::kestoModel, {"Kesto USB Interface Program _Ver: 1.00", SerialPacketHandler::VeskaFraming, {}, {}, {}}},
        {&S::dravoModel, {"Dravo Interface Program _Ver: 2.06", SerialPacketHandler::VeskaFraming, {}, ScaleCode::Count3400, {}}},
        {&S::halvoModel,
         {"Halvo USB Interface Program _Ver: 1.00", SerialPacketHandler::VeskaFraming, SerialSpeed::Baud19200, ScaleCode::Count4000, {}}},
        {&S::zirkaModel,
         {"Zirka USB Interface Program _Ver: 1.00", SerialPacketHandler::VeskaFraming, SerialSpeed::Baud19200, ScaleCode::Count4000, {}}},
        {&S::veskaModel, {"Veska Interface Program _Ver: 1.00", SerialPacketHandler::VeskaFraming, {}, ScaleCode::Count6000, {}}},
    }};
    return table;
}

// The USB fields have their own order each; the last set switch in that order wins.
template <typename T, std::size_t N>
T lastSet(const ModelSwitches& switches, const std::array<std::pair<bool S::*, T>, N>& order, T fallback) {
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
        {&S::kestoModel, UsbReportRoute::KestoReports},
        {&S::lumioModel, UsbReportRoute::LumioReports},
        {&S::veskaModel, UsbReportRoute::VeskaReports},
    }};
    return lastSet(switches, order, UsbReportRoute::None);
}

int resolveBridgeSpeed(const ModelSwitches& switches) {
    static constexpr std::array<std::pair<bool S::*, int>, 4> order{{
        {&S::halvoModel, 19200},
        {&S::lumioModel, 2400},
        {&S::kestoModel, 2400},
        {&S::veskaModel, 2400},
    }};
    return lastSet(switches, order, 2400);
}

}  // namespace veska
