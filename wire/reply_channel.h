#pragma once
#include <QByteArray>
#include <cstdint>

#include "common/byte_io.h"

// Where the dispatcher sends its answers: the connection's framing. Every send hands all of
// its bytes to the network before it returns (the protocol is strictly alternating).
class ReplyChannel {
public:
    virtual ~ReplyChannel() = default;
    // One message: header and payload (at most one message's worth). False when the send failed.
    virtual bool SendMessage(std::uint16_t code, std::uint16_t tag, ByteView payload) = 0;
    // A reply that may exceed one message: sent whole when it fits, else as AS_FRAGMENT pieces,
    // one per later message of the peer, the last with `replyCode`. False when the first send failed.
    virtual bool SendLongReply(std::uint16_t replyCode, std::uint16_t tag, QByteArray payload) = 0;
    // Raw bytes without a header (the AS_PUT_FRAGMENT acknowledgement).
    virtual bool SendRaw(ByteView bytes) = 0;
};
