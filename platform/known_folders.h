#pragma once
#include <QString>

// Where the agent and the programs it serves keep their files on this machine, in the place
// of the shell's known-folder look-up. Every location follows HOME and the XDG variables at
// the moment of the call, so tests point them at a temporary home.
enum class KnownFolder {
    Home,           // the user's profile folder
    AppData,        // roaming application data: $XDG_DATA_HOME, default ~/.local/share
    LocalAppData,   // local application data: also $XDG_DATA_HOME
    Config,         // $XDG_CONFIG_HOME, default ~/.config
    Music,          // the XDG music folder
    Favorites,      // ~/Favorites
    Contacts,       // ~/Contacts
    Documents,      // the XDG documents folder
    Desktop,        // the XDG desktop folder
    RuntimeDir,     // $XDG_RUNTIME_DIR, default /tmp
};

// The folder's path without a trailing separator; empty when it cannot be determined.
QString KnownFolderPath(KnownFolder folder);

// The agent's own folder, "<AppData>/TwinLark", created when missing. Throws AgentError when
// it cannot be found or created.
QString AgentDataDir();
