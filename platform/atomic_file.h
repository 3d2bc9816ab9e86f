#pragma once
#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <functional>

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

// Writes a file that must not exist yet, with the same crash safety: the complete temporary file
// takes the name only where nothing has it (no replacing rename). False, with nothing left behind,
// when `path` was taken by then; other failures throw AgentError.
bool WriteNewFileAtomically(const QString& path, const QByteArray& content, mode_t mode = 0644);

// Tests: while one lives, `hook` is called with the target path once the temporary file is
// complete and before it takes that name, so that a file appearing meanwhile can be staged.
class ScopedAtomicWriteHook {
public:
    explicit ScopedAtomicWriteHook(std::function<void(const QString& path)> hook);
    ~ScopedAtomicWriteHook();
    ScopedAtomicWriteHook(const ScopedAtomicWriteHook&) = delete;
    ScopedAtomicWriteHook& operator=(const ScopedAtomicWriteHook&) = delete;
};
