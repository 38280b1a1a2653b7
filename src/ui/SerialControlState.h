#pragma once

#include "session/SerialConnection.h"

#include <QMetaType>
#include <QString>

#include <array>

namespace veska {

// What the window's serial controls show. Defaults are the start state.
struct SerialControlState {
    bool comSetupEnabled = true;                                   // ComSetup1
    std::array<bool, kComPortCount> comItemChecked{true, false, false, false};   // COM11..COM41
    bool startEnabled = true;                                      // START1
    bool startChecked = false;
    bool stopEnabled = false;                                      // STOP1
    bool stopChecked = false;
    std::array<bool, kComPortCount> comPanelVisible{true, false, false, false};  // BtCOM1..BtCOM4
    bool comPanelsEnabled = true;                                  // BtCOM1..BtCOM4
    bool btConVisible = true;                                      // BTCon
    bool btDisconVisible = false;                                  // BtDiscon
    // Hint / status tip of the port items and panels: the device each name stands for.
    std::array<QString, kComPortCount> portHints;

    bool operator==(const SerialControlState&) const = default;
};

}  // namespace veska

Q_DECLARE_METATYPE(veska::SerialControlState)
