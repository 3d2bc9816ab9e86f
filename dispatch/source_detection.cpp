#include "dispatch/source_detection.h"

#include <algorithm>
#include <map>
#include <vector>

#include "core/log_file.h"
#include "core/settings.h"
#include "dispatch/agent.h"
#include "stores/catalog/source_catalog.h"
#include "stores/base/source_flags.h"
#include "stores/catalog/store_set.h"

namespace {

const QString kAgentIdValue = QStringLiteral("AgentID");
const QString kNotesAgentIdValue = QStringLiteral("notesAgentID");
const QString kBrowserIdValue = QStringLiteral("browserID");

// Asks each probe once however many rows name it (a program's version may serve four kinds), since
// asking may start a program.
class ProbeAnswers {
public:
    bool operator()(SourceProbe probe)
    {
        if (!probe) return false;
        const auto found = answers_.find(probe);
        if (found != answers_.end()) return found->second;
        return answers_[probe] = probe();
    }

private:
    std::map<SourceProbe, bool> answers_;
};

bool IsDetected(const SourceRow& row)
{
    const SourceProbe probe = row.detected ? row.detected : row.available;
    return probe && probe();
}

// The last row of the kind that detection finds wins; `code` when none is found.
std::uint32_t DetectCode(SourceKind kind, std::uint32_t code)
{
    for (const SourceRow& row : SourceCatalog())
        if (row.kind == kind && IsDetected(row)) code = row.code;
    return code;
}

// The rows of a kind, whose bit (when set in `flags`) chooses them; `versioned` picks the rows of
// a versioned program (programVersion) or the others.
template <class Apply>
void ForEachChosen(std::uint32_t flags, SourceKind kind, bool versioned, Apply apply)
{
    for (const SourceRow& row : SourceCatalog())
        if (row.kind == kind && (row.programVersion != 0) == versioned && row.flag && (flags & row.flag))
            apply(row);
}

}  // namespace

std::uint32_t DetectAgent(std::uint32_t current)
{
    if (!CreateSettingsKey()) return current;
    const std::uint32_t code = DetectCode(SourceKind::Contacts, current);
    bool found = false;
    const std::uint32_t stored = ReadSettingsDword(kAgentIdValue, 0, &found);
    if (found && StoredAgentCodeOutlivesDetection(stored)) return stored;
    WriteAgentValue(kAgentIdValue, code);
    return code;
}

std::uint32_t DetectNotesAgent(std::uint32_t current)
{
    if (!CreateSettingsKey()) return current;
    const std::uint32_t code = DetectCode(SourceKind::Notes, current);
    bool found = false;
    ReadSettingsDword(kNotesAgentIdValue, 0, &found);
    if (!found) WriteAgentValue(kNotesAgentIdValue, code);
    return code;
}

std::uint32_t ReadBrowserId()
{
    ProbeAnswers installed;
    std::vector<const SourceRow*> browsers;
    for (const SourceRow& row : SourceCatalog())
        if (row.kind == SourceKind::Bookmarks) browsers.push_back(&row);
    bool found = false;
    std::uint32_t stored = 0;
    // Without the settings key there is no stored choice; the fallback order decides.
    if (CreateSettingsKey()) stored = ReadSettingsDword(kBrowserIdValue, 0, &found);
    if (found)
        for (const SourceRow* row : browsers)
            if (row->code == stored && installed(row->available)) return stored;
    for (const SourceRow* row : browsers)
        if (installed(row->available)) return row->code;
    // None installed: the stored choice, else the first browser of the catalogue.
    return found || browsers.empty() ? stored : browsers.front()->code;
}

void DetectDataSources(Agent& agent)
{
    // Before detection the codes hold no choice; detection starts from "none" (0).
    const auto start = [](std::uint32_t code) { return code == 0xFFFFFFFF ? 0u : code; };
    agent.agentId = DetectAgent(start(agent.agentId));
    agent.log.WriteLogLine(QStringLiteral("office version %1").arg(static_cast<int>(agent.agentId)));
    agent.notesAgentId = DetectNotesAgent(start(agent.notesAgentId));
    agent.browserId = ReadBrowserId();
}

std::uint32_t AvailableSourceFlags(const StoreSet& stores)
{
    ProbeAnswers available;
    std::uint32_t flags = 0;
    for (const SourceRow& row : SourceCatalog())
        if (row.flag && !(flags & row.flag) && available(row.available)) flags |= row.flag;
    flags |= stores.StatusFlags();
    return flags;
}

void ApplySourceFlags(Agent& agent, std::uint32_t flags)
{
    // The peer's choice is kept even when the settings key has gone missing since start-up.
    // Each set bit assigns and stores at once, so a later bit overrides an earlier one of the
    // same code: the other contacts sources, the other notes sources, the notes of a versioned
    // program (programVersion), its versions, then the browsers by bit.
    CreateSettingsKey();
    const auto setAgent = [&](const SourceRow& row) {
        agent.agentId = row.code;
        WriteAgentValue(kAgentIdValue, row.code);
    };
    const auto setNotes = [&](const SourceRow& row) {
        agent.notesAgentId = row.code;
        WriteAgentValue(kNotesAgentIdValue, row.code);
    };
    ForEachChosen(flags, SourceKind::Contacts, false, setAgent);
    ForEachChosen(flags, SourceKind::Notes, false, setNotes);

    // The bit that the versions of one program share chooses the newest present; a version that
    // fails to start counts as absent.
    bool versionedNotesChosen = false;
    for (const SourceRow& row : SourceCatalog()) {
        if (row.kind != SourceKind::Notes || !row.programVersion || !(flags & row.flag)) continue;
        versionedNotesChosen = true;
        if (row.available && row.available()) agent.notesAgentId = row.code;
    }
    if (versionedNotesChosen) WriteAgentValue(kNotesAgentIdValue, agent.notesAgentId);
    ForEachChosen(flags, SourceKind::Contacts, true, setAgent);

    std::vector<const SourceRow*> browsers;
    ForEachChosen(flags, SourceKind::Bookmarks, false,
                  [&](const SourceRow& row) { browsers.push_back(&row); });
    std::sort(browsers.begin(), browsers.end(),
              [](const SourceRow* a, const SourceRow* b) { return a->flag < b->flag; });
    for (const SourceRow* row : browsers) agent.browserId = row->code;
    WriteBrowserId(agent.browserId);
}

std::uint32_t CurrentSourceFlags(const Agent& agent)
{
    std::uint32_t flags = 0;
    SourceSelection chosen = agent.Selection();
    chosen.browserKind = ReadBrowserId();
    for (SourceKind kind : {SourceKind::Contacts, SourceKind::Notes, SourceKind::Bookmarks})
        if (const SourceRow* row = SelectedSource(chosen, kind)) flags |= row->flag;
    const SourceRow* contacts = SelectedSource(chosen, SourceKind::Contacts);
    if (contacts) flags |= agent.stores->StatusFlagsOf(*contacts);
    return flags;
}
