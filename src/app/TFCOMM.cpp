#include "TFCOMM.h"

namespace veska {

TFCOMM::TFCOMM(const ModelSwitches& switches, QWidget* parent) : QMainWindow(parent), m_switches(switches) {
    setObjectName("FCOMM");
    FormCreate();
}

void TFCOMM::FormCreate() {
    resize(622, 463);
    const ResolvedProfile profile = ResolveStartupProfile(m_switches);
    setWindowTitle(QString::fromStdString(profile.windowTitle));
}

}  // namespace veska
