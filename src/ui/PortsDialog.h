#pragma once

#include "session/SerialDeviceDescription.h"

#include <QDialog>

#include <array>

class QComboBox;
class QTableWidget;

namespace veska {

// "Ports...": the machine's serial devices (description, manufacturer, vendor:product,
// serial number) and which of them COM1 to COM4 stand for. Ports fixed on the command
// line are shown but cannot be changed here.
class PortsDialog : public QDialog {
    Q_OBJECT
public:
    PortsDialog(const PortMap& current, const std::vector<SerialDeviceDescription>& devices,
                const std::array<bool, kComPortCount>& fixed, QWidget* parent = nullptr);

    // The mapping as the dialog shows it now.
    PortMap portMap() const;
    QComboBox* comboFor(ComPortNumber port) const { return m_combos[static_cast<std::size_t>(portIndex(port))]; }
    QTableWidget* deviceTable() const { return m_table; }

private:
    PortMap m_current;
    QTableWidget* m_table = nullptr;
    std::array<QComboBox*, kComPortCount> m_combos{};
};

}  // namespace veska
