#pragma once
#include <QByteArray>
#include <QString>
#include <QUrl>
#include <system_error>

// What the Windows shell does for the file requests: delete for good, delete into the
// recycle bin (here the freedesktop Trash), rename without replacing, open with the
// associated application. Paths are local paths; each operation reports its failure as an
// error code (empty on success) and never asks the user anything.

// Deletes a file, a symbolic link or a folder with everything in it. Symbolic links are
// removed, never followed, and the tree walk does not enter other mounted volumes (their
// mount points stay, and the deletion reports failure). What can be deleted is deleted.
std::error_code DeletePermanently(const QString& path);

// Moves a file, link or folder into the user's Trash (the Trash of the volume that holds it
// where the home Trash is on another volume), with its .trashinfo record.
std::error_code MoveToTrash(const QString& path);

// Renames or moves `from` to `to`; an existing `to` is never replaced (the result is then
// file_exists and both stay as they were). A file may move to another volume (copied, then
// the original removed); a folder may not.
std::error_code RenameNoReplace(const QString& from, const QString& to);

// Opens URLs (local files as file: URLs) with the desktop's handler for them. The agent uses
// the desktop's own handler; tests install their own to see what would be opened.
class DesktopOpener {
public:
    virtual ~DesktopOpener() = default;
    // True when a handler was started.
    virtual bool Open(const QUrl& url) = 0;
};

// The file: URL of a local path (absolute), percent-encoded from the exact bytes of its name.
// Throws AgentError for a text that names no local file (see EncodeLocalPath).
QUrl LocalFileUrl(const QString& path);

// Hands the URL to the current opener. No command line is ever formed from it.
bool OpenWithDesktop(const QUrl& url);

// Replaces the opener (nullptr returns to the desktop's); the caller keeps ownership.
void SetDesktopOpenerForTesting(DesktopOpener* opener);
