// The requests that change the file system: create a folder, delete (for good or into the
// Trash), rename, set a file's times, and open a file with its application.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QUrl>
#include <cerrno>

#include "common/byte_io.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/diagnostics.h"
#include "dispatch/dispatcher.h"
#include "dispatch/file_request_helpers.h"
#include "dispatch/file_transfers.h"
#include "dispatch/request_context.h"
#include "platform/file_attributes.h"
#include "platform/local_name_codec.h"
#include "platform/path_map.h"
#include "platform/shell_operations.h"

namespace {

void Log(RequestContext& ctx, const QString& line)
{
    ctx.agent.log.WriteLogLine(line);
}

// The success line and reply, or the failure line, the path line(s) and AS_ERROR.
void Answer(RequestContext& ctx, bool ok, const QStringList& pathLines)
{
    const QString name = QString::fromLatin1(ctx.info.name);
    if (ok) {
        Log(ctx, name + QStringLiteral("...ok"));
        ctx.Reply();
        return;
    }
    Log(ctx, name + QStringLiteral("...error"));
    for (const QString& line : pathLines)
        Log(ctx, line);
    ctx.ReplyError();
}

void CreateDir(RequestContext& ctx)
{
    const QString path = ctx.PayloadText();
    const QString local = UsableLocalPathOf(ctx, path);
    // No parent folders are made: a missing parent is a failure, as is an existing folder.
    const bool ok = !local.isEmpty() && mkdir(EncodeLocalPath(local).constData(), 0777) == 0;
    Answer(ctx, ok, {path});
}

void DeleteFile(RequestContext& ctx)
{
    // The transfer files go first, so that a file being transferred can itself be deleted.
    ctx.agent.transfers->CloseAll();
    const QString path = ctx.PayloadText();
    const QString local = UsableLocalPathOf(ctx, path, PathUse::Whole);
    // A file or a link only; a folder is refused, as the platform's file deletion refuses it.
    const bool ok = !local.isEmpty() && unlink(EncodeLocalPath(local).constData()) == 0;
    Answer(ctx, ok, {path});
}

enum class Deletion { Permanent, ToTrash };

template <Deletion kind>
void ShellDelete(RequestContext& ctx)
{
    ctx.agent.transfers->CloseAll();
    QString path = ctx.PayloadText();
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const QString local = UsableLocalPathOf(ctx, path, PathUse::Whole);
    bool ok = false;
    // A drive's root is the whole volume, never one item to delete.
    if (!local.isEmpty() && !IsDriveRoot(local))
        ok = !(kind == Deletion::Permanent ? DeletePermanently(local) : MoveToTrash(local));
    Answer(ctx, ok, {path});
}

void RenameFile(RequestContext& ctx)
{
    // The old path ends at its zero unit; the new one starts right after it.
    ByteReader r(ctx.payload);
    std::size_t terminator = 0;
    while (terminator + 1 < ctx.payload.size() && GetU16(ctx.payload.data() + terminator) != 0)
        terminator += 2;
    if (terminator + 1 >= ctx.payload.size())
        throw MalformedData("the old path of the rename has no terminator");
    const QString oldPath = r.ZeroTerminatedUtf16();
    const QString newPath = r.ZeroTerminatedUtf16();

    const QString oldLocal = UsableLocalPathOf(ctx, oldPath, PathUse::Whole);
    const QString newLocal = oldLocal.isEmpty() ? QString() : UsableLocalPathOf(ctx, newPath);
    // A file open for a transfer (or a folder holding one) stays where it is: the open file
    // would otherwise go on under its old name and a later transfer would reach the moved file.
    if (!oldLocal.isEmpty() && !newLocal.isEmpty() && !IsDriveRoot(oldLocal) &&
        !ctx.agent.transfers->EitherHolds(oldLocal) && !RenameNoReplace(oldLocal, newLocal)) {
        ctx.Reply();
        return;
    }
    Log(ctx, QStringLiteral("AS_RENAME_FILE...error"));
    Log(ctx, oldPath);
    Log(ctx, newPath);
    ctx.ReplyError();
}

// Sets the last-write time of a file that this user may write. The creation (birth) time is
// kept by the file system alone and cannot be set here; a zero time leaves its time alone.
bool SetLastWriteTime(const QString& local, std::uint64_t lastWriteTime)
{
    const int fd = open(EncodeLocalPath(local).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
        if (lastWriteTime != 0)
            times[1] = UnixFromFileTime(lastWriteTime);
        ok = futimens(fd, times) == 0;
    }
    close(fd);
    return ok;
}

void SetFileTime(RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    const QString path = r.CountedUtf16();
    r.U64();  // creation time: see SetLastWriteTime
    const std::uint64_t lastWriteTime = r.U64();

    const QString local = UsableLocalPathOf(ctx, path);
    if (local.isEmpty() || !SetLastWriteTime(local, lastWriteTime)) {
        ctx.ReplyError();
        return;
    }
    ctx.Reply();
}

// A peer path, or anything else the desktop opens by URL (web and mail addresses).
std::optional<QUrl> UrlToOpen(RequestContext& ctx, const QString& text)
{
    if (text.size() >= 2 && text[1] == QLatin1Char(':')) {
        const QString local = UsableLocalPathOf(ctx, text);
        return local.isEmpty() ? std::nullopt : std::optional(LocalFileUrl(local));
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().size() < 2 || url.isLocalFile())
        return std::nullopt;
    return url;
}

void OpenFile(RequestContext& ctx)
{
    // The peer learns nothing of the outcome: the request is answered whatever happens.
    try {
        if (const std::optional<QUrl> url = UrlToOpen(ctx, ctx.PayloadText()))
            OpenWithDesktop(*url);
        else
            qCDebug(lcDispatch) << "AS_OPEN_FILE: nothing the desktop can open:" << ctx.PayloadText();
    } catch (const std::exception& e) {
        qCWarning(lcDispatch) << "AS_OPEN_FILE failed:" << e.what();
    }
    ctx.Reply();
}

}  // namespace

void RegisterFileOperationHandlers(Dispatcher& d)
{
    d.SetHandler(AS_CREATE_DIR, CreateDir);
    d.SetHandler(AS_DELETE_FILE, DeleteFile);
    d.SetHandler(AS_DEL_DIR, ShellDelete<Deletion::Permanent>);
    d.SetHandler(AS_DEL_DIR_TRASH, ShellDelete<Deletion::ToTrash>);
    d.SetHandler(AS_DEL_FILE_TRASH, ShellDelete<Deletion::ToTrash>);
    d.SetHandler(AS_RENAME_FILE, RenameFile);
    d.SetHandler(AS_SET_FILE_TIME, SetFileTime);
    d.SetHandler(AS_OPEN_FILE, OpenFile);
}
