#include "dispatch/file_request_helpers.h"

#include "common/errors.h"
#include "platform/path_map.h"

QString LocalPathOf(const QString& peerPath)
{
    try {
        return PeerToLocalPath(peerPath);
    } catch (const AgentError&) {
        return {};
    }
}
