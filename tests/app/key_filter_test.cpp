#include "app/ui/key_filter.h"

#include <gtest/gtest.h>

namespace {

struct KeyCase {
    const char* what;
    KeyFocus focus;
    int key;
    Qt::KeyboardModifiers modifiers;
    KeyVerdict verdict;
};

constexpr auto E = KeyFocus::IpListEditor;
constexpr auto L = KeyFocus::IpList;
constexpr auto O = KeyFocus::Elsewhere;
constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;
constexpr Qt::KeyboardModifiers kPad = Qt::KeypadModifier;

const KeyCase kCases[] = {
    // The IP list editor takes only what an address needs.
    {"digit", E, Qt::Key_7, kNone, KeyVerdict::Pass},
    {"pad digit", E, Qt::Key_0, kPad, KeyVerdict::Pass},
    {"pad point", E, Qt::Key_Period, kPad, KeyVerdict::Pass},
    {"full stop", E, Qt::Key_Period, kNone, KeyVerdict::Pass},
    {"colon", E, Qt::Key_Colon, Qt::ShiftModifier, KeyVerdict::Pass},
    {"backspace", E, Qt::Key_Backspace, kNone, KeyVerdict::Pass},
    {"delete", E, Qt::Key_Delete, kNone, KeyVerdict::Pass},
    {"left", E, Qt::Key_Left, kNone, KeyVerdict::Pass},
    {"end", E, Qt::Key_End, kNone, KeyVerdict::Pass},
    {"letter", E, Qt::Key_A, kNone, KeyVerdict::Swallow},
    {"shifted letter", E, Qt::Key_X, Qt::ShiftModifier, KeyVerdict::Swallow},
    {"space", E, Qt::Key_Space, kNone, KeyVerdict::Swallow},
    {"minus", E, Qt::Key_Minus, kNone, KeyVerdict::Swallow},
    {"paste", E, Qt::Key_V, Qt::ControlModifier, KeyVerdict::Swallow},
    {"ctrl digit", E, Qt::Key_1, Qt::ControlModifier, KeyVerdict::Swallow},
    {"tab", E, Qt::Key_Tab, kNone, KeyVerdict::Swallow},
    {"enter in editor", E, Qt::Key_Return, kNone, KeyVerdict::EndEditing},
    {"pad enter in editor", E, Qt::Key_Enter, kPad, KeyVerdict::EndEditing},
    {"escape in editor", E, Qt::Key_Escape, kNone, KeyVerdict::EndEditing},
    // Enter never ends or hides the window, wherever the focus is (the port field, the list).
    {"enter elsewhere", O, Qt::Key_Return, kNone, KeyVerdict::Swallow},
    {"pad enter elsewhere", O, Qt::Key_Enter, kPad, KeyVerdict::Swallow},
    {"enter on list", L, Qt::Key_Return, kNone, KeyVerdict::Swallow},
    // Escape outside the editor hides the window (or shows it).
    {"escape elsewhere", O, Qt::Key_Escape, kNone, KeyVerdict::ToggleWindow},
    {"escape on list", L, Qt::Key_Escape, kNone, KeyVerdict::ToggleWindow},
    // Space only on the list itself.
    {"space on list", L, Qt::Key_Space, kNone, KeyVerdict::Pass},
    {"space elsewhere", O, Qt::Key_Space, kNone, KeyVerdict::Swallow},
    {"help", O, Qt::Key_F1, kNone, KeyVerdict::OpenHelp},
    {"letters elsewhere", O, Qt::Key_Q, kNone, KeyVerdict::Pass},
    {"digits elsewhere", O, Qt::Key_5, kNone, KeyVerdict::Pass},
    {"tab elsewhere", O, Qt::Key_Tab, kNone, KeyVerdict::Pass},
};

TEST(KeyFilter, Table)
{
    for (const KeyCase& c : kCases) EXPECT_EQ(FilterKey(c.focus, c.key, c.modifiers), c.verdict) << c.what;
}

}  // namespace
