#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>
#include <cstdint>
#include <functional>

#include "common/byte_io.h"
#include "net/serv_socket.h"


// The connection socket under the framing: the one client's QTcpSocket on the user-interface
// thread. It lives as long as the server; the socket inside changes with every admitted client.
// Reads are handed on in chunks of at most one message (each chunk is one receive of the
// framing); sends block until the kernel holds every byte, so a reply is out before the next
// request is read.
class ClientConnection : public QObject, public SocketTransport {
    Q_OBJECT
public:
    using ReceiveHandler = std::function<void(ByteView)>;
    using ReadFailedHandler = std::function<void()>;

    explicit ClientConnection(QObject* parent = nullptr);
    ~ClientConnection() override;

    // Where received chunks and failed reads go (the framing).
    void SetReceiver(ReceiveHandler onReceive, ReadFailedHandler onReadFailed);

    // Takes over a connected socket (and its ownership). Bytes that already wait in it are
    // handed on at once.
    void Attach(QTcpSocket* socket);
    // Shuts down the send direction and closes the current socket, if any; no peerClosed follows.
    void Close();
    bool IsAttached() const { return socket_ != nullptr; }
    QString PeerAddress() const;

    // SocketTransport
    bool SendAll(const std::uint8_t* data, std::size_t size) override;
    // Drops the connection at once; peerClosed follows once the current receive has returned.
    void Abort() override;

    // Keep-alive with 30 s of idle time before the first probe and 1 s between probes.
    // Failures are ignored.
    static void EnableKeepAlive(qintptr descriptor);

    // How long a send may wait without the kernel taking a single byte before the connection
    // counts as broken (a peer that stops reading must not hold the agent forever).
    static constexpr int kSendStallLimitMs = 60000;

signals:
    // The peer closed the connection, it broke, or the framing aborted it. The socket is
    // already detached when this is emitted.
    void peerClosed();

private:
    void OnReadyRead();
    void OnDisconnected();
    void Detach(bool abortive);

    QPointer<QTcpSocket> socket_;
    ReceiveHandler onReceive_;
    ReadFailedHandler onReadFailed_;
    bool inReceive_ = false;
    bool closedDuringReceive_ = false;
};
