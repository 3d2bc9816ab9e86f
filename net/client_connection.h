#pragma once
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

#include "common/byte_io.h"
#include "net/serv_socket.h"

class QSocketNotifier;

// The connection socket under the framing: the one client's TCP socket, driven on the
// user-interface thread by a read notifier. It lives as long as the server; the descriptor
// inside changes with every admitted client. Each read notification does one read of at most
// one message (one receive of the framing); sends block until the kernel holds every byte, so a
// reply is out before the next request is read.
class ClientConnection : public QObject, public SocketTransport {
    Q_OBJECT
public:
    using ReceiveHandler = std::function<void(ByteView)>;
    using ReadFailedHandler = std::function<void()>;

    explicit ClientConnection(QObject* parent = nullptr);
    ~ClientConnection() override;

    // Where received chunks and failed reads go (the framing).
    void SetReceiver(ReceiveHandler onReceive, ReadFailedHandler onReadFailed);

    // Takes over a connected socket descriptor (and its ownership).
    void Attach(int descriptor);
    // Shuts down the send direction and closes the current socket, if any; no peerClosed follows.
    void Close();
    bool IsAttached() const { return fd_ >= 0; }

    // SocketTransport
    bool SendAll(const std::uint8_t* data, std::size_t size) override;
    // Drops the connection at once; peerClosed follows once the current receive has returned.
    void Abort() override;

    // Keep-alive with 30 s of idle time before the first probe and 1 s between probes.
    // Failures are ignored.
    static void EnableKeepAlive(int descriptor);
    // The peer's IPv4 address as dotted text (empty when unknown).
    static QString PeerAddress(int descriptor);
    // Whether the peer still holds the connection: no end of stream and no error waiting.
    static bool PeerStillConnected(int descriptor);
    // Ends a connection that is not (or no longer) attached: the peer sees the end of the
    // stream after every byte already sent.
    static void ShutDownAndClose(int descriptor);

    // How long a send may wait without the kernel taking a single byte before the connection
    // counts as broken (a peer that stops reading must not hold the agent forever).
    static constexpr int kSendStallLimitMs = 60000;

signals:
    // The peer closed the connection, it broke, or the framing aborted it. The socket is
    // already closed when this is emitted.
    void peerClosed();

private:
    void OnReadable();
    void Detach();
    void ConnectionLost();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    ReceiveHandler onReceive_;
    ReadFailedHandler onReadFailed_;
    bool inReceive_ = false;
    bool lostDuringReceive_ = false;
    bool pausedDuringReceive_ = false;
};
