#include "dispatch/source_detection.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include "common/errors.h"
#include "core/log_file.h"
#include "core/settings.h"
#include "dispatch/agent.h"
#include "dispatch/source_flags.h"
#include "platform/automation_servers.h"
#include "platform/browser_probe.h"
#include "platform/platform_info.h"
#include "stores/store_roles.h"
#include "stores/store_set.h"

namespace {

const QString kAgentIdValue = QStringLiteral("AgentID");
const QString kNotesAgentIdValue = QStringLiteral("notesAgentID");
const QString kBrowserIdValue = QStringLiteral("browserID");

constexpr std::uint32_t kFirefoxMinimum = 4u << 16;
constexpr std::uint32_t kOperaMinimum = 10u << 16;

// The platform's StrToIntW: an optional sign and the decimal digits that follow; 0 when the text
// does not start with a number.
long long LeadingInteger(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    long long value = 0;
    for (; i < text.size() && text[i].isDigit() && text[i].unicode() < 0x80; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > 0x7FFFFFFF) value = 0x7FFFFFFF;
    }
    return negative ? -value : value;
}

std::uint32_t WindowsAgentCode(const WindowsVersion& v, std::uint32_t current)
{
    if (v.major == 5) return 0;
    if (v.major == 6 && v.minor == 0) return 1;
    if (v.major == 6 && v.minor == 1) return 2;
    return current;
}

}  // namespace

const std::array<OutlookVersionInfo, 5>& OutlookVersions()
{
    static const std::array<OutlookVersionInfo, 5> versions = {{
        {8, 4, SourceFlags::kOutlook8, "Outlook.Application.8"},
        {9, 8, SourceFlags::kOutlook9, "Outlook.Application.9"},
        {11, 16, SourceFlags::kOutlook11, "Outlook.Application.11"},
        {12, 32, SourceFlags::kOutlook12, "Outlook.Application.12"},
        {14, 64, SourceFlags::kOutlook14, "Outlook.Application.14"},
    }};
    return versions;
}

bool IsOutlookVersionPresent(const OutlookVersionInfo& version)
{
    return CanCreateAutomationObject(QString::fromLatin1(version.progId));
}

DetectedBrowsers DetectBrowsers()
{
    const BrowserFootprint found = ProbeBrowsers();
    DetectedBrowsers browsers;
    browsers.internetExplorer = found.internetExplorerFavorites;
    browsers.firefox = found.firefoxProfiles && found.firefoxVersion >= kFirefoxMinimum;
    browsers.opera = found.operaProfile && found.operaVersion >= kOperaMinimum;
    browsers.chrome = found.chromeProfile;
    browsers.safari = found.safariData;
    return browsers;
}

bool IsOperaInstalled()
{
    const BrowserFootprint found = ProbeBrowsers();
    return found.operaProfile && found.operaVersion >= kOperaMinimum;
}

bool HasOperaMail()
{
    QFile file(OperaProfileDir() + QStringLiteral("/mail/accounts.ini"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (!line.startsWith(QLatin1String("Count="))) continue;
        const long long count = LeadingInteger(line.mid(6));
        if (count > 0) return true;
        if (count == 0) return false;
    }
    return false;
}

bool HasOperaNotes()
{
    const QString path = OperaProfileDir() + QStringLiteral("/notes.adr");
    if (!QFileInfo(path).isFile()) return false;
    QFile file(path);
    return file.open(QIODevice::ReadWrite);
}

std::uint32_t DetectAgent(std::uint32_t current)
{
    const WindowsVersion windows = ReportedWindowsVersion();
    if (!CreateSettingsKey()) return current;
    std::uint32_t code = WindowsAgentCode(windows, current);
    if (IsOperaInstalled() && HasOperaMail()) code = 7;
    for (const OutlookVersionInfo& v : OutlookVersions())
        if (IsOutlookVersionPresent(v)) code = v.agentCode;
    bool found = false;
    const std::uint32_t stored = ReadSettingsDword(kAgentIdValue, 0, &found);
    if (found && stored <= 7) return stored;
    WriteAgentValue(kAgentIdValue, code);
    return code;
}

std::uint32_t DetectNotesAgent(std::uint32_t current)
{
    const WindowsVersion windows = ReportedWindowsVersion();
    if (!CreateSettingsKey()) return current;
    std::uint32_t code = current;
    if (windows.major == 6 && windows.minor == 1) code = kStickyNotesCode;
    if (IsOperaInstalled() && HasOperaNotes()) code = kOperaNotesCode;
    for (const OutlookVersionInfo& v : OutlookVersions())
        if (IsOutlookVersionPresent(v)) code = v.notesCode;
    bool found = false;
    ReadSettingsDword(kNotesAgentIdValue, 0, &found);
    if (!found) WriteAgentValue(kNotesAgentIdValue, code);
    return code;
}

std::uint32_t ReadBrowserId()
{
    const DetectedBrowsers browsers = DetectBrowsers();
    bool found = false;
    std::uint32_t stored = 0;
    // Without the settings key there is no stored choice; the fallback order decides.
    if (CreateSettingsKey()) stored = ReadSettingsDword(kBrowserIdValue, 0, &found);
    if (found) {
        if ((stored == kBrowserFirefox && browsers.firefox) || (stored == kBrowserOpera && browsers.opera) ||
            (stored == kBrowserChrome && browsers.chrome) || (stored == kBrowserSafari && browsers.safari))
            return stored;
    }
    if (browsers.internetExplorer) return kBrowserInternetExplorer;
    if (browsers.firefox) return kBrowserFirefox;
    if (browsers.chrome) return kBrowserChrome;
    if (browsers.opera) return kBrowserOpera;
    if (browsers.safari) return kBrowserSafari;
    return found ? stored : kBrowserInternetExplorer;
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
    std::uint32_t flags = 0;
    const WindowsVersion windows = ReportedWindowsVersion();
    if (windows.major == 5) flags |= SourceFlags::kWindowsXpAddressBook;
    if (windows.major == 6 && windows.minor == 0) flags |= SourceFlags::kWindowsVistaContacts;
    if (windows.major == 6 && windows.minor == 1) {
        flags |= SourceFlags::kWindows7Contacts;
        if (windows.productType &&
            (*windows.productType == kProductUltimate || *windows.productType == kProductHomePremium ||
             *windows.productType == kProductBusiness))
            flags |= SourceFlags::kStickyNotes;
    }
    for (const OutlookVersionInfo& v : OutlookVersions())
        if (IsOutlookVersionPresent(v)) flags |= v.sourceFlag | SourceFlags::kOutlookNotes;
    const DetectedBrowsers browsers = DetectBrowsers();
    if (browsers.internetExplorer) flags |= SourceFlags::kInternetExplorer;
    if (browsers.firefox) flags |= SourceFlags::kFirefox;
    if (browsers.chrome) flags |= SourceFlags::kChrome;
    if (browsers.safari) flags |= SourceFlags::kSafari;
    if (browsers.opera) {
        flags |= SourceFlags::kOpera;
        if (HasOperaMail()) flags |= SourceFlags::kOperaContacts;
        if (HasOperaNotes()) flags |= SourceFlags::kOperaNotes;
    }
    if (stores.IsUsingExchangeServer()) flags |= SourceFlags::kExchange;
    return flags;
}

void ApplySourceFlags(Agent& agent, std::uint32_t flags)
{
    // The peer's choice is kept even when the settings key has gone missing since start-up.
    CreateSettingsKey();
    const auto setAgent = [&](std::uint32_t bit, std::uint32_t code) {
        if (flags & bit) {
            agent.agentId = code;
            WriteAgentValue(kAgentIdValue, code);
        }
    };
    setAgent(SourceFlags::kWindowsXpAddressBook, 0);
    setAgent(SourceFlags::kWindowsVistaContacts, 1);
    setAgent(SourceFlags::kWindows7Contacts, 2);
    setAgent(SourceFlags::kOperaContacts, 7);

    const auto setNotes = [&](std::uint32_t bit, std::uint32_t code) {
        if (flags & bit) {
            agent.notesAgentId = code;
            WriteAgentValue(kNotesAgentIdValue, code);
        }
    };
    setNotes(SourceFlags::kStickyNotes, kStickyNotesCode);
    setNotes(SourceFlags::kOperaNotes, kOperaNotesCode);

    if (flags & SourceFlags::kOutlookNotes) {
        // A version that fails to start counts as absent; the others are still tried.
        for (const OutlookVersionInfo& v : OutlookVersions())
            if (IsOutlookVersionPresent(v)) agent.notesAgentId = v.notesCode;
        WriteAgentValue(kNotesAgentIdValue, agent.notesAgentId);
    }

    for (const OutlookVersionInfo& v : OutlookVersions()) setAgent(v.sourceFlag, v.agentCode);

    const std::pair<std::uint32_t, std::uint32_t> browserBits[] = {
        {SourceFlags::kInternetExplorer, kBrowserInternetExplorer},
        {SourceFlags::kOpera, kBrowserOpera},
        {SourceFlags::kFirefox, kBrowserFirefox},
        {SourceFlags::kChrome, kBrowserChrome},
        {SourceFlags::kSafari, kBrowserSafari},
    };
    for (const auto& [bit, kind] : browserBits)
        if (flags & bit) agent.browserId = kind;
    WriteBrowserId(agent.browserId);
}

std::uint32_t CurrentSourceFlags(const Agent& agent)
{
    std::uint32_t flags = 0;
    switch (agent.agentId) {
        case 0:
            flags |= SourceFlags::kWindowsXpAddressBook;
            break;
        case 1:
            flags |= SourceFlags::kWindowsVistaContacts;
            break;
        case 2:
            flags |= SourceFlags::kWindows7Contacts;
            break;
        case 7:
            flags |= SourceFlags::kOperaContacts;
            break;
        default:
            for (const OutlookVersionInfo& v : OutlookVersions())
                if (agent.agentId == v.agentCode) flags |= v.sourceFlag;
    }
    if (agent.notesAgentId == kOperaNotesCode) flags |= SourceFlags::kOperaNotes;
    if (agent.notesAgentId == kStickyNotesCode) flags |= SourceFlags::kStickyNotes;
    if (IsOutlookNotesCode(agent.notesAgentId)) flags |= SourceFlags::kOutlookNotes;
    switch (ReadBrowserId()) {
        case kBrowserInternetExplorer:
            flags |= SourceFlags::kInternetExplorer;
            break;
        case kBrowserOpera:
            flags |= SourceFlags::kOpera;
            break;
        case kBrowserFirefox:
            flags |= SourceFlags::kFirefox;
            break;
        case kBrowserChrome:
            flags |= SourceFlags::kChrome;
            break;
        case kBrowserSafari:
            flags |= SourceFlags::kSafari;
            break;
        default:
            break;
    }
    if (IsMappedOutlookAgentCode(agent.agentId) && agent.stores->IsUsingExchangeServer())
        flags |= SourceFlags::kExchange;
    return flags;
}

void ResetWindowsContactsStore(Agent& agent)
{
    QString failure;
    if (!agent.stores->ClearWindowsContactsRecords(agent.agentId, &failure))
        throw AgentError(failure.toStdString());
}
