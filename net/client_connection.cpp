#include "net/client_connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <QHostAddress>
#include <QTcpSocket>
#include <array>
#include <cerrno>

#include "net/message_header.h"

ClientConnection::ClientConnection(QObject* parent) : QObject(parent) {}

ClientConnection::~ClientConnection()
{
    Close();
}

void ClientConnection::SetReceiver(ReceiveHandler onReceive, ReadFailedHandler onReadFailed)
{
    onReceive_ = std::move(onReceive);
    onReadFailed_ = std::move(onReadFailed);
}

void ClientConnection::Attach(QTcpSocket* socket)
{
    Close();
    socket_ = socket;
    // A close noticed during an earlier client's receive must not reach this one.
    closedDuringReceive_ = false;
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &ClientConnection::OnReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &ClientConnection::OnDisconnected);
    connect(socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        // Any error of a connected stream socket ends the connection (reset, keep-alive timeout).
        if (socket_ && socket_->state() != QAbstractSocket::ConnectedState)
            OnDisconnected();
    });
    // The peer may have sent its first request while the access rules were deciding.
    if (socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &ClientConnection::OnReadyRead, Qt::QueuedConnection);
}

QString ClientConnection::PeerAddress() const
{
    if (!socket_)
        return {};
    const QHostAddress address = socket_->peerAddress();
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

void ClientConnection::OnReadyRead()
{
    // A nested event loop inside a request must not start another one over the same buffers;
    // the outer loop below picks the bytes up once the request is done.
    if (inReceive_ || !socket_)
        return;
    inReceive_ = true;
    QTcpSocket* const socket = socket_;
    std::array<std::uint8_t, kMaxMessageBytes> chunk;
    while (socket_ == socket && socket->bytesAvailable() > 0) {
        const qint64 n = socket->read(reinterpret_cast<char*>(chunk.data()), static_cast<qint64>(chunk.size()));
        if (n < 0) {
            if (onReadFailed_)
                onReadFailed_();
            break;
        }
        if (n == 0)
            break;
        if (onReceive_)
            onReceive_(ByteView(chunk.data(), static_cast<std::size_t>(n)));
    }
    inReceive_ = false;
    if (closedDuringReceive_) {
        closedDuringReceive_ = false;
        emit peerClosed();
    }
}

void ClientConnection::OnDisconnected()
{
    if (!socket_)
        return;
    Detach(false);
    if (inReceive_)
        closedDuringReceive_ = true;
    else
        emit peerClosed();
}

void ClientConnection::Abort()
{
    if (!socket_)
        return;
    Detach(true);
    if (inReceive_)
        closedDuringReceive_ = true;
    else
        emit peerClosed();
}

void ClientConnection::Close()
{
    if (socket_)
        Detach(false);
}

void ClientConnection::Detach(bool abortive)
{
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    disconnect(socket, nullptr, this, nullptr);
    if (abortive) {
        socket->abort();
    } else {
        // The peer sees the end of the stream at once, after every byte already sent.
        if (const qintptr fd = socket->socketDescriptor(); fd >= 0)
            ::shutdown(static_cast<int>(fd), SHUT_WR);
        socket->abort();
    }
    // The socket may be inside one of its own signals right now.
    socket->deleteLater();
}

bool ClientConnection::SendAll(const std::uint8_t* data, std::size_t size)
{
    if (!socket_)
        return false;
    const int fd = static_cast<int>(socket_->socketDescriptor());
    if (fd < 0)
        return false;
    // Written straight to the descriptor: QTcpSocket's own write buffer stays empty, so nothing
    // can overtake these bytes, and the call returns only when the kernel holds all of them.
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, kSendStallLimitMs);
            if (ready > 0 || (ready < 0 && errno == EINTR))
                continue;  // writable, or an error the next send reports
        }
        // Broken or stalled: the message is cut, so the stream cannot go on.
        Abort();
        return false;
    }
    return true;
}

void ClientConnection::EnableKeepAlive(qintptr descriptor)
{
    const int fd = static_cast<int>(descriptor);
    int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0)
        return;
    int idleSeconds = 30;
    int intervalSeconds = 1;
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
}
