#include "app/ui/key_filter.h"

namespace {

bool IsEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Keys an address can be typed and corrected with. The main keyboard's full stop is accepted
// as well as the numeric pad's, so addresses can be typed on keyboards without a pad.
bool IsAddressKey(int key)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return true;
    switch (key) {
        case Qt::Key_Period:
        case Qt::Key_Colon:
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Home:
        case Qt::Key_End:
            return true;
        default:
            return false;
    }
}

}  // namespace

KeyVerdict FilterKey(KeyFocus focus, int key, Qt::KeyboardModifiers modifiers)
{
    if (focus == KeyFocus::IpListEditor) {
        if (IsEnter(key) || key == Qt::Key_Escape) return KeyVerdict::EndEditing;
        // Shortcuts (paste and the like) could bring in any text, so only plain keys pass.
        const Qt::KeyboardModifiers chords =
            modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        return IsAddressKey(key) && chords == Qt::NoModifier ? KeyVerdict::Pass : KeyVerdict::Swallow;
    }
    if (IsEnter(key)) return KeyVerdict::Swallow;
    if (key == Qt::Key_Escape) return KeyVerdict::ToggleWindow;
    if (key == Qt::Key_F1) return KeyVerdict::OpenHelp;
    if (key == Qt::Key_Space) return focus == KeyFocus::IpList ? KeyVerdict::Pass : KeyVerdict::Swallow;
    return KeyVerdict::Pass;
}
