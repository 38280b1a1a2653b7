#pragma once

#include "ModelProfile.h"

#include <QMainWindow>

namespace veska {

// The main window FCOMM: owns every component and maps every command to the component
// that carries it out.
class TFCOMM : public QMainWindow {
    Q_OBJECT
public:
    explicit TFCOMM(const ModelSwitches& switches, QWidget* parent = nullptr);

private:
    void FormCreate();

    ModelSwitches m_switches;
};

}  // namespace veska
