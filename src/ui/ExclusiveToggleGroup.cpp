#include "ui/ExclusiveToggleGroup.h"

namespace veska {

int ExclusiveToggleGroup::addButton(Handler handler) {
    m_buttons.push_back(Button{false, std::move(handler)});
    return buttonCount() - 1;
}

void ExclusiveToggleGroup::setHandler(int id, Handler handler) {
    if (valid(id)) m_buttons[static_cast<std::size_t>(id)].handler = std::move(handler);
}

void ExclusiveToggleGroup::click(int id) {
    if (!valid(id)) return;
    const bool pressed = !isPressed(id);
    setPressed(id, pressed);
    // Copied: the handler may replace itself.
    const Handler handler = m_buttons[static_cast<std::size_t>(id)].handler;
    if (handler) handler(pressed);
}

void ExclusiveToggleGroup::setPressed(int id, bool pressed) {
    if (!valid(id)) return;
    if (pressed) {
        for (int other = 0; other < buttonCount(); ++other)
            if (other != id) change(other, false);
    }
    change(id, pressed);
}

bool ExclusiveToggleGroup::isPressed(int id) const {
    return valid(id) && m_buttons[static_cast<std::size_t>(id)].pressed;
}

void ExclusiveToggleGroup::change(int id, bool pressed) {
    Button& button = m_buttons[static_cast<std::size_t>(id)];
    if (button.pressed == pressed) return;
    button.pressed = pressed;
    emit pressedChanged(id, pressed);
}

}  // namespace veska
