#pragma once
// A folder whose files the agent reads and writes on a peer's word or on keys it stored (a
// browser's favourites, a contacts folder, a program's data folder): every path it hands out
// lies below its root, and no link leads a path out of it. Made for file-backed stores, which
// keep their formats apart and use this for the storage.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <sys/types.h>

class ConfinedFolder {
public:
    // `root` need not exist yet.
    explicit ConfinedFolder(const QString& root);

    const QString& Root() const { return root_; }

    // The names of a relative path as the peer sends it, "/" or "\" between them, one trailing
    // separator allowed; an empty path is the root itself. Throws AgentError for an absolute
    // path, a drive ("C:"), "." or "..", an empty name between two separators, a NUL and an
    // unpaired UTF-16 surrogate.
    static QStringList SplitRelativePath(const QString& path);

    // The path of `names` below the root. Throws AgentError for a name SplitRelativePath would
    // refuse and for a way on which a link leads out of the root.
    QString Resolve(const QStringList& names) const;
    // The names below the root of an absolute path (a stored key); throws AgentError for a path
    // that is not below the root or that Resolve would refuse.
    QStringList NamesOf(const QString& path) const;

    // Creates the root and the folders of `names` that are missing (refused as Resolve refuses)
    // and returns the deepest. A folder that cannot be made is passed over: writing in it tells.
    QString MakeFolders(const QStringList& names) const;

    // A path in `folder` for a new file: "<stem><ending>", else "<stem> (1)<ending>",
    // "<stem> (2)<ending>", ... while the name is taken (by anything, a dangling link too).
    static QString FreeFileName(const QString& folder, const QString& stem, const QString& ending);
    // Creates a file that must not exist yet and writes it through to the disk, so that removing
    // an older copy afterwards can never leave neither; its permissions follow the umask.
    // Throws AgentError (and leaves no file).
    static void WriteNewFile(const QString& path, const QByteArray& content);
    // Replaces a file's content atomically, keeping its permission bits (ReplaceUserFile; a link
    // at `path` is replaced): a user's file readable by its owner only stays so. `mode` is for a
    // file that is not there.
    static void ReplaceFile(const QString& path, const QByteArray& content, mode_t mode = 0644);

private:
    // Throws unless every existing folder of the way (and the file, when it exists) resolves
    // within the root.
    void RequireNoLinkOut(const QString& path) const;

    QString root_;
};
