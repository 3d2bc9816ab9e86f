// The peer's view of the data sources: what this machine offers, the choice, and the choice
// read back. None of them logs a line.
#include "common/byte_io.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_context.h"
#include "dispatch/source_detection.h"
#include "stores/catalog/store_set.h"

namespace {

QByteArray FlagsReply(std::uint32_t flags)
{
    QByteArray bytes;
    ByteWriter(bytes).U32(flags);
    return bytes;
}

void GetAvailableSources(RequestContext& ctx)
{
    ctx.Reply(FlagsReply(AvailableSourceFlags(*ctx.agent.stores)));
}

void SetSources(RequestContext& ctx)
{
    // Only the first four bytes count; a shorter payload reads as zero-filled.
    const QByteArray word = ctx.PayloadPadded(4);
    ApplySourceFlags(ctx.agent, ByteReader(word).U32());
    ctx.Reply();
}

void GetSources(RequestContext& ctx)
{
    ctx.Reply(FlagsReply(CurrentSourceFlags(ctx.agent)));
}

}  // namespace

void RegisterSourceHandlers(Dispatcher& d)
{
    d.SetHandler(AS_GET_AVAILABLE_SOURCES, GetAvailableSources);
    d.SetHandler(AS_SET_SOURCES, SetSources);
    d.SetHandler(AS_GET_SOURCES, GetSources);
}
