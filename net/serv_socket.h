#pragma once
#include <QByteArray>
#include <array>
#include <cstdint>
#include <functional>

#include "common/byte_io.h"
#include "wire/message_header.h"
#include "wire/reply_channel.h"

class SocketErrorLog;

// The connection's byte stream underneath the framing.
class SocketTransport {
public:
    virtual ~SocketTransport() = default;
    // Hands every byte to the network before it returns; false when the connection failed.
    virtual bool SendAll(const std::uint8_t* data, std::size_t size) = 0;
    // Drops the connection (the peer broke the framing).
    virtual void Abort() = 0;
};

// Called with each complete request: code, tag, payload (exactly as long as the header says).
using RequestDispatch = std::function<void(std::uint16_t, std::uint16_t, ByteView, ReplyChannel&)>;

// The framing of one connection: gathers received bytes into one complete request and hands
// it to the dispatcher, sends replies, and sends a long reply as AS_FRAGMENT pieces, one per
// message that the peer sends after each piece. The protocol is strictly alternating.
class CServSocket : public ReplyChannel {
public:
    CServSocket(SocketTransport& transport, RequestDispatch dispatch, SocketErrorLog* errorLog);

    // The bytes of one read from the connection.
    void OnReceive(ByteView bytes);
    // A read that failed.
    void OnReadFailed();
    // Forgets a partly assembled request and any pending pieces (connection closed or replaced).
    void Reset();

    bool PiecesPending() const { return pending_.active; }

    bool SendMessage(std::uint16_t code, std::uint16_t tag, ByteView payload) override;
    bool SendLongReply(std::uint16_t replyCode, std::uint16_t tag, QByteArray payload) override;
    bool SendRaw(ByteView bytes) override;

private:
    void SendNextPiece();

    // A reply being sent in pieces.
    struct PendingReply {
        bool active = false;
        std::uint16_t replyCode = 0;
        std::uint16_t tag = 0;
        QByteArray payload;
        qsizetype cursor = 0;
    };

    SocketTransport& transport_;
    RequestDispatch dispatch_;
    SocketErrorLog* errorLog_;
    PendingReply pending_;
    bool newMessage_ = true;
    std::size_t received_ = 0;
    std::array<std::uint8_t, kMaxMessageBytes> receive_{};
    std::array<std::uint8_t, kMaxMessageBytes> send_{};
};
