// The framing of one connection, driven through a fake transport and the real dispatcher:
// request assembly, long replies in AS_FRAGMENT pieces, long requests from AS_PUT_FRAGMENT
// pieces, and the bounds of both.
#include "net/serv_socket.h"

#include <gtest/gtest.h>

#include <QFile>
#include <optional>
#include <vector>

#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_context.h"
#include "net/socket_error_log.h"
#include "support/temp_home.h"

namespace {

QByteArray Message(std::uint16_t code, std::uint16_t tag, const QByteArray& payload = {},
                   std::optional<std::uint16_t> announcedLength = std::nullopt)
{
    QByteArray m(6, '\0');
    auto* p = reinterpret_cast<std::uint8_t*>(m.data());
    PutU16(p, code);
    PutU16(p + 2, tag);
    PutU16(p + 4, announcedLength.value_or(static_cast<std::uint16_t>(payload.size())));
    return m + payload;
}

QByteArray Pattern(qsizetype size, int seed = 0)
{
    QByteArray b(size, '\0');
    for (qsizetype i = 0; i < size; ++i) b[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return b;
}

struct Sent {
    std::uint16_t code = 0;
    std::uint16_t tag = 0;
    QByteArray payload;
    bool raw = false;
};

// Every SendAll is one message (or one raw acknowledgement).
class FakeTransport : public SocketTransport {
public:
    bool SendAll(const std::uint8_t* data, std::size_t size) override
    {
        QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        Sent s;
        if (size >= 6 && GetU16(data + 4) == size - 6) {
            s.code = GetU16(data);
            s.tag = GetU16(data + 2);
            s.payload = bytes.mid(6);
        } else {
            s.raw = true;
            s.payload = bytes;
        }
        sent.push_back(s);
        return true;
    }
    void Abort() override { ++aborts; }

    std::vector<Sent> Take() { return std::exchange(sent, {}); }

    std::vector<Sent> sent;
    int aborts = 0;
};

constexpr std::uint16_t kTag = 0xBEEF;
// A request code left to test-only handlers: it may fragment its reply.
constexpr std::uint16_t kLongReplyCode = AS_GET_CONTACT;
// A request that consumes the AS_PUT_FRAGMENT pieces.
constexpr std::uint16_t kConsumingCode = AS_SET_CONTACT;

class ServSocketTest : public ::testing::Test {
protected:
    ServSocketTest()
    {
        dispatcher.SetHandler(kLongReplyCode, [this](RequestContext& ctx) { ctx.Reply(longReply); });
        dispatcher.SetHandler(kConsumingCode, [this](RequestContext& ctx) {
            consumed.push_back(ctx.TakeConsumingPayload());
            ctx.Reply();
        });
    }

    void Receive(const QByteArray& bytes) { socket.OnReceive(AsBytes(bytes)); }

    QByteArray SocketLog() const
    {
        QFile f(home.Path(".local/share/TwinLark/logSocket.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    TempHome home;
    LogFile log;
    Agent agent{log};
    Dispatcher dispatcher{agent};
    SocketErrorLog errorLog;
    FakeTransport transport;
    CServSocket socket{
        transport,
        [this](std::uint16_t code, std::uint16_t tag, ByteView payload, ReplyChannel& channel) {
            dispatcher.DispatchCommand(code, tag, payload, channel);
        },
        &errorLog};
    QByteArray longReply;
    std::vector<QByteArray> consumed;
};

TEST_F(ServSocketTest, RequestSplitAnywhereIsDispatchedOnceComplete)
{
    const QByteArray request = Message(AS_MACHINE_ID, kTag, utf16::Bytes(QStringLiteral("peer-A")));
    for (qsizetype cut = 1; cut < request.size(); ++cut) {
        SCOPED_TRACE(cut);
        Receive(request.left(cut));
        EXPECT_TRUE(transport.sent.empty());
        Receive(request.mid(cut));
        const auto sent = transport.Take();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].code, AS_MACHINE_ID + 1);
        EXPECT_EQ(sent[0].tag, kTag);
        EXPECT_EQ(agent.machineId, QStringLiteral("peer-A"));
        agent.machineId.clear();
    }
}

TEST_F(ServSocketTest, ZeroLengthPayloadIsDispatchedAtSixBytes)
{
    Receive(Message(AS_GET_OWNER, kTag).left(5));
    EXPECT_TRUE(transport.sent.empty());
    Receive(Message(AS_GET_OWNER, kTag).right(1));
    const auto sent = transport.Take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, AS_GET_OWNER + 1);
    EXPECT_EQ(sent[0].tag, kTag);
}

TEST_F(ServSocketTest, OnlyTheFirstOfTwoRequestsInOneReadIsServed)
{
    Receive(Message(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("first"))) +
            Message(AS_MACHINE_ID, 2, utf16::Bytes(QStringLiteral("second"))));
    const auto sent = transport.Take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].tag, 1);
    EXPECT_EQ(agent.machineId, QStringLiteral("first"));

    // The next read starts a new request.
    Receive(Message(AS_GET_OWNER, 3));
    ASSERT_EQ(transport.sent.size(), 1u);
    EXPECT_EQ(transport.sent[0].tag, 3);
}

TEST_F(ServSocketTest, LengthBeyondOneMessageAbortsAndIsLogged)
{
    for (const std::uint16_t length : {std::uint16_t(16379), std::uint16_t(65535)}) {
        SCOPED_TRACE(length);
        transport.aborts = 0;
        // Far more bytes than the receive buffer holds arrive; none is written past it.
        Receive(Message(kLongReplyCode, kTag, Pattern(70000), length));
        EXPECT_EQ(transport.aborts, 1);
        EXPECT_TRUE(transport.Take().empty());
        EXPECT_TRUE(SocketLog().contains(QByteArray::number(length)));
    }
    // The largest legal message still goes through, and extra bytes in its read are dropped.
    longReply = "ok";
    Receive(Message(kLongReplyCode, kTag, Pattern(16378)) + Pattern(5000));
    const auto sent = transport.Take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, kLongReplyCode + 1);
}

TEST_F(ServSocketTest, LongRepliesTravelInPiecesCarryingTheTag)
{
    struct Case {
        qsizetype size;
        std::vector<qsizetype> pieces;
    };
    const Case cases[] = {
        {16378, {16378}}, {16379, {16378, 1}}, {32756, {16378, 16378}}, {40000, {16378, 16378, 7244}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        longReply = Pattern(c.size, static_cast<int>(c.size));
        Receive(Message(kLongReplyCode, kTag));
        QByteArray joined;
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            if (i > 0) Receive(Message(AS_STATUS, 0x1111));  // any message fetches the next piece
            const auto sent = transport.Take();
            ASSERT_EQ(sent.size(), 1u);
            const bool last = i + 1 == c.pieces.size();
            EXPECT_EQ(sent[0].code, last ? kLongReplyCode + 1 : AS_FRAGMENT);
            EXPECT_EQ(sent[0].tag, kTag);
            EXPECT_EQ(sent[0].payload.size(), c.pieces[i]);
            joined += sent[0].payload;
        }
        EXPECT_EQ(joined, longReply);
        EXPECT_FALSE(socket.PiecesPending());
    }
}

TEST_F(ServSocketTest, RequestSentWhilePiecesArePendingOnlyFetchesTheNextPiece)
{
    longReply = Pattern(20000);
    Receive(Message(kLongReplyCode, kTag));
    transport.Take();
    Receive(Message(AS_MACHINE_ID, 7, utf16::Bytes(QStringLiteral("intruder"))));
    const auto sent = transport.Take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, kLongReplyCode + 1);
    EXPECT_EQ(sent[0].tag, kTag);
    EXPECT_TRUE(agent.machineId.isEmpty());
}

TEST_F(ServSocketTest, PutFragmentPiecesPrecedeTheConsumingRequestsPayload)
{
    QByteArray expected;
    for (int i = 0; i < 3; ++i) {
        const QByteArray piece = Pattern(16000, i);
        expected += piece;
        Receive(Message(AS_PUT_FRAGMENT, kTag, piece));
        const auto sent = transport.Take();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_TRUE(sent[0].raw);
        EXPECT_EQ(sent[0].payload, QByteArray(1, char(kPutFragmentAck)));
    }
    // An empty piece is acknowledged too and adds nothing.
    Receive(Message(AS_PUT_FRAGMENT, kTag));
    ASSERT_EQ(transport.Take().size(), 1u);
    EXPECT_EQ(agent.fragments.Size(), 48000);

    const QByteArray last = Pattern(500, 9);
    expected += last;
    Receive(Message(kConsumingCode, kTag, last));
    ASSERT_EQ(consumed.size(), 1u);
    EXPECT_EQ(consumed[0].size(), 48500);
    EXPECT_EQ(consumed[0], expected);
    EXPECT_EQ(agent.fragments.Size(), 0);

    // With nothing accumulated a consuming request has its own payload alone.
    Receive(Message(kConsumingCode, kTag, "abc"));
    ASSERT_EQ(consumed.size(), 2u);
    EXPECT_EQ(consumed[1], QByteArray("abc"));
}

TEST_F(ServSocketTest, LongRequestsAssembleByteForByteAcrossTheBlocksGrowth)
{
    constexpr qsizetype kFull = 16378;
    // Pieces of each length in turn, then the consuming request's own payload. Full pieces in
    // runs that cross every doubling of the block, odd sizes that end between pieces, and a
    // request that fills the cap exactly and still carries a full final payload.
    struct Case {
        const char* name;
        std::vector<qsizetype> pieces;
        qsizetype last;
    };
    std::vector<Case> cases = {
        {"one byte, then a full payload", {1}, kFull},
        {"odd sizes", {7, kFull, 0, 1, kFull - 1, 3}, 1},
        {"an empty final payload", {kFull, kFull}, 0},
    };
    for (int full : {2, 3, 4, 5, 8, 9, 17, 64, 65, 1025})
        cases.push_back({"full pieces", std::vector<qsizetype>(static_cast<std::size_t>(full), kFull), kFull});
    Case atCap{"exactly the cap", std::vector<qsizetype>(FragmentBuffer::kCapBytes / kFull, kFull), kFull};
    atCap.pieces.push_back(FragmentBuffer::kCapBytes % kFull);
    cases.push_back(atCap);

    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << ", " << c.pieces.size() << " pieces");
        QByteArray expected;
        int seed = 0;
        for (qsizetype size : c.pieces) {
            const QByteArray piece = Pattern(size, ++seed);
            expected += piece;
            Receive(Message(AS_PUT_FRAGMENT, kTag, piece));
            const auto sent = transport.Take();
            ASSERT_EQ(sent.size(), 1u);
            ASSERT_TRUE(sent[0].raw);
        }
        const QByteArray last = Pattern(c.last, ++seed);
        expected += last;
        Receive(Message(kConsumingCode, kTag, last));
        ASSERT_EQ(transport.Take().size(), 1u);
        ASSERT_EQ(consumed.size(), 1u);
        EXPECT_EQ(consumed[0].size(), expected.size());
        EXPECT_TRUE(consumed[0] == expected);  // no dump of megabytes on failure
        EXPECT_EQ(agent.fragments.HeldBytes(), 0);
        consumed.clear();
    }
}

TEST_F(ServSocketTest, LongRequestPastTheCapIsRefusedWholeAndMemoryReturned)
{
    const QByteArray piece = Pattern(16378);
    int acks = 0;
    std::vector<Sent> refusals;
    while (refusals.empty()) {
        Receive(Message(AS_PUT_FRAGMENT, kTag, piece));
        for (const Sent& s : transport.Take()) {
            if (s.raw)
                ++acks;
            else
                refusals.push_back(s);
        }
        ASSERT_LE(agent.fragments.Size(), FragmentBuffer::kCapBytes);
    }
    EXPECT_EQ(acks, FragmentBuffer::kCapBytes / 16378);
    EXPECT_EQ(refusals[0].code, AS_ERROR);
    EXPECT_EQ(refusals[0].tag, kTag);
    EXPECT_EQ(agent.fragments.Size(), 0);

    // The rest of that long request is refused too, its consuming request included, so no
    // request ever runs on a truncated payload.
    Receive(Message(AS_PUT_FRAGMENT, kTag, piece));
    auto sent = transport.Take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, AS_ERROR);
    Receive(Message(kConsumingCode, kTag, "end"));
    sent = transport.Take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, AS_ERROR);
    EXPECT_TRUE(consumed.empty());

    // The next long request is served normally, and its memory goes with it.
    Receive(Message(AS_PUT_FRAGMENT, kTag, "12"));
    EXPECT_GT(agent.fragments.HeldBytes(), 0);
    Receive(Message(kConsumingCode, kTag, "34"));
    ASSERT_EQ(consumed.size(), 1u);
    EXPECT_EQ(agent.fragments.HeldBytes(), 0);
    EXPECT_EQ(consumed[0], QByteArray("1234"));
}

TEST_F(ServSocketTest, ResetForgetsPartialRequestAndPendingPieces)
{
    Receive(Message(AS_MACHINE_ID, 1, utf16::Bytes(QStringLiteral("old"))).left(9));
    socket.Reset();
    Receive(Message(AS_GET_OWNER, 2));
    auto sent = transport.Take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, AS_GET_OWNER + 1);
    EXPECT_EQ(sent[0].tag, 2);

    longReply = Pattern(20000);
    Receive(Message(kLongReplyCode, 3));
    transport.Take();
    socket.Reset();
    EXPECT_FALSE(socket.PiecesPending());
    Receive(Message(AS_GET_OWNER, 4));
    sent = transport.Take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, AS_GET_OWNER + 1);
}

TEST_F(ServSocketTest, FailedReadsAreLoggedOneLineEach)
{
    socket.OnReadFailed();
    longReply = Pattern(20000);
    Receive(Message(kLongReplyCode, kTag));
    socket.OnReadFailed();
    EXPECT_EQ(SocketLog(), QByteArray("Receive Size == -1\nReceive Fragment Size == -1\n"));
    // The pending reply is untouched by the failed read.
    EXPECT_TRUE(socket.PiecesPending());
}

}  // namespace
