#include "ui/MainMenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace veska {

namespace {
QAction* addItem(QMenu* menu, const QString& text, const char* name, bool checkable = false) {
    QAction* a = menu->addAction(text);
    a->setObjectName(QLatin1String(name));
    a->setCheckable(checkable);
    return a;
}
}  // namespace

// Captions carry their mnemonic as "&" before a letter they already have: the visible
// text is the caption itself, one letter underlined.
MainMenu::MainMenu(QMenuBar* bar) : QObject(bar) {
    comSetupMenu = bar->addMenu(QStringLiteral("&ComSetup"));
    comSetupMenu->setObjectName("comSetupMenu");
    com1Item = addItem(comSetupMenu, "COM&1", "com1Item", true);
    com2Item = addItem(comSetupMenu, "COM&2", "com2Item", true);
    com3Item = addItem(comSetupMenu, "COM&3", "com3Item", true);
    com4Item = addItem(comSetupMenu, "COM&4", "com4Item", true);
    com1Item->setChecked(true);

    connectMenu = bar->addMenu(QStringLiteral("C&onnect"));
    connectMenu->setObjectName("connectMenu");
    startItem = addItem(connectMenu, "&START", "startItem");
    stopItem = addItem(connectMenu, "S&TOP", "stopItem");
    stopItem->setEnabled(false);
    connectMenu->addSeparator();
    publishItem = addItem(connectMenu, "Publish (MQTT)...", "PublishMqtt");

    addGap(bar);

    graphicMenu = bar->addMenu(QStringLiteral("&Graphic"));
    graphicMenu->setObjectName("Graphic");
    firstPageItem = addItem(graphicMenu, "&First", "First");
    previousPageItem = addItem(graphicMenu, "&Previous", "Previous");
    nextPageItem = addItem(graphicMenu, "&Next", "Next");
    lastPageItem = addItem(graphicMenu, "&Last", "Last");
    graphicMenu->addSeparator();
    newChartItem = addItem(graphicMenu, "Ne&w", "New");
    saveChartItem = addItem(graphicMenu, "&Save", "Save");
    graphicMenu->addSeparator();
    fillItem = addItem(graphicMenu, "F&ill", "Fill", true);
    fillItem->setChecked(true);

    recordMenu = bar->addMenu(QStringLiteral("&Record"));
    recordMenu->setObjectName("Record");
    newRecordItem = addItem(recordMenu, "&New", "newRecordItem");
    saveRecordItem = addItem(recordMenu, "&Save", "saveRecordItem");
    recordMenu->addSeparator();

    addGap(bar);

    exitItem = bar->addAction(QStringLiteral("&Exit"));
    exitItem->setObjectName("EXIT1");
}

QAction* MainMenu::addGap(QMenuBar* bar) {
    // A menu-bar entry without caption or command: it only leaves a gap.
    QAction* gap = bar->addAction(QStringLiteral("    "));
    gap->setObjectName("gap");
    return gap;
}

}  // namespace veska
