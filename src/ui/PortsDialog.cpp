#include "ui/PortsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace veska {

namespace {
QString hex4(quint16 v) { return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')); }
}  // namespace

PortsDialog::PortsDialog(const PortMap& current, const std::vector<SerialDeviceDescription>& devices,
                         const std::array<bool, kComPortCount>& fixed, QWidget* parent)
    : QDialog(parent), m_current(current) {
    setObjectName(QStringLiteral("PortsDialog"));
    setWindowTitle(QStringLiteral("Ports"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Serial devices on this machine:"), this));

    m_table = new QTableWidget(static_cast<int>(devices.size()), 5, this);
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Device"), QStringLiteral("Description"), QStringLiteral("Manufacturer"),
         QStringLiteral("Vendor:Product"), QStringLiteral("Serial number")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    QStringList paths;
    for (int row = 0; row < static_cast<int>(devices.size()); ++row) {
        const SerialDeviceDescription& d = devices[static_cast<std::size_t>(row)];
        const QString ids = d.vendorId && d.productId ? hex4(*d.vendorId) + QLatin1Char(':') + hex4(*d.productId) : QString();
        const QStringList cells{d.path, d.description, d.manufacturer, ids, d.serialNumber};
        for (int col = 0; col < cells.size(); ++col) m_table->setItem(row, col, new QTableWidgetItem(cells[col]));
        paths << d.path;
    }
    m_table->resizeColumnsToContents();
    // As wide as its columns, so no title ("Vendor:Product") ends cut off at the edge.
    m_table->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    layout->addWidget(m_table);

    auto* form = new QFormLayout;
    for (int i = 0; i < kComPortCount; ++i) {
        const auto port = static_cast<ComPortNumber>(i);
        auto* combo = new QComboBox(this);
        combo->setObjectName(PortMap::portName(port));
        combo->setEditable(true);  // any device path, a pseudo-terminal included
        combo->addItems(paths);
        combo->setCurrentText(current.path(port));
        if (fixed[static_cast<std::size_t>(i)]) {
            combo->setEnabled(false);
            combo->setToolTip(QStringLiteral("Set on the command line (--port)"));
        }
        m_combos[static_cast<std::size_t>(i)] = combo;
        form->addRow(PortMap::portName(port) + QLatin1Char(':'), combo);
    }
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

PortMap PortsDialog::portMap() const {
    PortMap map = m_current;
    for (int i = 0; i < kComPortCount; ++i) {
        const QString path = m_combos[static_cast<std::size_t>(i)]->currentText().trimmed();
        if (!path.isEmpty()) map.setPath(static_cast<ComPortNumber>(i), path);
    }
    return map;
}

}  // namespace veska
