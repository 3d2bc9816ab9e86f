#include "platform/agent_folders.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include <QByteArray>
#include <QList>

#include "platform/known_folders.h"
#include "platform/local_name_codec.h"

namespace {

// The path with every link and ".." of its existing part resolved. The part that does not
// exist yet (a file about to be created) is appended as written: it holds no link to follow.
// Empty when the path cannot be encoded or is not absolute.
QByteArray CanonicalPath(const QString& path)
{
    QByteArray bytes;
    try {
        bytes = EncodeLocalPath(path);
    } catch (...) {
        return {};
    }
    if (!bytes.startsWith('/'))
        return {};
    QByteArray head = bytes;
    QList<QByteArray> missing;  // components below `head`, innermost first
    while (true) {
        std::unique_ptr<char, decltype(&std::free)> resolved(realpath(head.constData(), nullptr), &std::free);
        if (resolved) {
            QByteArray out(resolved.get());
            for (qsizetype i = missing.size() - 1; i >= 0; --i) {
                if (missing[i].isEmpty() || missing[i] == ".")
                    continue;
                if (!out.endsWith('/'))
                    out += '/';
                out += missing[i];
            }
            return out;
        }
        const qsizetype slash = head.lastIndexOf('/');
        if (slash <= 0) {
            if (head == "/")
                return {};
            missing.append(head.mid(slash + 1));
            head = "/";
            continue;
        }
        missing.append(head.mid(slash + 1));
        head.truncate(slash);
    }
}

QList<QByteArray> AgentFolders()
{
    QList<QByteArray> folders;
    for (const KnownFolder base : {KnownFolder::AppData, KnownFolder::Config}) {
        const QString root = KnownFolderPath(base);
        if (root.isEmpty())
            continue;
        const QByteArray canonical = CanonicalPath(root + QStringLiteral("/TwinLark"));
        if (!canonical.isEmpty())
            folders.append(canonical);
    }
    return folders;
}

bool IsSameOrBelow(const QByteArray& path, const QByteArray& folder)
{
    if (path == folder)
        return true;
    if (folder == "/")
        return true;
    return path.size() > folder.size() && path.startsWith(folder) && path[folder.size()] == '/';
}

}  // namespace

bool IsInAgentFolders(const QString& localPath)
{
    const QByteArray path = CanonicalPath(localPath);
    if (path.isEmpty())
        return false;
    for (const QByteArray& folder : AgentFolders())
        if (IsSameOrBelow(path, folder))
            return true;
    return false;
}

bool IsInOrHoldsAgentFolders(const QString& localPath)
{
    const QByteArray path = CanonicalPath(localPath);
    if (path.isEmpty())
        return false;
    for (const QByteArray& folder : AgentFolders())
        if (IsSameOrBelow(path, folder) || IsSameOrBelow(folder, path))
            return true;
    return false;
}
