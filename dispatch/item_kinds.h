#pragma once
// The four item kinds as the item requests see them: the kind's state list and file, the store
// its stored source code selects, and whether that source is Outlook.

#include <cstdint>

#include "dispatch/state_file.h"

class Agent;
class COutlook;
class IdMappedStore;

enum class ItemKind { Contacts, Appointments, Tasks, Notes };

StateList& StateListOf(Agent& agent, ItemKind kind);
StateFileKind StateFileKindOf(ItemKind kind);

// The source code that chooses the kind's store: the NotesAgentCode for notes, else the AgentCode.
std::uint32_t SourceCodeOf(const Agent& agent, ItemKind kind);
// The store that code selects, or nullptr.
COutlook* SelectedStore(const Agent& agent, ItemKind kind);
// Whether the code names an Outlook version (the Outlook connection then has to be up).
bool OutlookSelected(const Agent& agent, ItemKind kind);
// The selected store's identifier map when the code names Outlook 12 or 14, else nullptr.
IdMappedStore* SelectedIdMappedStore(const Agent& agent, ItemKind kind);

// Loads and saves the kind's list from and to the peer's state file (the notes file of the
// current suffix).
void LoadStateList(Agent& agent, ItemKind kind);
void SaveStateList(Agent& agent, ItemKind kind);
