#pragma once
#include <cstdint>

#include "common/byte_io.h"

class AgentHost;
class ReplyChannel;

// What the server hands its work to: every complete request, and the moments at which a
// connection or the server ends, so that the state behind the requests follows. The dispatcher
// implements it; the server knows nothing of requests beyond their framing.
class RequestSink {
public:
    virtual ~RequestSink() = default;
    // Serves one request whose payload is exactly as long as its header says; every answer goes
    // through `channel`.
    virtual void DispatchCommand(std::uint16_t code, std::uint16_t tag, ByteView payload, ReplyChannel& channel) = 0;
    // The host the requests reach (the server), or none while there is no server.
    virtual void AttachHost(AgentHost* host) = 0;
    // A connection closed or another is about to be admitted: forget what belonged to it.
    virtual void ResetConnectionState() = 0;
    // A client left: release what it held (loaded copies, watches, sessions, transfer files).
    virtual void ReleaseClientResources() = 0;
    // The user stopped the server or the system goes to sleep: release the sessions held with
    // other programs.
    virtual void ServerDisabled() = 0;
    // The server stopped listening: close the transfer files.
    virtual void ServerStopped() = 0;
};
