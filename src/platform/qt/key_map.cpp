#include "platform/qt/key_map.h"

#include <QKeyEvent>

#include <map>

namespace pavo::qt {
namespace {

// The viewer's key for the key Qt reports, from the main block or the keypad.
Key keyTyped(int qtKey) {
    static const std::map<int, Key> keys{
        {Qt::Key_Return, Key::Enter},
        {Qt::Key_Enter, Key::Enter},
        {Qt::Key_F11, Key::F11},
        {Qt::Key_Shift, Key::Shift},
        {Qt::Key_Control, Key::Ctrl},
        {Qt::Key_Escape, Key::Esc},
        {Qt::Key_Space, Key::Space},
        {Qt::Key_PageUp, Key::PageUp},
        {Qt::Key_PageDown, Key::PageDown},
        {Qt::Key_End, Key::End},
        {Qt::Key_Home, Key::Home},
        {Qt::Key_Left, Key::Left},
        {Qt::Key_Up, Key::Up},
        {Qt::Key_Right, Key::Right},
        {Qt::Key_Down, Key::Down},
        {Qt::Key_Delete, Key::Delete},
        {Qt::Key_1, Key::Digit1},
        {Qt::Key_2, Key::Digit2},
        {Qt::Key_3, Key::Digit3},
        {Qt::Key_F, Key::F},
        {Qt::Key_G, Key::G},
        {Qt::Key_I, Key::I},
        {Qt::Key_L, Key::L},
        {Qt::Key_N, Key::N},
        {Qt::Key_P, Key::P},
        {Qt::Key_B, Key::B},
        {Qt::Key_Q, Key::Q},
        {Qt::Key_R, Key::R},
        {Qt::Key_T, Key::T},
        {Qt::Key_Y, Key::Y},
        {Qt::Key_F5, Key::F5},
        {Qt::Key_Equal, Key::Plus},
        {Qt::Key_Plus, Key::Plus},
        {Qt::Key_Comma, Key::Comma},
        {Qt::Key_Minus, Key::Minus},
        {Qt::Key_Period, Key::Period},
    };
    const auto found = keys.find(qtKey);
    return found == keys.end() ? Key::Other : found->second;
}

}  // namespace

Key keyFor(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (modifiers.testFlag(Qt::AltModifier)) return Key::Other;
    // The keypad types what the main block types (digits with NumLock on, the arrows,
    // Home, End, PgUp, PgDn and Del with it off); only its + and - do not zoom.
    if (modifiers.testFlag(Qt::KeypadModifier)) {
        const int typed = event.key();
        return typed == Qt::Key_Plus || typed == Qt::Key_Minus ? Key::Other : keyTyped(typed);
    }
    // X key codes of the main block, the same in the evdev and the older key code sets.
    switch (event.nativeScanCode()) {
        case 10:
            return Key::Digit1;
        case 11:
            return Key::Digit2;
        case 12:
            return Key::Digit3;
        case 20:
            return Key::Minus;
        case 21:
            return Key::Plus;
        default:
            return keyTyped(event.key());
    }
}

}  // namespace pavo::qt
