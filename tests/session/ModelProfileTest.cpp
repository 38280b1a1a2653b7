#include "session/ModelProfile.h"

#include <gtest/gtest.h>

using namespace veska;

namespace {

struct Case {
    const char* name;
    ModelSwitches switches;
    const char* title;
    SerialPacketHandler handler;
    SerialSpeed speed;
    ScaleCode scaleCode;
    const char* firstDigit;
    UsbReportRoute usbHandler;
    int bridgeSpeed;
};

ModelSwitches With(std::initializer_list<bool ModelSwitches::*> set) {
    ModelSwitches s;
    for (auto sw : set) s.*sw = true;
    return s;
}

}  // namespace

TEST(ModelProfile, ResolutionOfSwitchCombinations) {
    using S = ModelSwitches;
    const Case cases[] = {
        {"this build", S::thisBuild(), "Veska Interface Program _Ver: 1.00", SerialPacketHandler::VeskaFraming,
         SerialSpeed::Baud2400, ScaleCode::Count6000, "5", UsbReportRoute::VeskaReports, 2400},
        {"Lumio and Kesto", With({&S::lumioModel, &S::kestoModel}), "Kesto USB Interface Program _Ver: 1.00",
         SerialPacketHandler::VeskaFraming, SerialSpeed::Baud2400, ScaleCode::Count4000, "3", UsbReportRoute::LumioReports, 2400},
        {"Halvo and Veska", With({&S::halvoModel, &S::veskaModel}), "Veska Interface Program _Ver: 1.00",
         SerialPacketHandler::VeskaFraming, SerialSpeed::Baud19200, ScaleCode::Count6000, "5", UsbReportRoute::VeskaReports, 2400},
        {"Dravo and Halvo", With({&S::dravoModel, &S::halvoModel}), "Halvo USB Interface Program _Ver: 1.00",
         SerialPacketHandler::VeskaFraming, SerialSpeed::Baud19200, ScaleCode::Count4000, "5", UsbReportRoute::None, 19200},
        {"Zirka only", With({&S::zirkaModel}), "Zirka USB Interface Program _Ver: 1.00",
         SerialPacketHandler::VeskaFraming, SerialSpeed::Baud19200, ScaleCode::Count4000, "5", UsbReportRoute::None, 2400},
        {"no switch", S{}, "", SerialPacketHandler::None, SerialSpeed::Baud2400, ScaleCode::Count4000, "5", UsbReportRoute::None, 2400},
        {"switches that select nothing", With({&S::quentaModel, &S::tarniModel, &S::molvaModel, &S::pirsaModel, &S::rudanModel}), "",
         SerialPacketHandler::None, SerialSpeed::Baud2400, ScaleCode::Count4000, "5", UsbReportRoute::None, 2400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ResolvedProfile p = resolveStartupProfile(c.switches);
        EXPECT_EQ(p.windowTitle, c.title);
        EXPECT_EQ(p.serialHandler, c.handler);
        EXPECT_EQ(p.serialSpeed, c.speed);
        EXPECT_EQ(p.scaleCode, c.scaleCode);
        EXPECT_EQ(p.firstLcdDigit, c.firstDigit);
        EXPECT_EQ(resolveUsbReportRoute(c.switches), c.usbHandler);
        EXPECT_EQ(resolveBridgeSpeed(c.switches), c.bridgeSpeed);
    }
}

TEST(ModelProfile, ApplyingProfilesInTableOrderEqualsResolution) {
    const ModelSwitches s = With({&ModelSwitches::lumioModel, &ModelSwitches::dravoModel});
    ResolvedProfile applied;
    for (const StartupProfileEntry& e : startupProfiles()) {
        if (s.*(e.modelSwitch)) applyModelProfile(e.profile, applied);
    }
    const ResolvedProfile resolved = resolveStartupProfile(s);
    EXPECT_EQ(applied.windowTitle, resolved.windowTitle);
    EXPECT_EQ(applied.scaleCode, ScaleCode::Count3400);
    EXPECT_EQ(applied.firstLcdDigit, "3");
    EXPECT_EQ(applied.serialHandler, SerialPacketHandler::VeskaFraming);
}
