// Every local file name has exactly one name on the wire, and that name reaches exactly it:
// real backslashes, the stand-in characters themselves and bytes that are not UTF-8.
#include <fcntl.h>
#include <unistd.h>

#include "dispatch/file_request_fixture.h"
#include "platform/local_name_codec.h"

namespace file_requests {
namespace {

TEST(LocalNameCodecTest, DecodingIsOneToOne)
{
    const QByteArray names[] = {
        "plain.txt",
        "caf\xc3\xa9",
        "bad\xff\xfe",
        "\xc0\x80overlong",
        "\xed\xa0\x80surrogate",
        "\xef\x9e\x80literal stand-in",  // U+F780 spelled in UTF-8
        "\xef\x9d\xbfliteral escape",    // U+F77F
        "\xf0\x9f\x98\x80" "emoji",
        "cut\xe2\x82",
    };
    QSet<QString> texts;
    for (const QByteArray& name : names) {
        const QString text = DecodeLocalPath(name);
        EXPECT_EQ(EncodeLocalPath(text), name) << name.toHex().constData();
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), static_cast<qsizetype>(std::size(names)));
    EXPECT_EQ(DecodeLocalPath("plain.txt"), QStringLiteral("plain.txt"));
    EXPECT_EQ(DecodeLocalPath("caf\xc3\xa9"), QStringLiteral("caf\u00e9"));

    for (const QString& text : {QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b"), QString(QChar(0xDC00)),
                                QStringLiteral("x") + QChar(kLocalNameEscape) + QStringLiteral("y")})
        EXPECT_THROW(EncodeLocalPath(text), AgentError);
}

TEST(PeerNameTest, BackslashStandInsAreOneToOne)
{
    const QString backslash = QStringLiteral("x\\y.txt");
    const QString standIn = QStringLiteral("x") + QChar(0xF05C) + QStringLiteral("y.txt");
    const QString escape = QStringLiteral("x") + QChar(0xF05D) + QStringLiteral("y.txt");
    QSet<QString> peerNames;
    for (const QString& local : {backslash, standIn, escape}) {
        const QString peer = PeerNameOfLocalName(local);
        EXPECT_FALSE(peer.contains(QLatin1Char('\\')));
        EXPECT_EQ(LocalNameOfPeerName(peer), local);
        peerNames.insert(peer);
    }
    EXPECT_EQ(peerNames.size(), 3);
    EXPECT_THROW(LocalNameOfPeerName(QStringLiteral("x") + QChar(0xF05D)), AgentError);
}

class FileNamesTest : public FileRequestTest {
protected:
    // Creates a file by its raw name below C:\names.
    void Plant(const QByteArray& rawName, const QByteArray& content)
    {
        QDir().mkpath(Local(QStringLiteral("names")));
        const QByteArray path = QFile::encodeName(Local(QStringLiteral("names"))) + '/' + rawName;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, content.constData(), static_cast<size_t>(content.size())), content.size());
        ::close(fd);
    }
    bool RawExists(const QByteArray& rawName)
    {
        const QByteArray path = QFile::encodeName(Local(QStringLiteral("names"))) + '/' + rawName;
        return ::access(path.constData(), F_OK) == 0;
    }
    QStringList Listed()
    {
        const Reply reply = Request(AS_GET_DIR_LIST, Counted(QStringLiteral("C:\\names")));
        EXPECT_EQ(reply.code, AS_GET_DIR_LIST + 1);
        QStringList names;
        ByteReader r(reply.payload);
        while (r.Remaining() > 4) {  // the listing ends in a zero word
            r.U32();
            r.U64();
            r.U64();
            names.append(r.CountedUtf16());
        }
        return names;
    }
};

TEST_F(FileNamesTest, EveryListedNameReachesItsOwnFile)
{
    const QByteArray raw[] = {"x\\y.txt", "x\xef\x81\x9cy.txt" /* U+F05C */, "bad\xff.txt", "bad\xef\xbf\xbd.txt"};
    for (const QByteArray& name : raw) Plant(name, "content of " + name.toHex());
    const QStringList names = Listed();
    ASSERT_EQ(names.size(), 4);
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 4);
    for (const QString& name : names) {
        const Reply reply = Request(AS_GET_FILE, Counted(QStringLiteral("C:\\names\\") + name) + U64(0) + U16Bytes(100));
        ASSERT_EQ(reply.code, AS_GET_FILE + 1) << name.toStdString();
        EXPECT_TRUE(reply.payload.startsWith("content of ")) << name.toStdString();
        const QByteArray rawName = QByteArray::fromHex(reply.payload.mid(11));
        EXPECT_EQ(PeerNameOfLocalName(DecodeLocalPath(rawName)), name);
    }
    // Deleting one leaves the look-alikes alone.
    const int backslash = static_cast<int>(names.indexOf(PeerNameOfLocalName(QStringLiteral("x\\y.txt"))));
    ASSERT_GE(backslash, 0);
    EXPECT_EQ(Request(AS_DELETE_FILE, Utf16z(QStringLiteral("C:\\names\\") + names[backslash])).code, AS_DELETE_FILE + 1);
    EXPECT_FALSE(RawExists(raw[0]));
    for (int i = 1; i < 4; ++i) EXPECT_TRUE(RawExists(raw[i]));
}

TEST_F(FileNamesTest, UnpairedSurrogatesNameNoFile)
{
    const QString name = QStringLiteral("C:\\s") + QChar(0xD800) + QStringLiteral("x");
    EXPECT_EQ(Request(AS_SET_FILE, Counted(name) + U64(0) + U16Bytes(1) + "w").code, AS_ERROR);
    EXPECT_TRUE(Snapshot().empty());
}

}  // namespace
}  // namespace file_requests
