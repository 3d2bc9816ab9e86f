#pragma once
#include <QString>

#include "dispatch/state_file.h"

// The peer's view of the items at its last synchronisation, per kind, kept in step by the
// item requests between a change check and the save. Lives as long as the agent; the lists go
// when their peer leaves.
struct ItemSyncState {
    StateList contacts;
    StateList appointments;
    StateList tasks;
    StateList notes;
    // Ends the notes state file's name; set by the notes change check and the reset request.
    QString notesSuffix;

    // Forgets the lists, memory included, when their peer leaves: the next peer loads its own
    // state before it checks, and a first synchronisation of 50,000 items would otherwise keep
    // its list for as long as the agent runs.
    void ReleaseLists()
    {
        for (StateList* list : {&contacts, &appointments, &tasks, &notes}) StateList().Swap(*list);
    }
};
