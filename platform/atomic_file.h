#pragma once
#include <QByteArray>
#include <QString>
#include <sys/types.h>

// Replaces a file's whole content so that a crash at any moment leaves either the old or the
// new content: the bytes go to a temporary file in the same folder, are flushed to disk, and
// the temporary file is renamed over the target. On failure the old file stays as it was
// and AgentError is thrown. `mode` applies to a newly created file and to the replacement.
void WriteFileAtomically(const QString& path, const QByteArray& content, mode_t mode = 0644);

// The temporary files that writes into `folder` left behind when the agent was killed during
// them ("<name>.tmp-XXXXXX", regular files of this user) are removed; the number removed. The
// first write into a folder in a run does this by itself.
int RemoveLeftoverTemporaryFiles(const QString& folder);

// The same, reporting failure as false instead of throwing.
bool TryWriteFileAtomically(const QString& path, const QByteArray& content, mode_t mode = 0644);
