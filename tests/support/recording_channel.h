#pragma once
// A ReplyChannel that keeps what the dispatcher sends, for tests of request handlers:
//
//   RecordingChannel channel;
//   dispatcher.DispatchCommand(AS_GET_OWNER, 0xBEEF, {}, channel);
//   ASSERT_EQ(channel.messages.size(), 1u);
//   EXPECT_EQ(channel.messages[0].code, AS_GET_OWNER + 1);
//
// A long reply is kept whole (as one entry with `longReply` set); its pieces are the framing's
// business and are tested with CServSocket.

#include <QByteArray>
#include <cstdint>
#include <vector>

#include "common/byte_io.h"
#include "wire/reply_channel.h"

struct RecordedMessage {
    std::uint16_t code = 0;
    std::uint16_t tag = 0;
    QByteArray payload;
    bool longReply = false;  // sent through SendLongReply
    bool raw = false;        // bytes without a header (the AS_PUT_FRAGMENT acknowledgement)
};

class RecordingChannel : public ReplyChannel {
public:
    bool SendMessage(std::uint16_t code, std::uint16_t tag, ByteView payload) override
    {
        messages.push_back({code, tag, ToBytes(payload), false, false});
        return sendResult;
    }
    bool SendLongReply(std::uint16_t replyCode, std::uint16_t tag, QByteArray payload) override
    {
        messages.push_back({replyCode, tag, std::move(payload), true, false});
        return sendResult;
    }
    bool SendRaw(ByteView bytes) override
    {
        messages.push_back({0, 0, ToBytes(bytes), false, true});
        return sendResult;
    }

    std::vector<RecordedMessage> messages;
    // What every send reports (false: a connection that failed).
    bool sendResult = true;

private:
    static QByteArray ToBytes(ByteView b)
    {
        return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
    }
};
