#include "links/BridgeChips.h"

#include <QRegularExpression>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace veska::test {
namespace {

// One rule line as key -> (operator, value), e.g. "ATTRS{idVendor}" -> ("==", "1a86").
using Rule = std::multimap<std::string, std::pair<std::string, std::string>>;

std::vector<Rule> ReadRules(const std::string& path) {
    std::ifstream file(path);
    std::vector<Rule> rules;
    std::string line;
    // QRegularExpression rather than std::regex: GCC 12 warns inside <regex> under the
    // sanitizer build, and warnings are errors.
    static const QRegularExpression pair(R"re(\s*([A-Za-z_]+(?:\{[^}]*\})?)\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*,?)re");
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        Rule rule;
        for (auto it = pair.globalMatch(QString::fromStdString(line)); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            rule.emplace(m.captured(1).toStdString(), std::make_pair(m.captured(2).toStdString(), m.captured(3).toStdString()));
        }
        if (!rule.empty()) rules.push_back(std::move(rule));
    }
    return rules;
}

bool Has(const Rule& rule, const std::string& key, const std::string& op, const std::string& value) {
    const auto [first, last] = rule.equal_range(key);
    for (auto it = first; it != last; ++it) {
        if (it->second.first == op && it->second.second == value) return true;
    }
    return false;
}

std::string Hex4(std::uint16_t v) {
    char text[5];
    std::snprintf(text, sizeof text, "%04x", v);
    return text;
}

TEST(UdevRuleTest, EveryBridgeChipAndTheProductNameGetUserAccessAndStayAwake) {
    const std::vector<Rule> rules = ReadRules(VESKA_SOURCE_DIR "/packaging/udev/70-veska-usb-serial.rules");
    ASSERT_FALSE(rules.empty()) << "rule file missing or empty";

    struct Match {
        std::string label;
        std::function<bool(const Rule&, const std::string& attr)> matches;
    };
    std::vector<Match> matches;
    for (const BridgeChips::Id& id : BridgeChips::known()) {
        const std::string vendor = Hex4(id.vendor), product = Hex4(id.product);
        matches.push_back({vendor + ":" + product, [=](const Rule& r, const std::string& attr) {
                               return Has(r, attr + "{idVendor}", "==", vendor) &&
                                      Has(r, attr + "{idProduct}", "==", product);
                           }});
    }
    matches.push_back({"product name", [](const Rule& r, const std::string& attr) {
                           return Has(r, attr + "{product}", "==", "USB to Serial");
                       }});
    for (const std::string pair : {"1a86:e008", "04fa:2490", "1244:d237"}) {
        EXPECT_TRUE(std::any_of(matches.begin(), matches.end(), [&](const Match& m) { return m.label == pair; }))
            << pair << " is not a known bridge chip";
    }

    for (const Match& m : matches) {
        bool hidraw = false, usb = false;
        for (const Rule& r : rules) {
            if (Has(r, "SUBSYSTEM", "==", "hidraw") && m.matches(r, "ATTRS")) {
                hidraw = true;
                EXPECT_TRUE(Has(r, "TAG", "+=", "uaccess")) << m.label << ": hidraw rule without uaccess";
            }
            if (Has(r, "SUBSYSTEM", "==", "usb") && m.matches(r, "ATTR")) {
                usb = true;
                EXPECT_TRUE(Has(r, "TAG", "+=", "uaccess")) << m.label << ": usb rule without uaccess";
                EXPECT_TRUE(Has(r, "ATTR{power/control}", "=", "on")) << m.label << ": autosuspend not turned off";
            }
        }
        EXPECT_TRUE(hidraw) << m.label << ": no rule for the hidraw node";
        EXPECT_TRUE(usb) << m.label << ": no rule for the USB device";
    }
}

}  // namespace
}  // namespace veska::test
