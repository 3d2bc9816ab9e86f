#include "dispatch/dispatcher.h"
#include "wire/agent_host.h"

#include <exception>

#include "core/log_file.h"
#include "core/settings.h"
#include "dispatch/agent.h"
#include "dispatch/diagnostics.h"
#include "dispatch/file_transfers.h"
#include "dispatch/request_context.h"
#include "dispatch/request_facts.h"
#include "stores/catalog/store_set.h"
#include "wire/message_header.h"

namespace {

void ReportUnreadablePassword(Agent& agent, const QString& why)
{
    if (agent.passwordProblemReported) return;
    agent.passwordProblemReported = true;
    const QString line = QStringLiteral("password could not be read, requests that need a login are refused: ") + why;
    agent.log.WriteLogLine(line);
    agent.host().TellUser(line);
}

bool LoginSatisfied(Agent& agent, const RequestInfo& info)
{
    if (!info.needsLogin || agent.loggedIn)
        return true;
    const StoredPassword stored = CurrentStoredPassword();
    if (stored.state != StoredPassword::State::Unreadable) {
        agent.passwordProblemReported = false;
        // With no password stored every peer that the access rules admit is served.
        return stored.state == StoredPassword::State::None;
    }
    // A password that cannot be read is not "no password": nothing that needs a login is served.
    ReportUnreadablePassword(agent, stored.why);
    return false;
}

}  // namespace

Dispatcher::Dispatcher(Agent& agent) : agent_(agent)
{
    RegisterConnectionHandlers(*this);
    RegisterItemStateHandlers(*this);
    RegisterItemHandlers(*this);
    RegisterFileTransferHandlers(*this);
    RegisterFileOperationHandlers(*this);
    RegisterFileWatchHandlers(*this);
    RegisterMediaHandlers(*this);
    RegisterSourceHandlers(*this);
    RegisterSyncHandlers(*this);
    RegisterBookmarkHandlers(*this);
}

void Dispatcher::SetHandler(std::uint16_t code, RequestHandler handler)
{
    if (code <= kHighestRequestCode)
        handlers_[code] = std::move(handler);
}

void Dispatcher::AttachHost(AgentHost* host)
{
    agent_.SetHost(host);
}

void Dispatcher::ResetConnectionState()
{
    agent_.ResetConnectionState();
    ForgetConnectionFacts();
}

void Dispatcher::ReleaseClientResources()
{
    agent_.ReleaseClientResources();
}

void Dispatcher::ServerDisabled()
{
    agent_.ReleaseStores(QStringLiteral("the server's stop"));
}

void Dispatcher::ServerStopped()
{
    agent_.transfers->CloseAll();
}

void Dispatcher::DispatchCommand(std::uint16_t code, std::uint16_t tag, ByteView payload, ReplyChannel& channel)
{
    const RequestInfo* info = FindRequest(code);
    if (!info || !handlers_[code] || !LoginSatisfied(agent_, *info)) {
        channel.SendMessage(AS_ERROR, tag, {});
        return;
    }

    RequestContext ctx(agent_, *info, tag, payload, channel);
    std::exception_ptr failure;
    try {
        handlers_[code](ctx);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        // A handler outside the catch-all that lets a failure escape still gets an answer and a
        // line naming it; the agent and the connection go on either way.
        agent_.log.WriteLogLine(info->failureLine ? QString::fromUtf8(info->failureLine)
                                                  : QString::fromUtf8(info->name) + QStringLiteral("...error"));
        if (info->dumpsRecord && ctx.recordForLog)
            agent_.log.DumpItemProperties(*ctx.recordForLog);
        const QString reason = FailureReason(failure);
        qCDebug(lcDispatch) << info->name << "failed:" << reason;
        if (!reason.isEmpty()) agent_.log.WriteLogLine(QStringLiteral("\treason: ") + reason);
        if (!ctx.Replied())
            ctx.ReplyError();
        return;
    }
    if (!ctx.Replied()) {
        agent_.log.WriteLogLine(QString::fromUtf8(info->name) + QStringLiteral("...error: no reply"));
        ctx.ReplyError();
    }
}
