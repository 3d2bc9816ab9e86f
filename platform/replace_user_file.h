#pragma once
#include <sys/types.h>

#include <QByteArray>
#include <QString>

// Rewriting a whole file that belongs to the user or to another program (a browser's bookmarks,
// a calendar, a contact), as WriteFileAtomically does: the new content goes to a flushed
// temporary file in the same folder, which is renamed over the old one, and a failure leaves the
// old file and no temporary one. The new file keeps the permission bits of the one it replaces,
// so that a file only its owner may read stays so.

// What becomes of a link at the path that is rewritten.
enum class LinkAtPath {
    // The file it leads to is replaced, so that the link and the user's file stay one; a link
    // that leads nowhere is replaced by the file.
    WriteThrough,
    // The link itself is replaced by the file, which keeps the mode of the file it led to.
    Replace,
};

// Replaces the file at `path` with `content`; `modeIfNew` is the mode of a file that was not
// there. Throws AgentError.
void ReplaceUserFile(const QString& path, const QByteArray& content, LinkAtPath link, mode_t modeIfNew);
