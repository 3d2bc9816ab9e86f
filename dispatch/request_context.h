#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <exception>

#include "common/attempt.h"
#include "common/byte_io.h"
#include "common/item_record.h"
#include "dispatch/request_codes.h"
#include "wire/reply_channel.h"

class Agent;

// A reply payload larger than the request may send in one message.
class ReplyTooLong : public AgentError {
public:
    using AgentError::AgentError;
};

// One request being dispatched: what the peer sent and how to answer it. Handlers answer
// exactly once, through Reply/ReplyError (or ReplyRaw for the fragment acknowledgement).
class RequestContext {
public:
    RequestContext(Agent& agent, const RequestInfo& info, std::uint16_t tag, ByteView payload, ReplyChannel& channel)
        : agent(agent), info(info), tag(tag), payload(payload), channel_(channel) {}

    Agent& agent;
    const RequestInfo& info;
    const std::uint16_t tag;
    // The request's own payload, exactly as long as its header says.
    const ByteView payload;
    // The item record a failing item request writes to the log (set by the handler).
    const ItemRecord* recordForLog = nullptr;
    // A record that the context owns and that is the one logged: the dispatcher dumps it after
    // the handler has unwound, so a record local to the handler would be gone by then.
    ItemRecord& LoggedRecord()
    {
        recordForLog = &loggedRecord_;
        return loggedRecord_;
    }

    std::uint16_t Code() const { return info.code; }

    // The success reply (code + 1). A payload larger than one message travels in pieces when the
    // request allows it; otherwise ReplyTooLong is thrown (and the peer gets AS_ERROR).
    bool Reply(QByteArray payload = {});
    // AS_ERROR with the request's tag and no payload.
    bool ReplyError();
    bool ReplyRaw(ByteView bytes);
    bool Replied() const { return replied_; }

    // The payload as a plain text: UTF-16 up to the first zero unit or the payload's end.
    QString PayloadText() const;
    // A copy of the payload padded with zero bytes to at least `size` bytes, for requests whose
    // fixed fields the peer may leave out (they read as zero, never past the request).
    QByteArray PayloadPadded(std::size_t size) const;
    // For requests that consume the AS_PUT_FRAGMENT pieces: the accumulated pieces followed by
    // this request's payload (and the pieces are then forgotten); the payload alone when none wait.
    QByteArray TakeConsumingPayload();

private:
    ReplyChannel& channel_;
    bool replied_ = false;
    ItemRecord loggedRecord_;
};
