#include "test_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <cerrno>

#include "wire/message_header.h"

#include "common/byte_io.h"

TestPeer::TestPeer(QString localAddress) : local_(std::move(localAddress)) {}

TestPeer::~TestPeer()
{
    Close();
}

void TestPeer::Close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool TestPeer::Connect(std::uint16_t port, int timeoutMs)
{
    Close();
    buffer_.clear();
    ended_ = false;
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return false;
    int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (receiveBuffer_ > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer_, sizeof receiveBuffer_);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (::inet_pton(AF_INET, local_.toLatin1().constData(), &local.sin_addr) != 1 ||
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return false;
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0) return true;
    if (errno != EINPROGRESS) return false;
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return false;
    int error = 0;
    socklen_t size = sizeof error;
    ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size);
    return error == 0;
}

QByteArray TestPeer::Encode(std::uint16_t code, std::uint16_t tag, const QByteArray& payload)
{
    QByteArray m(6, '\0');
    auto* p = reinterpret_cast<std::uint8_t*>(m.data());
    PutU16(p, code);
    PutU16(p + 2, tag);
    PutU16(p + 4, static_cast<std::uint16_t>(payload.size()));
    return m + payload;
}

bool TestPeer::Send(std::uint16_t code, std::uint16_t tag, const QByteArray& payload,
                    const std::vector<qsizetype>& splitAt)
{
    return SendRaw(Encode(code, tag, payload), splitAt);
}

bool TestPeer::SendRaw(const QByteArray& bytes, const std::vector<qsizetype>& splitAt)
{
    if (fd_ < 0) return false;
    qsizetype start = 0;
    std::vector<qsizetype> ends = splitAt;
    ends.push_back(bytes.size());
    for (const qsizetype end : ends) {
        qsizetype at = start;
        while (at < end) {
            const ssize_t n =
                ::send(fd_, bytes.constData() + at, static_cast<std::size_t>(end - at), MSG_NOSIGNAL);
            if (n > 0) {
                at += n;
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{fd_, POLLOUT, 0};
                if (::poll(&p, 1, kDefaultTimeoutMs) != 1) return false;
                continue;
            }
            return false;
        }
        start = end;
    }
    return true;
}

bool TestPeer::Fill(qsizetype count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (buffer_.size() < count) {
        if (fd_ < 0 || ended_) return false;
        char chunk[65536];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n > 0) {
            buffer_.append(chunk, n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            ended_ = true;
            return false;
        }
        pollfd p{fd_, POLLIN, 0};
        const int left = static_cast<int>(deadline.remainingTime());
        if (left <= 0 || ::poll(&p, 1, left) == 0) return false;
    }
    return true;
}

std::optional<WireMessage> TestPeer::ReadMessage(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    if (!Fill(6, timeoutMs)) return std::nullopt;
    const auto* h = reinterpret_cast<const std::uint8_t*>(buffer_.constData());
    const qsizetype length = GetU16(h + 4);
    if (!Fill(6 + length, static_cast<int>(deadline.remainingTime()))) return std::nullopt;
    h = reinterpret_cast<const std::uint8_t*>(buffer_.constData());
    WireMessage m{GetU16(h), GetU16(h + 2), buffer_.mid(6, length)};
    buffer_.remove(0, 6 + length);
    return m;
}

std::optional<std::uint8_t> TestPeer::ReadByte(int timeoutMs)
{
    if (!Fill(1, timeoutMs)) return std::nullopt;
    const auto b = static_cast<std::uint8_t>(buffer_[0]);
    buffer_.remove(0, 1);
    return b;
}

bool TestPeer::ReadEndOfStream(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!ended_) {
        buffer_.clear();
        if (Fill(1, static_cast<int>(deadline.remainingTime()))) continue;
        if (!ended_) return false;  // time-out
    }
    return true;
}

std::optional<WireMessage> TestPeer::Request(std::uint16_t code, std::uint16_t tag, const QByteArray& payload)
{
    if (!Send(code, tag, payload)) return std::nullopt;
    return ReadMessage();
}

std::optional<WireMessage> TestPeer::LongRequest(std::uint16_t code, std::uint16_t tag, const QByteArray& payload)
{
    std::optional<WireMessage> message = Request(code, tag, payload);
    QByteArray whole;
    while (message && message->code == AS_FRAGMENT) {
        whole += message->payload;
        message = Request(AS_FRAGMENT, tag);
    }
    if (message) message->payload.prepend(whole);
    return message;
}
