#include "MainMenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace veska {

namespace {
QAction* Item(QMenu* menu, const QString& text, const char* name, bool checkable = false) {
    QAction* a = menu->addAction(text);
    a->setObjectName(QLatin1String(name));
    a->setCheckable(checkable);
    return a;
}
}  // namespace

MainMenu::MainMenu(QMenuBar* bar) : QObject(bar) {
    ComSetup1 = bar->addMenu(QStringLiteral("ComSetup"));
    ComSetup1->setObjectName("ComSetup1");
    COM11 = Item(ComSetup1, "COM1", "COM11", true);
    COM21 = Item(ComSetup1, "COM2", "COM21", true);
    COM31 = Item(ComSetup1, "COM3", "COM31", true);
    COM41 = Item(ComSetup1, "COM4", "COM41", true);
    COM11->setChecked(true);

    Connect1 = bar->addMenu(QStringLiteral("Connect"));
    Connect1->setObjectName("Connect1");
    START1 = Item(Connect1, "START", "START1");
    STOP1 = Item(Connect1, "STOP", "STOP1");
    STOP1->setEnabled(false);

    addGap(bar);

    Graphic = bar->addMenu(QStringLiteral("Graphic"));
    Graphic->setObjectName("Graphic");
    First = Item(Graphic, "First", "First");
    Previous = Item(Graphic, "Previous", "Previous");
    Next = Item(Graphic, "Next", "Next");
    Last = Item(Graphic, "Last", "Last");
    Graphic->addSeparator();
    New = Item(Graphic, "New", "New");
    Save = Item(Graphic, "Save", "Save");
    Graphic->addSeparator();
    Fill = Item(Graphic, "Fill", "Fill", true);
    Fill->setChecked(true);

    Record = bar->addMenu(QStringLiteral("Record"));
    Record->setObjectName("Record");
    New1 = Item(Record, "New", "New1");
    Save1 = Item(Record, "Save", "Save1");
    Record->addSeparator();

    addGap(bar);

    EXIT1 = bar->addAction(QStringLiteral("Exit"));
    EXIT1->setObjectName("EXIT1");
}

QAction* MainMenu::addGap(QMenuBar* bar) {
    // A menu-bar entry without caption or command: it only leaves a gap.
    QAction* gap = bar->addAction(QStringLiteral("    "));
    gap->setObjectName("gap");
    return gap;
}

}  // namespace veska
