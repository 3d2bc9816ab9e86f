#include "dispatch/request_context.h"

#include "dispatch/agent.h"
#include "wire/message_header.h"

bool RequestContext::Reply(QByteArray payload)
{
    if (static_cast<std::size_t>(payload.size()) > kMaxPayloadBytes && !info.mayFragment)
        throw ReplyTooLong(std::string(info.name) + " reply of " + std::to_string(payload.size()) +
                           " bytes does not fit one message");
    replied_ = true;
    const auto replyCode = static_cast<std::uint16_t>(info.code + 1);
    if (static_cast<std::size_t>(payload.size()) <= kMaxPayloadBytes)
        return channel_.SendMessage(replyCode, tag, AsBytes(payload));
    return channel_.SendLongReply(replyCode, tag, std::move(payload));
}

bool RequestContext::ReplyError()
{
    replied_ = true;
    return channel_.SendMessage(AS_ERROR, tag, {});
}

bool RequestContext::ReplyRaw(ByteView bytes)
{
    replied_ = true;
    return channel_.SendRaw(bytes);
}

QString RequestContext::PayloadText() const
{
    ByteReader r(payload);
    return r.ZeroTerminatedUtf16();
}

QByteArray RequestContext::PayloadPadded(std::size_t size) const
{
    QByteArray copy(reinterpret_cast<const char*>(payload.data()), static_cast<qsizetype>(payload.size()));
    if (static_cast<std::size_t>(copy.size()) < size)
        copy.append(static_cast<qsizetype>(size) - copy.size(), '\0');
    return copy;
}

QByteArray RequestContext::TakeConsumingPayload()
{
    return agent.fragments.Take(payload);
}
