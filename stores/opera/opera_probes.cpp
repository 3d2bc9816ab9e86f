#include "stores/opera/opera_probes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <QTextStream>
#include <cstdint>
#include <optional>

#include "common/errors.h"
#include "platform/browser_probe.h"
#include "platform/regular_file_read.h"

namespace {

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

}  // namespace

bool IsOperaInstalled()
{
    const BrowserFootprint found = ProbeBrowsers();
    return found.operaProfile && found.operaVersion >= kOperaMinimum;
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
