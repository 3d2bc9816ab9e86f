// The client socket's sends: never blocking the agent, the lockstep kept, and a peer that stops
// reading dropped.
#include "net/client_connection.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>

#include "support/qt_event_loop.h"

namespace {

// A connected pair: the agent's side attached to a ClientConnection, the peer's side a plain
// descriptor the test reads and writes.
struct Pair {
    Pair()
    {
        EnsureCoreApplication();
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        // Small buffers, so a few hundred KiB are enough to find the peer not reading.
        const int size = 16 * 1024;
        ::setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        ::setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        peer = fds[1];
        connection.SetReceiver([this](ByteView bytes) { received.append(reinterpret_cast<const char*>(bytes.data()), bytes.size()); },
                               [] {});
        QObject::connect(&connection, &ClientConnection::peerClosed, [this] { closed = true; });
        QObject::connect(&connection, &ClientConnection::sendAbandoned, [this](const QString& why) { abandoned = why; });
        connection.Attach(fds[0]);
    }
    ~Pair() { ::close(peer); }
    // Everything the peer can read now.
    QByteArray ReadAvailable()
    {
        QByteArray all;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(peer, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0) break;
            all.append(buffer, n);
        }
        return all;
    }

    ClientConnection connection;
    int peer = -1;
    QByteArray received;
    bool closed = false;
    QString abandoned;
};

TEST(ClientConnectionSends, WhatThePeerDoesNotReadWaitsWithoutBlockingAndItsNextRequestToo)
{
    Pair p;
    const QByteArray reply(512 * 1024, 'r');
    ASSERT_TRUE(p.connection.SendAll(reinterpret_cast<const std::uint8_t*>(reply.constData()), reply.size()));
    EXPECT_GT(p.connection.QueuedBytes(), 0u) << "the send returned without the peer reading";

    // The peer's next request is not read while its reply is still going out.
    ASSERT_EQ(::send(p.peer, "next", 4, 0), 4);
    ProcessEventsUntil([] { return false; }, 100);
    EXPECT_TRUE(p.received.isEmpty());

    // Reading lets the rest go out, then the request is read.
    QByteArray got;
    ASSERT_TRUE(ProcessEventsUntil([&] {
        got += p.ReadAvailable();
        return got.size() == reply.size() && !p.received.isEmpty();
    }));
    EXPECT_EQ(got, reply);
    EXPECT_EQ(p.received, QByteArray("next"));
    EXPECT_EQ(p.connection.QueuedBytes(), 0u);
    EXPECT_FALSE(p.closed);
}

TEST(ClientConnectionSends, APeerThatStopsReadingIsDroppedAfterTheStallLimit)
{
    Pair p;
    p.connection.SetSendStallLimit(200);
    const QByteArray reply(512 * 1024, 'r');
    ASSERT_TRUE(p.connection.SendAll(reinterpret_cast<const std::uint8_t*>(reply.constData()), reply.size()));
    ASSERT_TRUE(ProcessEventsUntil([&] { return p.closed; }, 3000));
    EXPECT_TRUE(p.abandoned.contains(QStringLiteral("no byte"))) << p.abandoned.toStdString();
    EXPECT_FALSE(p.connection.IsAttached());
}

TEST(ClientConnectionSends, MoreUnreadThanTheBoundDropsThePeerAtOnce)
{
    Pair p;
    const QByteArray piece(1024 * 1024, 'r');
    bool sent = true;
    for (std::size_t total = 0; sent && total <= ClientConnection::kMaxQueuedBytes + piece.size(); total += piece.size())
        sent = p.connection.SendAll(reinterpret_cast<const std::uint8_t*>(piece.constData()), piece.size());
    EXPECT_FALSE(sent);
    EXPECT_TRUE(p.abandoned.contains(QStringLiteral("unread"))) << p.abandoned.toStdString();
    EXPECT_FALSE(p.connection.IsAttached());
    EXPECT_TRUE(ProcessEventsUntil([&] { return p.closed; }));
}

}  // namespace
