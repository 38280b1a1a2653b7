#pragma once

#include <QObject>

#include <array>

class QAction;
class QActionGroup;
class QMenu;

namespace veska {

class Recorder;

// The six record limit items of the menu "Record". Choosing one sets the recorder's limit;
// the check mark follows the limit in force (also when it is set elsewhere).
// The window adds them with addTo(menu) after "New", "Save" and a separator; every item
// runs setRecordLimit with its limit.
class RecordLimitMenu : public QObject {
    Q_OBJECT
public:
    enum Item { Limit1000, Limit5000, Limit10000, Limit50000, Limit100000, Limitless };

    explicit RecordLimitMenu(Recorder& recorder, QObject* parent = nullptr);

    void addTo(QMenu* menu);
    QAction* action(Item item) const { return m_actions[std::size_t(item)]; }
    static int limitOf(Item item);

    // Sets the recorder's limit (Recorder::kLimitless: none) and checks its item.
    void setRecordLimit(int limit);

private:
    void showLimit(int limit);

    Recorder& m_recorder;
    QActionGroup* m_group;
    std::array<QAction*, 6> m_actions{};
};

}  // namespace veska
