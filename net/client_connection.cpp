#include "net/client_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>

#include "wire/message_header.h"

ClientConnection::ClientConnection(QObject* parent) : QObject(parent)
{
    stallTimer_.setSingleShot(true);
    connect(&stallTimer_, &QTimer::timeout, this, &ClientConnection::OnSendStalled);
}

ClientConnection::~ClientConnection()
{
    Close();
}

void ClientConnection::SetReceiver(ReceiveHandler onReceive, ReadFailedHandler onReadFailed)
{
    onReceive_ = std::move(onReceive);
    onReadFailed_ = std::move(onReadFailed);
}

void ClientConnection::Attach(int descriptor)
{
    Close();
    fd_ = descriptor;
    // Every message goes out in one send and the peer waits for it: holding back its last
    // partial segment until earlier ones are acknowledged would only add a delay per message.
    int on = 1;
    (void)::setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A loss noticed during an earlier client's receive must not reach this one.
    lostDuringReceive_ = false;
    notifier_ = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ClientConnection::OnReadable);
    writeNotifier_ = new QSocketNotifier(descriptor, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &ClientConnection::OnWritable);
}

void ClientConnection::UpdateReading()
{
    if (notifier_) notifier_->setEnabled(!inReceive_ && QueuedBytes() == 0);
}

void ClientConnection::OnReadable()
{
    if (fd_ < 0) return;
    if (inReceive_) {
        // A request that runs an event loop: no further read until it is done.
        notifier_->setEnabled(false);
        pausedDuringReceive_ = true;
        return;
    }
    // One read per notification; what is left makes the notifier fire again.
    std::array<std::uint8_t, kMaxMessageBytes> chunk;
    const ssize_t n = ::recv(fd_, chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
        // End of stream, or a broken connection (reset, keep-alive time-out).
        if (n < 0 && onReadFailed_) onReadFailed_();
        ConnectionLost();
        return;
    }
    inReceive_ = true;
    const int servedFd = fd_;
    if (onReceive_) onReceive_(ByteView(chunk.data(), static_cast<std::size_t>(n)));
    inReceive_ = false;
    if (lostDuringReceive_) {
        lostDuringReceive_ = false;
        emit peerClosed();
    } else if (fd_ == servedFd) {
        UpdateReading();
    }
    pausedDuringReceive_ = false;
}

void ClientConnection::ConnectionLost()
{
    if (fd_ < 0) return;
    Detach();
    if (inReceive_)
        lostDuringReceive_ = true;
    else
        emit peerClosed();
}

void ClientConnection::Abort()
{
    ConnectionLost();
}

void ClientConnection::Close()
{
    if (fd_ >= 0) Detach();
}

void ClientConnection::Detach()
{
    // The notifiers may be inside their own signals right now.
    notifier_->setEnabled(false);
    notifier_->deleteLater();
    notifier_ = nullptr;
    writeNotifier_->setEnabled(false);
    writeNotifier_->deleteLater();
    writeNotifier_ = nullptr;
    stallTimer_.stop();
    outgoing_.clear();
    outgoingSent_ = 0;
    ShutDownAndClose(fd_);
    fd_ = -1;
}

void ClientConnection::ShutDownAndClose(int descriptor)
{
    if (descriptor < 0) return;
    ::shutdown(descriptor, SHUT_WR);
    ::close(descriptor);
}

bool ClientConnection::SendAll(const std::uint8_t* data, std::size_t size)
{
    if (fd_ < 0) return false;
    outgoing_.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (!Drain()) {
        Abort();
        return false;
    }
    if (QueuedBytes() == 0) return true;
    if (QueuedBytes() > kMaxQueuedBytes) {
        emit sendAbandoned(QStringLiteral("the peer left more than %1 bytes unread; connection dropped")
                               .arg(kMaxQueuedBytes));
        Abort();
        return false;
    }
    // The rest goes out as the peer reads; its next request waits until then.
    writeNotifier_->setEnabled(true);
    if (!stallTimer_.isActive()) stallTimer_.start(stallLimitMs_);
    UpdateReading();
    return true;
}

bool ClientConnection::Drain()
{
    while (QueuedBytes() > 0) {
        const ssize_t n = ::send(fd_, outgoing_.constData() + outgoingSent_, QueuedBytes(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            outgoingSent_ += n;
            if (stallTimer_.isActive()) stallTimer_.start(stallLimitMs_);  // it moved
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        return false;  // broken: the stream cannot go on
    }
    if (QueuedBytes() == 0) {
        outgoing_.clear();
        outgoingSent_ = 0;
        stallTimer_.stop();
    } else if (outgoingSent_ >= 1024 * 1024 && outgoingSent_ * 2 >= outgoing_.size()) {
        // Drop what went out, so a long stream of replies does not keep it all.
        outgoing_.remove(0, outgoingSent_);
        outgoingSent_ = 0;
    }
    return true;
}

void ClientConnection::OnWritable()
{
    if (fd_ < 0) return;
    if (!Drain()) {
        Abort();
        return;
    }
    if (QueuedBytes() > 0) return;
    writeNotifier_->setEnabled(false);
    UpdateReading();
}

void ClientConnection::OnSendStalled()
{
    if (fd_ < 0 || QueuedBytes() == 0) return;
    emit sendAbandoned(QStringLiteral("the peer took no byte of its reply for %1 s; connection dropped")
                           .arg(stallLimitMs_ / 1000.0));
    Abort();
}

void ClientConnection::EnableKeepAlive(int descriptor)
{
    int on = 1;
    if (::setsockopt(descriptor, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) return;
    int idleSeconds = 30;
    int intervalSeconds = 1;
    (void)::setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    (void)::setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
}

QString ClientConnection::PeerAddress(int descriptor)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&address), &size) != 0) return {};
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    } else if (address.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    }
    return QString::fromLatin1(text);
}

bool ClientConnection::PeerStillConnected(int descriptor)
{
    char byte = 0;
    const ssize_t n = ::recv(descriptor, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
}
