#pragma once

#include "session/SerialConnection.h"

#include <QMetaType>
#include <QString>

#include <array>

namespace veska {

// What the window's serial controls show. Defaults are the start state.
struct SerialControlState {
    bool comSetupEnabled = true;                                   // the ComSetup menu
    std::array<bool, kComPortCount> comItemChecked{true, false, false, false};   // its items COM1..COM4
    bool startEnabled = true;                                      // "START"
    bool startChecked = false;
    bool stopEnabled = false;                                      // "STOP"
    bool stopChecked = false;
    std::array<bool, kComPortCount> comPanelVisible{true, false, false, false};  // the port panels
    bool comPanelsEnabled = true;                                  // the port panels
    bool connectPanelVisible = true;                                      // the Connect panel
    bool disconnectPanelVisible = false;                                  // the Disconnect panel
    // Hint / status tip of the port items and panels: the device each name stands for.
    std::array<QString, kComPortCount> portHints;

    bool operator==(const SerialControlState&) const = default;
};

}  // namespace veska

Q_DECLARE_METATYPE(veska::SerialControlState)
