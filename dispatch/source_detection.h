#pragma once
// Which data sources this machine offers, and the three codes that choose among them: the
// AgentCode (contacts, appointments, tasks), the NotesAgentCode and the BrowserKind. Detected
// at start-up, offered, set and reported through the SourceFlags word of the source requests.

#include <QString>
#include <array>
#include <cstdint>

class Agent;
class StoreSet;

// The Outlook object-model versions with their automation ProgIDs, oldest first: the order in
// which every detection tries them, so that the newest present version wins.
struct OutlookVersionInfo {
    std::uint32_t agentCode;   // 8, 9, 11, 12, 14
    std::uint32_t notesCode;   // 4, 8, 16, 32, 64
    std::uint32_t sourceFlag;  // bit 2 .. 6
    const char* progId;
};
const std::array<OutlookVersionInfo, 5>& OutlookVersions();
// Whether that version's automation object can be created (the object is released at once).
bool IsOutlookVersionPresent(const OutlookVersionInfo& version);

struct DetectedBrowsers {
    bool firefox = false;  // Firefox 4 or later
    bool chrome = false;
    bool internetExplorer = false;
    bool opera = false;  // Opera 10 or later
    bool safari = false;
};
DetectedBrowsers DetectBrowsers();

// Opera 10 or later.
bool IsOperaInstalled();
// Opera's mail has an account ("Count=" above 0 in its accounts.ini).
bool HasOperaMail();
// Opera's notes file exists and opens for reading and writing.
bool HasOperaNotes();

// Start-up detection. `current` is what the code held before (returned unchanged when the
// settings cannot be opened). A stored "AgentID" of 0 to 7 wins over the detected code, so a
// Windows or Opera choice survives restarts while Outlook is detected anew; otherwise the
// detected code is stored.
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

// Forgets the loaded records of the Windows Contacts store of the current contacts source.
void ResetWindowsContactsStore(Agent& agent);
