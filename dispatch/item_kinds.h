#pragma once
// The four item kinds as the item requests see them: the kind's state list and file and the
// store its stored source code selects.

#include <cstdint>

#include "dispatch/state_file.h"
#include "stores/catalog/source_catalog.h"
#include "stores/base/source_kind.h"

class Agent;
class COutlook;

StateList& StateListOf(Agent& agent, ItemKind kind);
StateFileKind StateFileKindOf(ItemKind kind);

// The source code that chooses the kind's store: the NotesAgentCode for notes, else the AgentCode.
std::uint32_t SourceCodeOf(const Agent& agent, ItemKind kind);
// The store that code selects, or nullptr.
COutlook* SelectedStore(const Agent& agent, ItemKind kind);

// The chosen source of a kind as a request that checks or empties it needs it: its row, found
// once, and its store.
struct ChosenSource {
    const SourceRow* row = nullptr;  // nullptr: the code names no source
    COutlook* store = nullptr;
    // What the source's program holds here; Usable when its row asks nothing.
    SourceCondition Condition() const;
};
ChosenSource ChosenSourceOf(const Agent& agent, ItemKind kind);
// Logs the chosen source's line for a program that keeps none of its data, and fails.
[[noreturn]] void FailUnusableSource(Agent& agent, const ChosenSource& source);

// Loads and saves the kind's list from and to the peer's state file (the notes file of the
// current suffix).
void LoadStateList(Agent& agent, ItemKind kind);
void SaveStateList(Agent& agent, ItemKind kind);
