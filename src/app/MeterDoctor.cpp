#include "app/MeterDoctor.h"

#include "links/BridgeChips.h"
#include "links/BridgeConfigReport.h"
#include "links/HidPlatform.h"
#include "protocol/HidReportReassembly.h"
#include "protocol/VeskaSerialFraming.h"
#include "links/PortMap.h"
#include "links/SerialPortDriver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSerialPortInfo>
#include <QTimer>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace veska {

namespace {

const QString kCableProduct = QStringLiteral("USB to Serial");

QString hex4(std::uint16_t v) { return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')); }

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QString textUpToZero(const std::vector<char16_t>& units) {
    const auto end = std::find(units.begin(), units.end(), char16_t(0));
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(end - units.begin()));
}

// The group that may open a device node, for the fix "join this group".
QString groupOf(const struct stat& st) {
    if (const struct group* g = ::getgrgid(st.st_gid)) return QString::fromLocal8Bit(g->gr_name);
    return QString::number(st.st_gid);
}

}  // namespace

MeterDoctor::MeterDoctor(Options options) : m_options(std::move(options)) {}

QString MeterDoctor::verdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::MeterFound: return QStringLiteral("packets arriving: meter found");
    case Verdict::MeterSilent: return QStringLiteral("cable answers, meter silent: switch the meter's data output on");
    case Verdict::CableMute: return QStringLiteral("cable present but mute: unplug and plug it in again");
    case Verdict::PermissionDenied: return QStringLiteral("permission denied: install the udev rule");
    case Verdict::SerialSilent:
        return QStringLiteral("nothing received, meter silent: switch the meter's data output on and check the cable");
    case Verdict::NoPackets:
        return QStringLiteral("bytes arriving but no meter packets: another device, or a different speed");
    case Verdict::CannotOpen: return QStringLiteral("cannot open the device");
    }
    return {};
}

QString MeterDoctor::udevInstallLines() {
    return QStringLiteral(
        "sudo install -m 644 packaging/udev/70-veska-usb-serial.rules /etc/udev/rules.d/\n"
        "sudo udevadm control --reload-rules && sudo udevadm trigger --subsystem-match=hidraw "
        "--subsystem-match=usb\n"
        "then unplug the cable and plug it in again");
}

void MeterDoctor::note(const QString& text) const {
    if (m_options.progress) m_options.progress(text);
}

std::vector<MeterDoctor::Candidate> MeterDoctor::serialCandidates() const {
    std::vector<Candidate> list;
    for (const auto& [label, path] : m_options.extraSerial) {
        list.push_back({false, label.isEmpty() ? path : label, path, QStringLiteral("given with --port")});
    }
    if (!m_options.machineSerialPorts) return list;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString path = info.systemLocation();
        if (std::any_of(list.begin(), list.end(), [&](const Candidate& c) { return c.path == path; })) continue;
        QStringList details;
        if (!info.description().isEmpty()) details << info.description();
        if (!info.manufacturer().isEmpty()) details << info.manufacturer();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            details << hex4(info.vendorIdentifier()) + ':' + hex4(info.productIdentifier());
        if (!info.serialNumber().isEmpty()) details << QStringLiteral("serial number ") + info.serialNumber();
        list.push_back({false, info.portName(), path, details.join(QStringLiteral(", "))});
    }
    return list;
}

MeterDoctor::Finding MeterDoctor::examineSerial(const Candidate& candidate) {
    Finding f;
    f.candidate = candidate;
    const QByteArray native = candidate.path.toLocal8Bit();
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        const int error = errno;
        f.access = QStringLiteral("cannot open: %1").arg(errnoText(error));
        f.verdictText = QStringLiteral("cannot open: %1").arg(errnoText(error));
        f.fix = QStringLiteral("check the path, or plug the adapter in");
        return f;
    }
    if (!S_ISCHR(st.st_mode)) {
        f.access = QStringLiteral("not a character device");
        f.verdictText = QStringLiteral("cannot open: not a character device, so not a serial port");
        f.fix = QStringLiteral("give the serial device's path, for example /dev/ttyUSB0");
        return f;
    }
    if (::access(native.constData(), R_OK | W_OK) != 0) {
        const int error = errno;
        f.access = QStringLiteral("may not open: %1").arg(errnoText(error));
        if (error == EACCES || error == EPERM) {
            f.verdict = Verdict::PermissionDenied;
            const QString group = groupOf(st);
            f.verdictText = QStringLiteral("permission denied: join the group %1").arg(group);
            f.fix = QStringLiteral("sudo usermod -aG %1 $USER, then log out and in again").arg(group);
        } else {
            f.verdictText = QStringLiteral("cannot open: %1").arg(errnoText(error));
        }
        return f;
    }
    f.access = QStringLiteral("may open for reading and writing");

    PortMap map;
    map.setPath(ComPortNumber::Com1, candidate.path);
    SerialPortDriver driver;
    driver.setPortMap(map);
    driver.setComPort(ComPortNumber::Com1);
    driver.setComPortSpeed(m_options.serialSpeed);
    driver.setComPortPollingDelay(20);
    // The optical cable draws its power from DTR (raised) and RTS (low), as the driver sets them.
    VeskaSerialFraming framing([&f](std::string_view) { ++f.packets; });
    driver.setOnReceiveData([&](const std::uint8_t* data, std::size_t size) {
        f.bytes += size;
        framing.feed(data, size);
    });
    if (!driver.connectPort()) {
        f.access = QStringLiteral("open failed: %1").arg(driver.lastErrorText());
        f.verdictText = QStringLiteral("cannot open: %1").arg(driver.lastErrorText());
        f.fix = QStringLiteral("close any other program that uses it");
        return f;
    }
    note(QStringLiteral("listening on %1 (%2) for %3 s ...")
             .arg(candidate.name, candidate.path)
             .arg(m_options.listenMs / 1000.0));
    QEventLoop loop;
    QTimer::singleShot(m_options.listenMs, &loop, &QEventLoop::quit);
    loop.exec();
    driver.disconnectPort();
    f.listened = true;
    if (f.packets > 0) {
        f.verdict = Verdict::MeterFound;
    } else if (f.bytes > 0) {
        f.verdict = Verdict::NoPackets;
        f.fix = QStringLiteral("check that the meter is this model and sends at %1 baud")
                    .arg(baudRateValue(m_options.serialSpeed));
    } else {
        f.verdict = Verdict::SerialSilent;
        f.fix = QStringLiteral(
            "switch the meter's data output on (on several models a long press of a button does it); "
            "check that the cable sits in the meter");
    }
    f.verdictText = verdictText(f.verdict);
    return f;
}

void MeterDoctor::examineUsb(std::vector<Finding>& findings) {
    if (!m_options.hid || !m_options.hid->available()) return;
    HidPlatform& hid = *m_options.hid;
    for (const HidInterfaceInfo& info : hid.enumerate()) {
        int error = 0;
        QString product, serial;
        if (auto query = hid.open(info.path, HidPlatform::Access::QueryOnly, error)) {
            std::vector<char16_t> buffer(254, 0);
            if (query->productString(buffer)) product = textUpToZero(buffer);
            std::fill(buffer.begin(), buffer.end(), char16_t(0));
            if (query->serialNumberString(buffer)) serial = textUpToZero(buffer);
        }
        const bool knownChip = BridgeChips::isKnown(info.attributes.vendorId, info.attributes.productId);
        // Other products reuse the chips' IDs: with a different name it is not the cable.
        if (!(product == kCableProduct || (knownChip && product.isEmpty()))) continue;

        Finding f;
        f.candidate.usb = true;
        f.candidate.name = product.isEmpty() ? kCableProduct + QStringLiteral(" (no name reported)") : product;
        if (!info.portPath.empty()) f.candidate.name += QStringLiteral(" at ") + QString::fromStdString(info.portPath);
        f.candidate.path = QString::fromStdString(info.path);
        QStringList details{hex4(info.attributes.vendorId) + ':' + hex4(info.attributes.productId)};
        if (!serial.isEmpty()) details << QStringLiteral("serial number ") + serial;
        f.candidate.details = details.join(QStringLiteral(", "));

        auto handle = hid.open(info.path, HidPlatform::Access::ReadWrite, error);
        if (!handle) {
            f.access = QStringLiteral("may not open: %1").arg(errnoText(error));
            if (error == EACCES || error == EPERM) {
                f.verdict = Verdict::PermissionDenied;
                f.verdictText = verdictText(f.verdict);
                f.fix = udevInstallLines();
            } else {
                f.verdictText = QStringLiteral("cannot open: %1").arg(errnoText(error));
                f.fix = QStringLiteral("unplug the cable and plug it in again");
            }
            findings.push_back(f);
            continue;
        }
        f.access = QStringLiteral("may open for reading and writing");
        const BridgeConfigReport::Bytes config = BridgeConfigReport::build(m_options.bridgeSpeed);
        f.configAccepted = handle->sendFeatureReport(config.data(), config.size());

        HidCaps caps;
        const std::size_t length =
            handle->capabilities(caps) && caps.inputReportByteLength > 1 ? caps.inputReportByteLength : 65;
        std::vector<std::uint8_t> buffer(length, 0);
        HidReportReassembly reassembly([&f](std::string_view) { ++f.packets; });
        note(QStringLiteral("listening on %1 (%2) for %3 s ...")
                 .arg(f.candidate.name, f.candidate.path)
                 .arg(m_options.listenMs / 1000.0));
        const QDeadlineTimer deadline(m_options.listenMs);
        int failures = 0;
        while (!deadline.hasExpired()) {
            const int n = handle->readReport(buffer.data(), buffer.size(), 20);
            if (n < 0 && ++failures > 3) break;  // gone or broken: what came so far decides
            if (n > 1) {
                ++f.reports;
                const std::uint8_t first = buffer[1];
                const int count = (first & 0xF0) == 0xF0 ? first & 0x0F : 0;
                if (count == 0) ++f.emptyReports;
                f.bytes += static_cast<std::uint64_t>(count);
                reassembly.onVeskaReport(buffer[0], buffer.data() + 1, static_cast<std::size_t>(n - 1));
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        f.listened = true;
        if (f.packets > 0) {
            f.verdict = Verdict::MeterFound;
        } else if (f.reports > 0) {
            f.verdict = Verdict::MeterSilent;
            f.fix = QStringLiteral("switch the meter's data output on (on several models a long press of a button "
                                   "does it); check that the cable sits in the meter");
        } else {
            f.verdict = Verdict::CableMute;
            f.fix = QStringLiteral("unplug the cable and plug it in again; the udev rule keeps it awake afterwards:\n") +
                    udevInstallLines();
        }
        f.verdictText = verdictText(f.verdict);
        findings.push_back(f);
    }
}

std::vector<MeterDoctor::Finding> MeterDoctor::examine() {
    std::vector<Finding> findings;
    for (const Candidate& c : serialCandidates()) findings.push_back(examineSerial(c));
    examineUsb(findings);
    return findings;
}

bool MeterDoctor::meterFound(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const Finding& f) { return f.verdict == Verdict::MeterFound; });
}

QString MeterDoctor::report(const std::vector<Finding>& findings, int listenMs) {
    QString out;
    const auto section = [&](bool usb, const QString& title) {
        out += title + QLatin1Char('\n');
        bool any = false;
        for (const Finding& f : findings) {
            if (f.candidate.usb != usb) continue;
            any = true;
            out += QStringLiteral("  ") + f.candidate.name;
            if (f.candidate.path != f.candidate.name) out += QStringLiteral("  ") + f.candidate.path;
            if (!f.candidate.details.isEmpty()) out += QStringLiteral("  (%1)").arg(f.candidate.details);
            out += QLatin1Char('\n');
            out += QStringLiteral("    access: %1\n").arg(f.access);
            if (f.configAccepted)
                out += QStringLiteral("    configuration report: %1\n")
                           .arg(*f.configAccepted ? QStringLiteral("accepted") : QStringLiteral("refused"));
            if (f.listened) {
                if (usb)
                    out += QStringLiteral("    listened %1 s: %2 reports (%3 empty), %4 bytes, %5 packets\n")
                               .arg(listenMs / 1000.0)
                               .arg(f.reports)
                               .arg(f.emptyReports)
                               .arg(f.bytes)
                               .arg(f.packets);
                else
                    out += QStringLiteral("    listened %1 s: %2 bytes, %3 packets\n")
                               .arg(listenMs / 1000.0)
                               .arg(f.bytes)
                               .arg(f.packets);
            }
            out += QStringLiteral("    verdict: %1\n").arg(f.verdictText);
            if (!f.fix.isEmpty()) {
                QString fix = f.fix;
                fix.replace(QLatin1Char('\n'), QStringLiteral("\n         "));
                out += QStringLiteral("    fix: %1\n").arg(fix);
            }
        }
        if (!any) out += QStringLiteral("  none\n");
    };
    section(false, QStringLiteral("Serial devices:"));
    section(true, QStringLiteral("USB to Serial cables (HID bridge):"));
    const auto found = std::find_if(findings.begin(), findings.end(),
                                    [](const Finding& f) { return f.verdict == Verdict::MeterFound; });
    if (found != findings.end()) {
        out += QStringLiteral("Result: meter found on %1 (%2)\n").arg(found->candidate.name, found->candidate.path);
    } else {
        out += QStringLiteral("Result: no meter found.\n");
        if (std::none_of(findings.begin(), findings.end(), [](const Finding& f) { return f.candidate.usb; })) {
            out += QStringLiteral("No USB to Serial cable is visible. If one is plugged in, install the udev rule:\n") +
                   udevInstallLines() + QLatin1Char('\n');
        }
    }
    return out;
}

}  // namespace veska
