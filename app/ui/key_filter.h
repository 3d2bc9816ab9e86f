#pragma once
// What the main window does with a key press before its widgets see it: the IP list editor
// takes only what an address needs, Enter never ends the window, Escape hides it to the tray.

#include <Qt>

// Where the keyboard focus is.
enum class KeyFocus {
    IpListEditor,  // the in-place editor of an IP list entry
    IpList,        // the IP list itself
    Elsewhere,     // any other control of the main window
};

enum class KeyVerdict {
    Pass,          // the focused widget handles the key as usual
    Swallow,       // the key has no effect
    EndEditing,    // the editor ends (Enter keeps, Escape drops the text) and the list regains focus
    ToggleWindow,  // hide the window to the tray, or show it again
    OpenHelp,      // the help page
};

KeyVerdict FilterKey(KeyFocus focus, int key, Qt::KeyboardModifiers modifiers);
