#pragma once
// Reading files that others put in the user's folders (a browser's profile, favourites, ini
// files): a FIFO, a device or a file of a pseudo file system named like one must never stall
// the agent or fill its memory, so the file is opened without blocking, its type is taken from
// the descriptor it was opened as, and no more than the caller's cap is read, whatever size the
// system reports.

#include <QByteArray>
#include <QString>

// The whole content of a regular file of at most `maxBytes` bytes. Throws AgentError naming the
// file and the reason: missing, unreadable, not a regular file, or longer than the cap.
QByteArray ReadRegularFile(const QString& path, qint64 maxBytes);

// Throws AgentError unless `path` opens as a regular file (a missing file is refused too).
// For files another library opens by name (an SQLite database), checked just before it does.
void RequireRegularFile(const QString& path);
