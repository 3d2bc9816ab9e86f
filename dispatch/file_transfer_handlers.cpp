// Reading and writing files in pieces, and the queries about drives, folders, files and free
// space. Paths arrive in the peer's Windows form and pass the path map.

#include <sys/statvfs.h>

#include "common/byte_io.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/file_request_helpers.h"
#include "dispatch/file_transfers.h"
#include "dispatch/request_context.h"
#include "platform/file_attributes.h"
#include "platform/local_name_codec.h"
#include "platform/path_map.h"
#include "platform/registry.h"
#include "wire/agent_host.h"
#include "wire/message_header.h"

namespace {

// Makes `file` the one opened by `peerPath`: an empty path or the remembered one keeps the
// open file; any other path closes it and opens the named file. False when no file is open
// afterwards.
bool SelectTransferFile(RequestContext& ctx, TransferFile& file, const QString& peerPath)
{
    if (!peerPath.isEmpty() && peerPath != file.Path()) {
        file.Close();
        const QString local = UsableLocalPathOf(ctx, peerPath);
        if (local.isEmpty() || !file.Open(peerPath, local))
            return false;
    }
    return file.IsOpen();
}

// A reply that could not be sent means the connection is gone: its transfer files are closed
// and the connection dropped, while the agent goes on serving the next peer.
void DropAfterSocketError(RequestContext& ctx, const char* line)
{
    ctx.agent.log.WriteLogLine(QString::fromLatin1(line));
    ctx.agent.transfers->CloseAll();
    ctx.agent.host().DropConnection();
}

void WriteFileTime(ByteWriter& w, std::uint64_t fileTime)
{
    w.U32(static_cast<std::uint32_t>(fileTime));
    w.U32(static_cast<std::uint32_t>(fileTime >> 32));
}

void WriteSize(ByteWriter& w, std::uint64_t size)
{
    w.U32(static_cast<std::uint32_t>(size));
    w.U32(static_cast<std::uint32_t>(size >> 32));
}

void GetFile(RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    const QString path = r.CountedUtf16();
    const std::uint64_t offset = r.U64();
    const std::uint16_t count = r.U16();

    TransferFile& file = ctx.agent.transfers->read;
    // The reply always carries `count` bytes: those past the end of the file stay zero.
    QByteArray data(count, '\0');
    if (!SelectTransferFile(ctx, file, path) || !file.ReadAt(offset, {reinterpret_cast<std::uint8_t*>(data.data()),
                                                                 static_cast<std::size_t>(count)})) {
        ctx.ReplyError();
        return;
    }
    const bool sent = ctx.Reply(std::move(data));
    if (!sent && count <= kMaxPayloadBytes)
        DropAfterSocketError(ctx, "AS_GET_FILE - SOCKET_ERROR");
}

void SetFile(RequestContext& ctx)
{
    // The whole request is read before anything is opened: a request that claims more data
    // than it carries changes no file.
    const QByteArray payload = ctx.TakeConsumingPayload();
    ByteReader r(payload);
    const QString path = r.CountedUtf16();
    const std::uint64_t offset = r.U64();
    const std::uint16_t count = r.U16();
    const ByteView data = r.Bytes(count);

    TransferFile& file = ctx.agent.transfers->write;
    const bool alreadyOpen = file.IsOpen() && file.Path() == path;
    if (!SelectTransferFile(ctx, file, path) || !file.WriteAt(offset, data)) {
        if (!alreadyOpen && file.Created()) file.RemoveCreated();
        ctx.agent.log.WriteLogLine(QStringLiteral("AS_SET_FILE - error"));
        ctx.ReplyError();
        return;
    }
    QByteArray reply;
    ByteWriter(reply).U16(count);
    if (!ctx.Reply(reply))
        DropAfterSocketError(ctx, "AS_SET_FILE - SOCKET_ERROR");
}

void CloseFiles(RequestContext& ctx)
{
    ctx.agent.transfers->CloseAll();
    ctx.Reply();
}

// The drive part of a listing path must be one of the drive roots exactly as listed ("C:\",
// '/' counting as '\'): the text up to and including the character after the first colon.
bool NamesDriveRoot(const QString& path)
{
    const qsizetype colon = path.indexOf(QLatin1Char(':'));
    QString root = colon < 0 ? path.left(1) : path.left(colon + 2);
    root.replace(QLatin1Char('/'), QLatin1Char('\\'));
    for (const DriveInfo& drive : Drives()) {
        if (drive.PeerRoot() == root)
            return true;
    }
    return false;
}

void GetDirList(RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    const QString path = r.CountedUtf16();
    if (!NamesDriveRoot(path)) {
        ctx.ReplyError();
        return;
    }
    const QString local = UsableLocalPathOf(ctx, path);
    const auto entries = local.isEmpty() ? std::nullopt : ListFolder(local);
    if (!entries) {
        // A folder that cannot be listed is answered with an empty listing, not a failure.
        ctx.Reply();
        return;
    }
    QByteArray reply;
    ByteWriter w(reply);
    for (const FolderEntry& entry : *entries) {
        const QString name = PeerNameOfLocalName(entry.name);
        w.U32(entry.facts.attributes);
        WriteSize(w, entry.facts.size);
        WriteFileTime(w, entry.facts.lastWriteTime);
        w.CountedUtf16(name);
    }
    w.U32(0);
    ctx.Reply(std::move(reply));
}

// The size and last-write time of the payload's file; `extended` adds its creation time and
// attributes. AS_ERROR when the path names no file.
void ReplyFileFacts(RequestContext& ctx, bool extended)
{
    const QString local = UsableLocalPathOf(ctx, ctx.PayloadText());
    const std::optional<FileFacts> facts = local.isEmpty() ? std::nullopt : ReadFileFacts(local);
    if (!facts) {
        ctx.ReplyError();
        return;
    }
    QByteArray reply;
    ByteWriter w(reply);
    WriteSize(w, facts->size);
    WriteFileTime(w, facts->lastWriteTime);
    if (extended) {
        WriteFileTime(w, facts->creationTime);
        w.U32(facts->attributes);
    }
    ctx.Reply(reply);
}

void GetFileInfo(RequestContext& ctx)
{
    ReplyFileFacts(ctx, false);
}

void GetFileInfoEx(RequestContext& ctx)
{
    ReplyFileFacts(ctx, true);
}

// The bytes of the drive's volume available to this user (not to the superuser).
std::optional<std::uint64_t> FreeBytesOfDrive(const QString& drive)
{
    if (drive.size() != 2 || drive[1] != QLatin1Char(':'))
        return std::nullopt;
    const std::optional<DriveInfo> info = DriveOfLetter(drive[0]);
    if (!info)
        return std::nullopt;
    struct statvfs vfs {};
    if (statvfs(EncodeLocalPath(info->mountPoint).constData(), &vfs) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

void GetFreeSize(RequestContext& ctx)
{
    const QString drive = ctx.PayloadText().left(2);
    const std::optional<std::uint64_t> free = FreeBytesOfDrive(drive);
    if (!free) {
        ctx.agent.log.WriteLogLine(QStringLiteral("AS_GET_FREE_SIZE - Error, Drive - "));
        ctx.agent.log.WriteLogLine(drive);
        ctx.ReplyError();
        return;
    }
    QByteArray reply;
    ByteWriter(reply).U64(*free);
    ctx.Reply(reply);
    ctx.agent.log.WriteLogLine(QStringLiteral("AS_GET_FREE_SIZE - ok"));
}

void GetDrives(RequestContext& ctx)
{
    QByteArray reply;
    ByteWriter w(reply);
    for (const DriveInfo& drive : Drives()) {
        w.U8(static_cast<std::uint8_t>(drive.letter));
        w.U32(static_cast<std::uint32_t>(drive.type));
    }
    ctx.Reply(reply);
}

// The raw data of a value of the emulated registry; its type is not sent. A value larger than
// one message does not fit this reply and is refused with AS_ERROR.
void GetRegValue(RequestContext& ctx)
{
    ByteReader r(ctx.payload);
    const std::uint32_t rootHandle = r.U32();
    const QString subKey = r.ZeroTerminatedUtf16();
    // A sub key without terminator leaves the value name empty: the key's default value.
    const QString valueName = r.ZeroTerminatedUtf16();

    const std::optional<RegistryRoot> root = RegistryRootFromHandle(rootHandle);
    const std::optional<RegistryKey> key = root ? RegistryKey::Open(*root, subKey) : std::nullopt;
    const std::optional<RegistryValue> value = key ? key->ReadValue(valueName) : std::nullopt;
    if (!value) {
        ctx.ReplyError();
        return;
    }
    ctx.Reply(value->data);
}

}  // namespace

void RegisterFileTransferHandlers(Dispatcher& d)
{
    d.SetHandler(AS_GET_FILE, GetFile);
    d.SetHandler(AS_SET_FILE, SetFile);
    d.SetHandler(AS_CLOSE_FILES, CloseFiles);
    d.SetHandler(AS_GET_DIR_LIST, GetDirList);
    d.SetHandler(AS_GET_FILE_INFO, GetFileInfo);
    d.SetHandler(AS_GET_FILE_INFO_EX, GetFileInfoEx);
    d.SetHandler(AS_GET_FREE_SIZE, GetFreeSize);
    d.SetHandler(AS_GET_DRIVES, GetDrives);
    d.SetHandler(AS_GET_REG_VALUE, GetRegValue);
}
