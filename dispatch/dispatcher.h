#pragma once
#include <array>
#include <cstdint>
#include <functional>

#include <QString>

#include "common/byte_io.h"
#include "dispatch/request_codes.h"
#include "wire/reply_channel.h"
#include "wire/request_sink.h"

class Agent;
class RequestContext;

using RequestHandler = std::function<void(RequestContext&)>;

// Picks the handler for a complete request, runs it, and makes sure the peer gets exactly one
// answer: the handler's reply, or AS_ERROR for an unserved code, a refused request or a failure
// that escapes the handler.
class Dispatcher : public RequestSink {
public:
    // Registers the handler of every request family.
    explicit Dispatcher(Agent& agent);

    // Serves one request whose payload is exactly as long as its header says.
    void DispatchCommand(std::uint16_t code, std::uint16_t tag, ByteView payload, ReplyChannel& channel) override;

    // The rest of RequestSink: the server's moments passed on to the agent's state.
    void AttachHost(AgentHost* host) override;
    void ResetConnectionState() override;
    void ReleaseClientResources() override;
    void ServerDisabled() override;
    void ServerStopped() override;

    // Installs (or replaces) the handler of a served code; tests use it for test-only handlers.
    void SetHandler(std::uint16_t code, RequestHandler handler);

private:
    Agent& agent_;
    std::array<RequestHandler, kHighestRequestCode + 1> handlers_;
};

// This computer's identity as AS_MACHINE_ID answers it.
QString GetMachineIdentity();

// Each family of requests registers its handlers here (one file per family).
void RegisterConnectionHandlers(Dispatcher& d);
void RegisterItemStateHandlers(Dispatcher& d);
void RegisterItemHandlers(Dispatcher& d);
void RegisterFileTransferHandlers(Dispatcher& d);
void RegisterFileOperationHandlers(Dispatcher& d);
void RegisterFileWatchHandlers(Dispatcher& d);
void RegisterMediaHandlers(Dispatcher& d);
void RegisterSourceHandlers(Dispatcher& d);
void RegisterSyncHandlers(Dispatcher& d);
void RegisterBookmarkHandlers(Dispatcher& d);
