#include "dispatch/file_request_helpers.h"

#include "common/errors.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/request_context.h"
#include "platform/agent_folders.h"
#include "platform/path_map.h"

namespace {

QString LocalPathOf(const QString& peerPath)
{
    try {
        return PeerToLocalPath(peerPath);
    } catch (const AgentError&) {
        return {};
    }
}

bool LocalPathLeadsToAgentFiles(RequestContext& ctx, const QString& peerPath, const QString& local, PathUse use)
{
    const bool refused = use == PathUse::Whole ? IsInOrHoldsAgentFolders(local) : IsInAgentFolders(local);
    if (refused) {
        ctx.agent.log.WriteLogLine(QString::fromLatin1(ctx.info.name) +
                                   QStringLiteral(" - refused: the path leads to the agent's own files"));
        ctx.agent.log.WriteLogLine(peerPath);
    }
    return refused;
}

}  // namespace

bool LeadsToAgentFiles(RequestContext& ctx, const QString& peerPath, PathUse use)
{
    const QString local = LocalPathOf(peerPath);
    return !local.isEmpty() && LocalPathLeadsToAgentFiles(ctx, peerPath, local, use);
}

QString UsableLocalPathOf(RequestContext& ctx, const QString& peerPath, PathUse use)
{
    const QString local = LocalPathOf(peerPath);
    if (local.isEmpty() || LocalPathLeadsToAgentFiles(ctx, peerPath, local, use))
        return {};
    return local;
}
