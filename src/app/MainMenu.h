#pragma once

#include <QObject>

class QAction;
class QMenu;
class QMenuBar;

namespace veska {

// The window's menu bar: every menu and item under the name the window's handlers use.
// It only builds and holds the actions; TFCOMM connects them.
class MainMenu : public QObject {
    Q_OBJECT
public:
    explicit MainMenu(QMenuBar* bar);

    QMenu* ComSetup1 = nullptr;
    QAction* COM11 = nullptr;
    QAction* COM21 = nullptr;
    QAction* COM31 = nullptr;
    QAction* COM41 = nullptr;

    QMenu* Connect1 = nullptr;
    QAction* START1 = nullptr;
    QAction* STOP1 = nullptr;

    QMenu* Graphic = nullptr;
    QAction* First = nullptr;
    QAction* Previous = nullptr;
    QAction* Next = nullptr;
    QAction* Last = nullptr;
    QAction* New = nullptr;
    QAction* Save = nullptr;
    QAction* Fill = nullptr;

    QMenu* Record = nullptr;
    QAction* New1 = nullptr;
    QAction* Save1 = nullptr;
    // The six record limit items follow the separator; the recorder's limit menu adds
    // them, as it keeps their check marks.

    QAction* EXIT1 = nullptr;

private:
    static QAction* addGap(QMenuBar* bar);
};

}  // namespace veska
