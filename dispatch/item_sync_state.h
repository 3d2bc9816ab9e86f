#pragma once
#include <QString>

#include "dispatch/state_file.h"

// The peer's view of the items at its last synchronisation, per kind, kept in step by the
// item requests between a change check and the save. Lives as long as the agent.
struct ItemSyncState {
    StateList contacts;
    StateList appointments;
    StateList tasks;
    StateList notes;
    // Ends the notes state file's name; set by the notes change check and the reset request.
    QString notesSuffix;
};
