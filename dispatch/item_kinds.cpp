#include "dispatch/item_kinds.h"

#include "dispatch/agent.h"
#include "stores/store_roles.h"
#include "stores/store_set.h"

StateList& StateListOf(Agent& agent, ItemKind kind)
{
    switch (kind) {
        case ItemKind::Contacts:
            return agent.items.contacts;
        case ItemKind::Appointments:
            return agent.items.appointments;
        case ItemKind::Tasks:
            return agent.items.tasks;
        case ItemKind::Notes:
            return agent.items.notes;
    }
    return agent.items.contacts;
}

StateFileKind StateFileKindOf(ItemKind kind)
{
    switch (kind) {
        case ItemKind::Contacts:
            return StateFileKind::Contacts;
        case ItemKind::Appointments:
            return StateFileKind::Appointments;
        case ItemKind::Tasks:
            return StateFileKind::Tasks;
        case ItemKind::Notes:
            return StateFileKind::Notes;
    }
    return StateFileKind::Contacts;
}

std::uint32_t SourceCodeOf(const Agent& agent, ItemKind kind)
{
    return kind == ItemKind::Notes ? agent.notesAgentId : agent.agentId;
}

COutlook* SelectedStore(const Agent& agent, ItemKind kind)
{
    const std::uint32_t code = SourceCodeOf(agent, kind);
    switch (kind) {
        case ItemKind::Contacts:
            return SelectContactStore(*agent.stores, code);
        case ItemKind::Appointments:
            return SelectAppointmentStore(*agent.stores, code);
        case ItemKind::Tasks:
            return SelectTaskStore(*agent.stores, code);
        case ItemKind::Notes:
            return SelectNoteStore(*agent.stores, code);
    }
    return nullptr;
}

bool OutlookSelected(const Agent& agent, ItemKind kind)
{
    const std::uint32_t code = SourceCodeOf(agent, kind);
    return kind == ItemKind::Notes ? IsOutlookNotesCode(code) : IsOutlookAgentCode(code);
}

IdMappedStore* SelectedIdMappedStore(const Agent& agent, ItemKind kind)
{
    const std::uint32_t code = SourceCodeOf(agent, kind);
    const bool mapped =
        kind == ItemKind::Notes ? IsMappedOutlookNotesCode(code) : IsMappedOutlookAgentCode(code);
    return mapped ? StoreRole<IdMappedStore>(SelectedStore(agent, kind)) : nullptr;
}

void LoadStateList(Agent& agent, ItemKind kind)
{
    StateListOf(agent, kind).Load(StateFileKindOf(kind), agent.machineId, agent.items.notesSuffix);
}

void SaveStateList(Agent& agent, ItemKind kind)
{
    StateListOf(agent, kind).Save(StateFileKindOf(kind), agent.machineId, agent.items.notesSuffix);
}
