#pragma once
#include <QString>

// The agent's own folders: its data folder (log, state files, identifier maps, address book)
// and its settings folder (the emulated registry with the login password). They are never the
// peer's to read, list, change or watch through file requests, whatever path leads there.
// Paths compare after every link and ".." is resolved, exactly (case counts, as on Linux).

// Whether `localPath` is one of those folders or lies inside one, itself or through a link.
bool IsInAgentFolders(const QString& localPath);

// Whether it does, or is a folder that holds one of them: deleting or moving it would take the
// agent's files along.
bool IsInOrHoldsAgentFolders(const QString& localPath);
