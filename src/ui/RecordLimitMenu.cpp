#include "ui/RecordLimitMenu.h"

#include "session/Recorder.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace veska {

namespace {

struct ItemText {
    const char* name;
    const char* caption;
    int limit;
};

constexpr std::array<ItemText, 6> kItems{{{"limit1000Item", "1000", 1000},
                                          {"limit5000Item", "5000", 5000},
                                          {"limit10000Item", "10000", 10000},
                                          {"limit50000Item", "50000", 50000},
                                          {"limit100000Item", "100000", 100000},
                                          {"limitlessItem", "&limitless", Recorder::kLimitless}}};

}  // namespace

RecordLimitMenu::RecordLimitMenu(Recorder& recorder, QObject* parent)
    : QObject(parent), m_recorder(recorder), m_group(new QActionGroup(this)) {
    m_group->setExclusive(true);
    for (std::size_t i = 0; i < kItems.size(); ++i) {
        auto* action = new QAction(QString::fromLatin1(kItems[i].caption), this);
        action->setObjectName(QString::fromLatin1(kItems[i].name));
        action->setCheckable(true);
        m_group->addAction(action);
        connect(action, &QAction::triggered, this, [this, i] { setRecordLimit(kItems[i].limit); });
        m_actions[i] = action;
    }
    connect(&m_recorder, &Recorder::recordLimitChanged, this, &RecordLimitMenu::showLimit);
    showLimit(m_recorder.recordLimit());
}

void RecordLimitMenu::addTo(QMenu* menu) {
    for (QAction* action : m_actions) menu->addAction(action);
}

int RecordLimitMenu::limitOf(Item item) { return kItems[std::size_t(item)].limit; }

void RecordLimitMenu::setRecordLimit(int limit) {
    m_recorder.setRecordLimit(limit);
    showLimit(limit);
}

void RecordLimitMenu::showLimit(int limit) {
    for (std::size_t i = 0; i < kItems.size(); ++i) m_actions[i]->setChecked(kItems[i].limit == limit);
}

}  // namespace veska
