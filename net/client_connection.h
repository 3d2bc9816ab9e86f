#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "common/byte_io.h"
#include "net/serv_socket.h"

class QSocketNotifier;

// The connection socket under the framing: the one client's TCP socket, driven on the
// user-interface thread by a read and a write notifier. It lives as long as the server; the
// descriptor inside changes with every admitted client. Each read notification does one read of
// at most one message (one receive of the framing). Sends never block: what the kernel does not
// take at once waits in an outgoing queue, written as the socket becomes writable, and the
// peer's next request is read only once its reply is out, so the exchange stays in lockstep
// while the window and other work go on. A peer whose queue does not move for a minute, or that
// lets more than kMaxQueuedBytes pile up, is dropped.
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

    // SocketTransport: queues what the kernel does not take at once; false when the connection
    // failed or was dropped for holding too much unsent.
    bool SendAll(const std::uint8_t* data, std::size_t size) override;
    // Bytes handed to SendAll that the kernel has not taken yet.
    std::size_t QueuedBytes() const { return static_cast<std::size_t>(outgoing_.size() - outgoingSent_); }
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

    // How long queued bytes may wait without the kernel taking a single one before the
    // connection counts as broken (a peer that stops reading must not hold its place forever).
    static constexpr int kSendStallLimitMs = 60000;
    // The most a peer may leave unread. A lockstep peer never has more than one reply waiting
    // (a long reply travels a piece at a time), so only a peer that stopped reading gets here.
    static constexpr std::size_t kMaxQueuedBytes = 8 * 1024 * 1024;
    // Tests shorten the stall limit.
    void SetSendStallLimit(int milliseconds) { stallLimitMs_ = milliseconds; }

signals:
    // The peer closed the connection, it broke, or the framing aborted it. The socket is
    // already closed when this is emitted.
    void peerClosed();
    // The connection is being dropped because the peer stopped taking what it was sent; the
    // text says why, for the log. peerClosed follows.
    void sendAbandoned(const QString& why);

private:
    void OnReadable();
    void OnWritable();
    void OnSendStalled();
    // Hands queued bytes to the kernel until it takes no more; false when the socket failed.
    bool Drain();
    // Reads while nothing waits to be sent and no request is being served.
    void UpdateReading();
    void Detach();
    void ConnectionLost();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QByteArray outgoing_;
    qsizetype outgoingSent_ = 0;
    QTimer stallTimer_;
    int stallLimitMs_ = kSendStallLimitMs;
    ReceiveHandler onReceive_;
    ReadFailedHandler onReadFailed_;
    bool inReceive_ = false;
    bool lostDuringReceive_ = false;
    bool pausedDuringReceive_ = false;
};
