#pragma once

#include <QObject>

#include <functional>
#include <vector>

namespace veska {

// Toggle buttons of which at most one is pressed (COM Connect, USB Connect, Read). Pressing one
// releases the others, pressing the pressed one again releases it, and all may be up.
// Only the button the user clicked runs its handler; one released by another runs none.
//
// Widget binding: the window forwards each button's clicked() to click(id) and sets each
// button's checked state from pressedChanged.
class ExclusiveToggleGroup : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(bool pressed)>;

    explicit ExclusiveToggleGroup(QObject* parent = nullptr) : QObject(parent) {}

    // Adds a released button; returns its id (0, 1, 2 ... in order of adding).
    int addButton(Handler handler = {});
    void setHandler(int id, Handler handler);

    // The user clicked the button: it toggles, and its handler runs with the new state.
    void click(int id);

    // Changes a button without running any handler (pressing still releases the others).
    void setPressed(int id, bool pressed);

    bool isPressed(int id) const;
    int buttonCount() const { return static_cast<int>(m_buttons.size()); }

signals:
    void pressedChanged(int id, bool pressed);

private:
    struct Button {
        bool pressed = false;
        Handler handler;
    };

    bool valid(int id) const { return id >= 0 && id < buttonCount(); }
    void change(int id, bool pressed);

    std::vector<Button> m_buttons;
};

}  // namespace veska
