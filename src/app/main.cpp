#include "app/TFCOMM.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Veska");
    QApplication::setApplicationDisplayName("Veska");
    veska::TFCOMM FCOMM(veska::ModelSwitches::ThisBuild());
    FCOMM.show();
    return QApplication::exec();
}
