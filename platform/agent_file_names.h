#pragma once
#include <QString>
#include <QStringList>

// The agent's data folder holds its own files (log, socket log, IP list, media library index,
// address book) and files named after peers: item state files "<machine>.<Contact|Appointment|
// Task>", notes state files "<machine>.<suffix>", bookmark state files "<machine>.<Browser>_<suffix>"
// and identifier maps "ids_<machine>.xml". Machine identifiers and suffixes are the peer's texts,
// so a name built from them could land on another file: the log, the index, another kind's state.
enum class AgentFileFamily {
    ItemState,      // contacts, appointments and tasks
    NotesState,
    BookmarkState,
    IdentifierMap,
};

// Whether `name`, built for a file of `family`, is one of the agent's own files or a name of
// another family; names compare without regard to case, as on the peer's file systems. A bookmark
// state file is known by one of `bookmarkStateParts` (the browsers' parts of the name, which the
// source catalogue's rows give).
bool ClashesWithAnotherAgentFile(const QString& name, AgentFileFamily family, const QStringList& bookmarkStateParts);

// Throws AgentError naming `what` when it does.
void RequireOwnAgentFileName(const QString& name, AgentFileFamily family, const QStringList& bookmarkStateParts,
                             const char* what);
