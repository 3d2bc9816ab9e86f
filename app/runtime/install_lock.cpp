#include "app/runtime/install_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "platform/known_folders.h"

QString LockFileName(const QString& mutexName)
{
    QString name = mutexName;
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return name;
}

InstallLock::InstallLock() : InstallLock(KnownFolderPath(KnownFolder::RuntimeDir), QStringLiteral("/tmp")) {}

InstallLock::InstallLock(QString sessionDir, QString globalDir)
    : sessionDir_(std::move(sessionDir)), globalDir_(std::move(globalDir))
{
}

InstallLock::~InstallLock()
{
    Release();
}

QString InstallLock::SessionLockPath() const
{
    return sessionDir_ + QLatin1Char('/') + LockFileName(QString::fromLatin1(kInstallMutexName));
}

QString InstallLock::GlobalLockPath() const
{
    return globalDir_ + QLatin1Char('/') + LockFileName(QString::fromLatin1(kGlobalInstallMutexName));
}

InstallLock::Outcome InstallLock::Acquire(int* globalError)
{
    if (globalError) *globalError = 0;
    Release();

    const QByteArray sessionPath = QFile::encodeName(SessionLockPath());
    sessionFd_ = ::open(sessionPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (sessionFd_ < 0) return Outcome::HeldElsewhere;  // a file we may not open is not ours to take
    if (::flock(sessionFd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(sessionFd_);
        sessionFd_ = -1;
        return Outcome::HeldElsewhere;
    }

    // Every user must be able to open the global file, so it is made world-writable; in a
    // sticky /tmp an existing file of another user can only be opened without O_CREAT.
    const QByteArray globalPath = QFile::encodeName(GlobalLockPath());
    globalFd_ = ::open(globalPath.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (globalFd_ < 0 && errno == ENOENT) {
        globalFd_ = ::open(globalPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (globalFd_ >= 0)
            (void)::fchmod(globalFd_, 0666);
        else if (errno == EEXIST)
            globalFd_ = ::open(globalPath.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    }
    if (globalFd_ < 0) {
        if (globalError) *globalError = errno;
    } else {
        (void)::flock(globalFd_, LOCK_SH | LOCK_NB);
    }
    return Outcome::Taken;
}

void InstallLock::Release()
{
    if (sessionFd_ >= 0) ::close(sessionFd_);
    if (globalFd_ >= 0) ::close(globalFd_);
    sessionFd_ = globalFd_ = -1;
}
