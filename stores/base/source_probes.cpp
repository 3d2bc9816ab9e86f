#include "stores/base/source_probes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTextStream>
#include <optional>

#include "common/errors.h"
#include "platform/automation_servers.h"
#include "platform/browser_probe.h"
#include "platform/platform_info.h"
#include "platform/regular_file_read.h"

namespace {

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

bool IsWindows(int major, int minor)
{
    const WindowsVersion v = ReportedWindowsVersion();
    return static_cast<int>(v.major) == major && (minor < 0 || static_cast<int>(v.minor) == minor);
}

}  // namespace

bool IsWindowsXp()
{
    return IsWindows(5, -1);
}

bool IsWindowsVista()
{
    return IsWindows(6, 0);
}

bool IsWindows7()
{
    return IsWindows(6, 1);
}

bool IsWindows7WithStickyNotes()
{
    const WindowsVersion v = ReportedWindowsVersion();
    return v.major == 6 && v.minor == 1 && v.productType &&
           (*v.productType == kProductUltimate || *v.productType == kProductHomePremium ||
            *v.productType == kProductBusiness);
}

bool IsOutlookPresent(int version)
{
    return CanCreateAutomationObject(QStringLiteral("Outlook.Application.%1").arg(version));
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

bool IsInternetExplorerInstalled()
{
    return DetectBrowsers().internetExplorer;
}

bool IsFirefoxInstalled()
{
    return DetectBrowsers().firefox;
}

bool IsChromeInstalled()
{
    return DetectBrowsers().chrome;
}

bool IsSafariInstalled()
{
    return DetectBrowsers().safari;
}

bool IsOperaInstalled()
{
    return DetectBrowsers().opera;
}

bool HasOperaMail()
{
    // Only a small regular file is read: a FIFO in its place would block the agent.
    std::optional<QByteArray> bytes;
    try {
        bytes = ReadRegularFile(OperaProfileDir() + QStringLiteral("/mail/accounts.ini"), 1024 * 1024);
    } catch (const AgentError&) {
        return false;
    }
    if (!bytes) return false;
    QTextStream in(*bytes);
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
    // Asked without opening it: only a regular file counts, and opening a FIFO could block.
    const QString path = OperaProfileDir() + QStringLiteral("/notes.adr");
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    return ::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) && ::access(native.constData(), R_OK | W_OK) == 0;
}

bool OperaHasContacts()
{
    return IsOperaInstalled() && HasOperaMail();
}

bool OperaHasNotes()
{
    return IsOperaInstalled() && HasOperaNotes();
}
