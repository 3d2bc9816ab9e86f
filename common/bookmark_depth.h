#pragma once
#include <QString>
#include <string>

#include "common/errors.h"

// How many folders deep a peer's bookmark Path may reach. Every store that makes folders from a
// Path refuses a deeper one before it writes anything: Chrome reads no bookmarks file nested
// past 200 levels (each folder costs two), the stores' own readers have limits of their own,
// and nobody keeps bookmarks this deep on purpose.
inline constexpr int kMaxBookmarkFolderDepth = 64;

// Throws AgentError when `folders`, the number of folders `path` names, is past the limit.
inline void RequireBookmarkFolderDepth(qsizetype folders, const QString& path)
{
    if (folders > kMaxBookmarkFolderDepth)
        throw AgentError("refused a bookmark Path of " + std::to_string(folders) + " folders (at most " +
                         std::to_string(kMaxBookmarkFolderDepth) + "): \"" + path.left(200).toStdString() + "...\"");
}
