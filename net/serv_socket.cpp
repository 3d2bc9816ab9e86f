#include "net/serv_socket.h"

#include <algorithm>
#include <cstring>

#include "net/socket_error_log.h"

CServSocket::CServSocket(SocketTransport& transport, RequestDispatch dispatch, SocketErrorLog* errorLog)
    : transport_(transport), dispatch_(std::move(dispatch)), errorLog_(errorLog)
{
}

void CServSocket::Reset()
{
    pending_ = PendingReply{};
    newMessage_ = true;
    received_ = 0;
}

void CServSocket::OnReadFailed()
{
    if (errorLog_)
        errorLog_->Write(pending_.active ? QStringLiteral("Receive Fragment Size == -1\n")
                                         : QStringLiteral("Receive Size == -1\n"));
}

void CServSocket::OnReceive(ByteView bytes)
{
    if (pending_.active) {
        // Whatever the peer sent is its signal for the next piece; it is not a request.
        SendNextPiece();
        return;
    }
    if (newMessage_)
        received_ = 0;
    // Bytes beyond one message belong to no request (the peer never sends them).
    const std::size_t take = std::min(bytes.size(), receive_.size() - received_);
    std::memcpy(receive_.data() + received_, bytes.data(), take);
    received_ += take;

    if (received_ < kHeaderBytes) {
        newMessage_ = false;
        return;
    }
    const std::uint16_t code = GetU16(receive_.data());
    const std::uint16_t tag = GetU16(receive_.data() + 2);
    const std::uint16_t length = GetU16(receive_.data() + 4);
    if (length > kMaxPayloadBytes) {
        if (errorLog_)
            errorLog_->Write(QStringLiteral("Message of %1 payload bytes exceeds %2; connection closed")
                                 .arg(length)
                                 .arg(kMaxPayloadBytes));
        Reset();
        transport_.Abort();
        return;
    }
    if (received_ - kHeaderBytes < length) {
        newMessage_ = false;
        return;
    }
    newMessage_ = true;
    dispatch_(code, tag, ByteView(receive_.data() + kHeaderBytes, length), *this);
}

bool CServSocket::SendMessage(std::uint16_t code, std::uint16_t tag, ByteView payload)
{
    const std::size_t length = std::min(payload.size(), kMaxPayloadBytes);
    PutU16(send_.data(), code);
    PutU16(send_.data() + 2, tag);
    PutU16(send_.data() + 4, static_cast<std::uint16_t>(length));
    if (length)
        std::memcpy(send_.data() + kHeaderBytes, payload.data(), length);
    return transport_.SendAll(send_.data(), kHeaderBytes + length);
}

bool CServSocket::SendLongReply(std::uint16_t replyCode, std::uint16_t tag, QByteArray payload)
{
    if (static_cast<std::size_t>(payload.size()) <= kMaxPayloadBytes)
        return SendMessage(replyCode, tag, AsBytes(payload));
    pending_.active = true;
    pending_.replyCode = replyCode;
    pending_.tag = tag;
    pending_.payload = std::move(payload);
    pending_.cursor = 0;
    const bool sent = SendMessage(AS_FRAGMENT, tag, AsBytes(pending_.payload).first(kMaxPayloadBytes));
    pending_.cursor = static_cast<qsizetype>(kMaxPayloadBytes);
    return sent;
}

void CServSocket::SendNextPiece()
{
    const auto all = AsBytes(pending_.payload);
    const std::size_t cursor = static_cast<std::size_t>(pending_.cursor);
    const std::size_t remaining = all.size() - cursor;
    if (remaining > kMaxPayloadBytes) {
        SendMessage(AS_FRAGMENT, pending_.tag, all.subspan(cursor, kMaxPayloadBytes));
        pending_.cursor += static_cast<qsizetype>(kMaxPayloadBytes);
        return;
    }
    // Keep the payload alive across the send, then forget the reply.
    PendingReply last = std::move(pending_);
    pending_ = PendingReply{};
    SendMessage(last.replyCode, last.tag, AsBytes(last.payload).subspan(cursor));
}

bool CServSocket::SendRaw(ByteView bytes)
{
    return transport_.SendAll(bytes.data(), bytes.size());
}
