#include "platform/replace_user_file.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include "platform/atomic_file.h"

namespace {

// Where a rewrite through a link at `path` goes: the file it leads to; `path` itself when it is
// no link or leads nowhere.
QString FileLinkedTo(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        if (!target.isEmpty()) return target;
    }
    return path;
}

}  // namespace

void ReplaceUserFile(const QString& path, const QByteArray& content, LinkAtPath link, mode_t modeIfNew)
{
    const QString target = link == LinkAtPath::WriteThrough ? FileLinkedTo(path) : path;
    // Looked up through a link, so that a replaced link hands on its file's mode.
    struct stat st {};
    const bool exists = ::stat(QFile::encodeName(target).constData(), &st) == 0;
    WriteFileAtomically(target, content, exists ? st.st_mode & 07777 : modeIfNew);
}
