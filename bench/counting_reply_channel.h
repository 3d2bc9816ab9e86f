#pragma once
// A reply channel for benchmarks that drive the dispatcher directly: it keeps the last reply's
// code and size and counts the payload bytes, and sends nothing.

#include <QByteArray>
#include <cstdint>

#include "wire/reply_channel.h"

class CountingReplyChannel : public ReplyChannel {
public:
    bool SendMessage(std::uint16_t code, std::uint16_t, ByteView payload) override
    {
        Count(code, static_cast<qsizetype>(payload.size()));
        return true;
    }
    bool SendLongReply(std::uint16_t code, std::uint16_t, QByteArray payload) override
    {
        Count(code, payload.size());
        return true;
    }
    bool SendRaw(ByteView) override { return true; }

    std::uint16_t lastCode = 0;
    qsizetype lastBytes = 0;  // the last reply's payload
    qsizetype bytes = 0;      // every reply's payload

private:
    void Count(std::uint16_t code, qsizetype size)
    {
        lastCode = code;
        lastBytes = size;
        bytes += size;
    }
};
