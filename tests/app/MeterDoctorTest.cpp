#include "app/MeterDoctor.h"
#include "links/SimulatedHidPlatform.h"
#include "links/MeterScenario.h"
#include "links/MeterSimulator.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace veska::test {
namespace {

constexpr int kListenMs = 400;

MeterDoctor::Options Quick() {
    MeterDoctor::Options o;
    o.machineSerialPorts = false;  // never the test machine's own ports
    o.listenMs = kListenMs;
    return o;
}

std::vector<MeterDoctor::Finding> Examine(MeterDoctor::Options o) { return MeterDoctor(std::move(o)).examine(); }

// A cable whose meter sends a packet every few reports, from the reader's own thread.
void MakeTalk(const std::shared_ptr<SimulatedHidDevice>& device) {
    auto calls = std::make_shared<std::atomic<int>>(0);
    device->setByteSource([calls] {
        const int n = (*calls)++;
        if (n % 4 != 0) return std::vector<std::uint8_t>{};
        return MeterScenario().step(static_cast<std::uint64_t>(n / 4)).bytes;
    });
}

TEST(MeterDoctorTest, UsbCableVerdictsFollowWhatTheCableSends) {
    struct Case {
        const char* name;
        bool talking;
        int emptyIntervalMs;
        bool readWrite;
        MeterDoctor::Verdict verdict;
        const char* text;
    };
    const Case cases[] = {
        {"talking meter", true, 12, true, MeterDoctor::Verdict::MeterFound, "packets arriving: meter found"},
        {"silent meter", false, 12, true, MeterDoctor::Verdict::MeterSilent,
         "cable answers, meter silent: switch the meter's data output on"},
        {"mute cable", false, 0, true, MeterDoctor::Verdict::CableMute,
         "cable present but mute: unplug and plug it in again"},
        {"no permission", false, 12, false, MeterDoctor::Verdict::PermissionDenied,
         "permission denied: install the udev rule"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto platform = std::make_shared<SimulatedHidPlatform>();
        SimulatedHidDevice::Spec spec = SimulatedHidPlatform::bridge();
        spec.emptyReportIntervalMs = c.emptyIntervalMs;
        spec.readWrite = c.readWrite;
        spec.portPath = "1-1.2";
        auto cable = platform->plug(spec);
        if (c.talking) MakeTalk(cable);
        MeterDoctor::Options o = Quick();
        o.hid = platform;
        const auto findings = Examine(o);
        ASSERT_EQ(findings.size(), 1u);
        const MeterDoctor::Finding& f = findings[0];
        EXPECT_TRUE(f.candidate.usb);
        EXPECT_EQ(f.candidate.name, "USB to Serial at 1-1.2");
        EXPECT_EQ(f.candidate.path, QString::fromStdString(cable->path()));
        EXPECT_EQ(f.verdict, c.verdict);
        EXPECT_EQ(f.verdictText, c.text);
        EXPECT_EQ(MeterDoctor::meterFound(findings), c.verdict == MeterDoctor::Verdict::MeterFound);
        if (c.readWrite) {
            // The cable was configured for the meter before listening.
            ASSERT_TRUE(f.configAccepted.has_value());
            EXPECT_TRUE(*f.configAccepted);
            ASSERT_EQ(cable->featureReports().size(), 1u);
            EXPECT_EQ(cable->featureReports()[0], (std::vector<std::uint8_t>{0x00, 0x60, 0x09, 0, 0, 0x03, 0, 0, 0, 0}));
        } else {
            EXPECT_FALSE(f.configAccepted.has_value());
            EXPECT_TRUE(f.fix.contains("70-veska-usb-serial.rules")) << f.fix.toStdString();
        }
        if (c.verdict == MeterDoctor::Verdict::MeterFound) {
            EXPECT_GT(f.packets, 0u);
        }
    }
}

TEST(MeterDoctorTest, OnlyTheCableIsACandidateAmongHidDevices) {
    auto platform = std::make_shared<SimulatedHidPlatform>();
    SimulatedHidDevice::Spec reused = SimulatedHidPlatform::otherDevice(u"Gamepad");
    reused.vendorId = 0x1a86;  // a bridge chip inside another product
    reused.productId = 0xe008;
    platform->plug(reused);
    platform->plug(SimulatedHidPlatform::otherDevice(u"Keyboard"));
    SimulatedHidDevice::Spec nameless = SimulatedHidPlatform::bridge();
    nameless.product.clear();
    nameless.vendorId = 0x04fa;
    nameless.productId = 0x2490;
    nameless.portPath = "3-2";
    platform->plug(nameless);
    MeterDoctor::Options o = Quick();
    o.hid = platform;
    o.listenMs = 50;
    const auto findings = Examine(o);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].candidate.name, "USB to Serial (no name reported) at 3-2");
    EXPECT_TRUE(findings[0].candidate.details.contains("04fa:2490"));
}

TEST(MeterDoctorTest, PseudoTerminalMeterIsFoundAndASilentOneNamedSilent) {
    MeterSimulator talking, silent;
    ASSERT_TRUE(talking.open()) << talking.errorText().toStdString();
    ASSERT_TRUE(silent.open()) << silent.errorText().toStdString();
    talking.setRate(25);
    talking.start();
    MeterDoctor::Options o = Quick();
    o.extraSerial = {{"COM2", talking.slavePath()}, {QString(), silent.slavePath()}};
    const auto findings = Examine(o);
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_EQ(findings[0].candidate.name, "COM2");
    EXPECT_EQ(findings[0].verdict, MeterDoctor::Verdict::MeterFound);
    EXPECT_GT(findings[0].packets, 0u);
    EXPECT_EQ(findings[1].candidate.name, silent.slavePath());
    EXPECT_EQ(findings[1].verdict, MeterDoctor::Verdict::SerialSilent);
    EXPECT_TRUE(findings[1].verdictText.contains("silent")) << findings[1].verdictText.toStdString();
    EXPECT_EQ(findings[1].bytes, 0u);
    EXPECT_TRUE(MeterDoctor::meterFound(findings));
    const QString report = MeterDoctor::report(findings, o.listenMs);
    EXPECT_TRUE(report.contains("Result: meter found on COM2")) << report.toStdString();
}

TEST(MeterDoctorTest, UnopenableDevicesSayWhyAndFindNoMeter) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString plainFile = dir.filePath("not-a-port");
    {
        QFile f(plainFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    MeterDoctor::Options o = Quick();
    o.extraSerial = {{"COM1", dir.filePath("missing")}, {"COM2", plainFile}, {"COM3", "/dev/null"}};
    const auto findings = Examine(o);
    ASSERT_EQ(findings.size(), 3u);
    for (const auto& f : findings) {
        SCOPED_TRACE(f.candidate.name.toStdString());
        EXPECT_EQ(f.verdict, MeterDoctor::Verdict::CannotOpen);
        EXPECT_TRUE(f.verdictText.startsWith("cannot open")) << f.verdictText.toStdString();
        EXPECT_FALSE(f.listened);
    }
    EXPECT_TRUE(findings[0].verdictText.contains("No such file")) << findings[0].verdictText.toStdString();
    EXPECT_TRUE(findings[1].verdictText.contains("not a character device"));
    EXPECT_FALSE(MeterDoctor::meterFound(findings));
    EXPECT_TRUE(MeterDoctor::report(findings, o.listenMs).contains("Result: no meter found."));
}

TEST(MeterDoctorTest, SerialDeviceWithoutPermissionNamesTheGroup) {
    if (::geteuid() == 0) GTEST_SKIP() << "running as root: file permissions do not stop opens";
    MeterSimulator meter;
    ASSERT_TRUE(meter.open());
    const QByteArray path = meter.slavePath().toLocal8Bit();
    ASSERT_EQ(::chmod(path.constData(), 0), 0);
    MeterDoctor::Options o = Quick();
    o.extraSerial = {{"COM1", meter.slavePath()}};
    const auto findings = Examine(o);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].verdict, MeterDoctor::Verdict::PermissionDenied);
    EXPECT_TRUE(findings[0].verdictText.startsWith("permission denied"));
    EXPECT_TRUE(findings[0].fix.contains("usermod -aG"));
}

}  // namespace
}  // namespace veska::test
