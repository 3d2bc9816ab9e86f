#pragma once
// A minimal peer of the wire protocol for end-to-end tests: a blocking TCP client from a chosen
// local address (127.0.0.x, for the access rules), that can split its writes at chosen byte
// offsets and read one message, one raw byte or the end of the stream, each with a time limit.
//
//   TestPeer peer("127.0.0.2");
//   ASSERT_TRUE(peer.Connect(agent.Port()));
//   auto reply = peer.Request(AS_GET_OWNER, 0xBEEF);          // send, then read one message
//   ASSERT_TRUE(reply);
//   EXPECT_EQ(reply->code, AS_GET_OWNER + 1);
//   peer.Send(AS_MACHINE_ID, 1, utf16::Bytes("mac"), {3, 7});  // written as 3 + 4 + rest bytes
//   EXPECT_TRUE(peer.ReadEndOfStream());                       // the agent closed the connection

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

struct WireMessage {
    std::uint16_t code = 0;
    std::uint16_t tag = 0;
    QByteArray payload;
};

class TestPeer {
public:
    static constexpr int kDefaultTimeoutMs = 10000;

    explicit TestPeer(QString localAddress = QStringLiteral("127.0.0.1"));
    ~TestPeer();
    TestPeer(const TestPeer&) = delete;
    TestPeer& operator=(const TestPeer&) = delete;

    // The socket's receive buffer for the next Connect (0: the system's), so a peer that stops
    // reading is found out after a few replies.
    void SetReceiveBuffer(int bytes) { receiveBuffer_ = bytes; }
    // Binds to the local address, then connects to 127.0.0.1:port.
    bool Connect(std::uint16_t port, int timeoutMs = kDefaultTimeoutMs);
    void Close();

    // One message (header + payload); each part between the split offsets is its own write.
    bool Send(std::uint16_t code, std::uint16_t tag, const QByteArray& payload = {},
              const std::vector<qsizetype>& splitAt = {});
    bool SendRaw(const QByteArray& bytes, const std::vector<qsizetype>& splitAt = {});
    static QByteArray Encode(std::uint16_t code, std::uint16_t tag, const QByteArray& payload = {});

    std::optional<WireMessage> ReadMessage(int timeoutMs = kDefaultTimeoutMs);
    std::optional<std::uint8_t> ReadByte(int timeoutMs = kDefaultTimeoutMs);
    // True when the agent ended the connection (end of stream or reset) within the time limit;
    // bytes that arrive first are dropped.
    bool ReadEndOfStream(int timeoutMs = kDefaultTimeoutMs);

    // Send, then read one message.
    std::optional<WireMessage> Request(std::uint16_t code, std::uint16_t tag, const QByteArray& payload = {});
    // Send, then read a reply that may come in AS_FRAGMENT pieces (each fetched with one more
    // message); the pieces are joined into the last message's payload.
    std::optional<WireMessage> LongRequest(std::uint16_t code, std::uint16_t tag, const QByteArray& payload = {});

private:
    // Reads until at least `count` bytes are buffered; false on time-out or end of stream.
    bool Fill(qsizetype count, int timeoutMs);

    QString local_;
    int fd_ = -1;
    QByteArray buffer_;
    bool ended_ = false;
    int receiveBuffer_ = 0;
};
