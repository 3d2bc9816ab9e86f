#include "dispatch/item_kinds.h"

#include "common/errors.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
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

ChosenSource ChosenSourceOf(const Agent& agent, ItemKind kind)
{
    const std::uint32_t code = SourceCodeOf(agent, kind);
    return {.row = FindSource(kind, code), .store = agent.stores->Select(kind, code)};
}

SourceCondition ChosenSource::Condition() const
{
    return row && row->condition ? row->condition() : SourceCondition::Usable;
}

void FailUnusableSource(Agent& agent, const ChosenSource& source)
{
    const SourceRow* row = source.row;
    if (row && row->unusableLine) agent.log.WriteLogLine(QString::fromUtf8(row->unusableLine));
    throw AgentError(row && row->unusableReason ? row->unusableReason : "the chosen source holds no data here");
}

void LoadStateList(Agent& agent, ItemKind kind)
{
    StateListOf(agent, kind).Load(StateFileKindOf(kind), agent.machineId, agent.items.notesSuffix);
}

void SaveStateList(Agent& agent, ItemKind kind)
{
    StateListOf(agent, kind).Save(StateFileKindOf(kind), agent.machineId, agent.items.notesSuffix);
}
