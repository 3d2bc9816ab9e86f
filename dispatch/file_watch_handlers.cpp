// Folder watching: the peer names folders to watch, polls whether anything changed below them
// and fetches the folders to rescan.
#include <exception>

#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/file_request_helpers.h"
#include "dispatch/file_watch_manager.h"
#include "dispatch/request_context.h"
#include "wire/message_header.h"

namespace {

// The workers never write the log themselves: what they have to say waits in the manager
// until a request on this thread passes by.
void WriteWatchMessages(RequestContext& ctx)
{
    for (const QString& line : ctx.agent.watches->TakeLogMessages()) ctx.agent.log.WriteLogLine(line);
}

QString ReasonOf(const std::exception& e)
{
    return QStringLiteral("\treason: ") + QString::fromUtf8(e.what());
}

// The poll: the code of AS_GETFILECHANGES while changes wait.
void Status(RequestContext& ctx)
{
    WriteWatchMessages(ctx);
    if (!ctx.agent.watches->HasChanges()) {
        ctx.Reply();
        return;
    }
    QByteArray payload;
    ByteWriter(payload).U32(AS_GETFILECHANGES);
    ctx.Reply(payload);
}

// A failure names the request and, on a line of its own, the folder it was about.
template <typename Action>
void WithPathOnFailure(RequestContext& ctx, const char* errorLine, const QString& path, Action action)
{
    try {
        action();
    } catch (const std::exception& e) {
        ctx.agent.log.WriteLogLine(QString::fromUtf8(errorLine));
        ctx.agent.log.WriteLogLine(path);
        ctx.agent.log.WriteLogLine(ReasonOf(e));
        if (!ctx.Replied()) ctx.ReplyError();
    }
}

void AddFileWatch(RequestContext& ctx)
{
    WriteWatchMessages(ctx);
    const QString path = ctx.PayloadText();
    // Answered as a folder that cannot be watched: the agent's own files change with every request.
    if (LeadsToAgentFiles(ctx, path)) {
        ctx.Reply();
        return;
    }
    WithPathOnFailure(ctx, "AS_ADDFILEWATCH...error", path, [&] {
        // A refused folder (already watched, or inside a watched one) is answered the same way.
        ctx.agent.watches->AddFileWatch(path);
        ctx.Reply();
        ctx.agent.log.WriteLogLine(QStringLiteral("AS_ADDFILEWATCH...ok"));
    });
}

void DelFileWatch(RequestContext& ctx)
{
    WriteWatchMessages(ctx);
    const QString path = ctx.PayloadText();
    WithPathOnFailure(ctx, "AS_DELFILEWATCH...error", path, [&] {
        ctx.agent.watches->DelFileWatch(path);
        ctx.Reply();
        ctx.agent.log.WriteLogLine(QStringLiteral("AS_DELFILEWATCH...ok"));
    });
}

void DelAllFileWatches(RequestContext& ctx)
{
    WriteWatchMessages(ctx);
    ctx.agent.watches->StopAllFileWatches();
    ctx.Reply();
    ctx.agent.log.WriteLogLine(QStringLiteral("AS_DELALLFILEWATCHES...ok"));
}

void GetFileChanges(RequestContext& ctx)
{
    WriteWatchMessages(ctx);
    const QByteArray payload = EncodeFileChangeList(ctx.agent.watches->TakeChanges());
    const bool oneMessage = static_cast<std::size_t>(payload.size()) <= kMaxPayloadBytes;
    ctx.Reply(payload);
    // A reply in pieces is not logged.
    if (oneMessage) ctx.agent.log.WriteLogLine(QStringLiteral("AS_GETFILECHANGES...ok"));
}

}  // namespace

void RegisterFileWatchHandlers(Dispatcher& d)
{
    d.SetHandler(AS_STATUS, Status);
    d.SetHandler(AS_ADDFILEWATCH, AddFileWatch);
    d.SetHandler(AS_DELFILEWATCH, DelFileWatch);
    d.SetHandler(AS_DELALLFILEWATCHES, DelAllFileWatches);
    d.SetHandler(AS_GETFILECHANGES, GetFileChanges);
}
