#pragma once
// The single-instance guard: two lock files named by the install identifier. The session one
// (in $XDG_RUNTIME_DIR) keeps a second agent of the same session from starting; the global one
// (in /tmp, open to every user) only marks that an agent runs on this machine.

#include <QString>

inline constexpr char kInstallMutexName[] = "_7C52A1E0-3B9F-4d16-8E47-D2B05F9C6A13";
inline constexpr char kGlobalInstallMutexName[] = "Global\\7C52A1E0-3B9F-4d16-8E47-D2B05F9C6A13";

// A mutex name as a plain file name: the namespace separator becomes '_'.
QString LockFileName(const QString& mutexName);

class InstallLock {
public:
    // The folders default to the session's runtime folder and /tmp; tests pass their own.
    InstallLock();
    InstallLock(QString sessionDir, QString globalDir);
    ~InstallLock();
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

    enum class Outcome {
        Taken,          // this process is the session's agent
        HeldElsewhere,  // another agent of the session holds it (or its file is not ours)
    };
    // Takes the session lock, then opens the global one. A global lock file that cannot be had
    // is no reason to stop: `globalError` then receives the errno (0 otherwise).
    Outcome Acquire(int* globalError = nullptr);
    // Closes both files, which releases the locks.
    void Release();

    QString SessionLockPath() const;
    QString GlobalLockPath() const;

private:
    QString sessionDir_;
    QString globalDir_;
    int sessionFd_ = -1;
    int globalFd_ = -1;
};
