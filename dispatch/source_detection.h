#pragma once
// Which data sources this machine offers, and the three codes that choose among them: the
// AgentCode (contacts, appointments, tasks), the NotesAgentCode and the BrowserKind. Detected
// at start-up, offered, set and reported through the SourceFlags word of the source requests,
// all read from the rows of the source catalogue (stores/catalog/source_catalog.h).

#include <cstdint>

class Agent;
class StoreSet;

// Start-up detection. `current` is what the code held before (returned unchanged when the
// settings cannot be opened). A stored "AgentID" below the codes of the versioned program's
// rows (StoredAgentCodeOutlivesDetection) wins over the detected code, so the user's choice of
// another source survives restarts while the newest version present is detected anew; otherwise
// the detected code is stored.
std::uint32_t DetectAgent(std::uint32_t current);
// The notes source is detected anew at every start; "notesAgentID" is written only when missing.
std::uint32_t DetectNotesAgent(std::uint32_t current);
// The stored "browserID" when it names an installed browser (other than Internet Explorer),
// else the first installed one in the order Internet Explorer, Firefox, Chrome, Opera, Safari;
// with none installed the stored value, or 0 when there is none. Never an error code.
std::uint32_t ReadBrowserId();
// All three at start-up, with the log line "office version %d".
void DetectDataSources(Agent& agent);

// The SourceFlags of what this machine offers.
std::uint32_t AvailableSourceFlags(const StoreSet& stores);
// Applies the peer's choice, storing each code as it is set (a later bit overrides an earlier
// one of the same code).
void ApplySourceFlags(Agent& agent, std::uint32_t flags);
// The SourceFlags of the current choice; the browser bit is what ReadBrowserId gives.
std::uint32_t CurrentSourceFlags(const Agent& agent);
