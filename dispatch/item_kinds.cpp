#include "dispatch/item_kinds.h"

#include "common/errors.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "stores/store_roles.h"
#include "stores/catalog/store_set.h"

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
    return agent.stores->Select(kind, SourceCodeOf(agent, kind));
}

SourceCondition SelectedCondition(const Agent& agent, ItemKind kind)
{
    const SourceRow* source = FindSource(kind, SourceCodeOf(agent, kind));
    return source && source->condition ? source->condition() : SourceCondition::Usable;
}

void FailUnusableSource(Agent& agent, ItemKind kind)
{
    const SourceRow* source = FindSource(kind, SourceCodeOf(agent, kind));
    if (source && source->unusableLine) agent.log.WriteLogLine(QString::fromUtf8(source->unusableLine));
    throw AgentError(source && source->unusableReason ? source->unusableReason
                                                      : "the chosen source holds no data here");
}

IdMappedStore* SelectedIdMappedStore(const Agent& agent, ItemKind kind)
{
    return StoreRole<IdMappedStore>(SelectedStore(agent, kind));
}

void LoadStateList(Agent& agent, ItemKind kind)
{
    StateListOf(agent, kind).Load(StateFileKindOf(kind), agent.machineId, agent.items.notesSuffix);
}

void SaveStateList(Agent& agent, ItemKind kind)
{
    StateListOf(agent, kind).Save(StateFileKindOf(kind), agent.machineId, agent.items.notesSuffix);
}
