#pragma once

#include <QObject>

class QAction;
class QMenu;
class QMenuBar;

namespace veska {

// The window's menu bar: every menu and item under the name the window's handlers use.
// It only builds and holds the actions; MainWindow connects them.
class MainMenu : public QObject {
    Q_OBJECT
public:
    explicit MainMenu(QMenuBar* bar);

    QMenu* comSetupMenu = nullptr;
    QAction* com1Item = nullptr;
    QAction* com2Item = nullptr;
    QAction* com3Item = nullptr;
    QAction* com4Item = nullptr;

    QMenu* connectMenu = nullptr;
    QAction* startItem = nullptr;
    QAction* stopItem = nullptr;
    QAction* publishItem = nullptr;  // "Publish (MQTT)..."

    QMenu* graphicMenu = nullptr;
    QAction* firstPageItem = nullptr;
    QAction* previousPageItem = nullptr;
    QAction* nextPageItem = nullptr;
    QAction* lastPageItem = nullptr;
    QAction* newChartItem = nullptr;
    QAction* saveChartItem = nullptr;
    QAction* fillItem = nullptr;

    QMenu* recordMenu = nullptr;
    QAction* newRecordItem = nullptr;
    QAction* saveRecordItem = nullptr;
    // The six record limit items follow the separator; the recorder's limit menu adds
    // them, as it keeps their check marks.

    QAction* exitItem = nullptr;

private:
    static QAction* addGap(QMenuBar* bar);
};

}  // namespace veska
