#include "platform/agent_file_names.h"

#include <QStringList>

#include "common/errors.h"

namespace {

bool EndsWithNoCase(const QString& name, const QString& end) { return name.endsWith(end, Qt::CaseInsensitive); }

bool IsOwnFile(const QString& name)
{
    static const QStringList kOwn = {
        QStringLiteral("TwinLark.log"),     QStringLiteral("logSocket.log"),   QStringLiteral("iplist.dat"),
        QStringLiteral("MediaLibrary.xml"), QStringLiteral("AddressBook.wab"),
    };
    for (const QString& own : kOwn) {
        if (name.compare(own, Qt::CaseInsensitive) == 0) return true;
        // A rotated log, a database's journal: files that belong with the own file.
        if (name.startsWith(own, Qt::CaseInsensitive) && name.size() > own.size() &&
            (name[own.size()] == QLatin1Char('.') || name[own.size()] == QLatin1Char('-')))
            return true;
    }
    return false;
}

bool IsItemStateName(const QString& name)
{
    return EndsWithNoCase(name, QStringLiteral(".Contact")) || EndsWithNoCase(name, QStringLiteral(".Appointment")) ||
           EndsWithNoCase(name, QStringLiteral(".Task"));
}

bool IsBookmarkStateName(const QString& name, const QStringList& parts)
{
    for (const QString& part : parts)
        if (!part.isEmpty() && name.contains(part, Qt::CaseInsensitive)) return true;
    return false;
}

bool IsIdentifierMapName(const QString& name)
{
    return name.startsWith(QStringLiteral("ids_"), Qt::CaseInsensitive) && EndsWithNoCase(name, QStringLiteral(".xml"));
}

}  // namespace

bool ClashesWithAnotherAgentFile(const QString& name, AgentFileFamily family, const QStringList& bookmarkStateParts)
{
    if (IsOwnFile(name)) return true;
    if (family != AgentFileFamily::ItemState && IsItemStateName(name)) return true;
    if (family != AgentFileFamily::BookmarkState && IsBookmarkStateName(name, bookmarkStateParts)) return true;
    if (family != AgentFileFamily::IdentifierMap && IsIdentifierMapName(name)) return true;
    // A notes state file has no mark of its own: any name of the other families would be one,
    // and those families' marks above keep notes names out of theirs.
    return false;
}

void RequireOwnAgentFileName(const QString& name, AgentFileFamily family, const QStringList& bookmarkStateParts,
                             const char* what)
{
    if (ClashesWithAnotherAgentFile(name, family, bookmarkStateParts))
        throw AgentError(std::string("refused ") + what + " \"" + name.left(120).toStdString() +
                         "\": it would replace another of the agent's files");
}
