#include "common/byte_io.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <functional>

namespace {

QByteArray Raw(std::initializer_list<int> bytes)
{
    QByteArray out;
    for (int b : bytes) out.append(static_cast<char>(b));
    return out;
}

TEST(ByteReader, ReadsLittleEndianNumbers)
{
    const QByteArray data = Raw({0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0x08, 0x07,
                                 0x06, 0x05, 0x04, 0x03, 0x02, 0x01});
    ByteReader r(data);
    EXPECT_EQ(r.U8(), 0x01);
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_EQ(r.U32(), 0x12345678u);
    EXPECT_EQ(r.I32(), -2);
    EXPECT_EQ(r.U64(), 0x0102030405060708ull);
    EXPECT_TRUE(r.AtEnd());

    QByteArray written;
    ByteWriter w(written);
    w.U8(0x01);
    w.U16(0x1234);
    w.U32(0x12345678u);
    w.I32(-2);
    w.U64(0x0102030405060708ull);
    EXPECT_EQ(written, data);
}

TEST(ByteReader, ReadPastTheEndThrows)
{
    struct Case {
        const char* label;
        int size;
        std::function<void(ByteReader&)> read;
        std::size_t positionAfter;  // a read that fails part-way keeps what it consumed before
    };
    const Case cases[] = {
        {"U8 of nothing", 0, [](ByteReader& r) { r.U8(); }, 0},
        {"U16 of 1", 1, [](ByteReader& r) { r.U16(); }, 0},
        {"U32 of 3", 3, [](ByteReader& r) { r.U32(); }, 0},
        {"U64 of 7", 7, [](ByteReader& r) { r.U64(); }, 4},
        {"F64 of 4", 4, [](ByteReader& r) { r.F64(); }, 4},
        {"Bytes 5 of 4", 4, [](ByteReader& r) { r.Bytes(5); }, 0},
        {"Bytes huge", 4, [](ByteReader& r) { r.Bytes(static_cast<std::size_t>(-1)); }, 0},
        {"Skip 3 of 2", 2, [](ByteReader& r) { r.Skip(3); }, 0},
        {"Utf16 6 of 4", 4, [](ByteReader& r) { r.Utf16(6); }, 0},
        {"Utf16 odd", 4, [](ByteReader& r) { r.Utf16(3); }, 0},
        {"CountedUtf16 count past end", 4, [](ByteReader& r) { r.CountedUtf16(); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        // A heap buffer of the exact size, so the sanitizers see any read past it.
        const QByteArray data(c.size, 'B');  // 0x4242: an even count
        ByteReader r(data);
        EXPECT_THROW(c.read(r), MalformedData);
        EXPECT_EQ(r.Position(), c.positionAfter);
    }
}

TEST(ByteReader, CountedUtf16WithOddCountThrows)
{
    const QByteArray data = Raw({0x03, 0x00, 'a', 0, 'b'});
    ByteReader r(data);
    EXPECT_THROW(r.CountedUtf16(), MalformedData);
}

TEST(ByteReader, Utf16CutsAtFirstZeroButConsumesAll)
{
    const QByteArray data = Raw({'a', 0, 'b', 0, 0, 0, 'c', 0, 0xAA});
    ByteReader r(data);
    EXPECT_EQ(r.Utf16(8), QStringLiteral("ab"));
    EXPECT_EQ(r.Position(), 8u);
}

TEST(ByteReader, ZeroTerminatedUtf16)
{
    struct Case {
        const char* label;
        QByteArray data;
        QString text;
        std::size_t endPosition;
    };
    const Case cases[] = {
        {"terminated", Raw({'h', 0, 'i', 0, 0, 0, 'x', 0}), QStringLiteral("hi"), 6},
        {"empty text", Raw({0, 0, 'x', 0}), QString(), 2},
        {"runs to the end", Raw({'h', 0, 'i', 0}), QStringLiteral("hi"), 4},
        {"no data", QByteArray(), QString(), 0},
        {"odd trailing byte", Raw({'h', 0, 'i'}), QStringLiteral("h"), 3},
        {"single byte", Raw({'h'}), QString(), 1},
        {"terminator is last", Raw({'h', 0, 0, 0}), QStringLiteral("h"), 4},
        {"non-ASCII", Raw({0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}), QString::fromUtf8("é😀"), 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ByteReader r(c.data);
        EXPECT_EQ(r.ZeroTerminatedUtf16(), c.text);
        EXPECT_EQ(r.Position(), c.endPosition);
        EXPECT_EQ(r.AtEnd(), c.endPosition == static_cast<std::size_t>(c.data.size()));
    }
}

TEST(ByteReader, ZeroTerminatedUtf16ReadsFromCurrentPosition)
{
    const QByteArray data = Raw({0x07, 'o', 0, 'k', 0, 0, 0});
    ByteReader r(data);
    r.U8();
    EXPECT_EQ(r.ZeroTerminatedUtf16(), QStringLiteral("ok"));
    EXPECT_TRUE(r.AtEnd());
    EXPECT_EQ(r.ZeroTerminatedUtf16(), QString());
}

TEST(ByteWriter, Utf16FixedCutsOrPads)
{
    struct Case {
        QString text;
        int units;
        QByteArray bytes;
    };
    const Case cases[] = {
        {QStringLiteral("ab"), 4, Raw({'a', 0, 'b', 0, 0, 0, 0, 0})},
        {QStringLiteral("abcd"), 2, Raw({'a', 0, 'b', 0})},
        {QString(), 1, Raw({0, 0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        QByteArray out;
        ByteWriter(out).Utf16Fixed(c.text, c.units);
        EXPECT_EQ(out, c.bytes);
    }
}

TEST(ByteWriter, CountedUtf16RoundTripsAndRefusesWhatDoesNotFit)
{
    QByteArray out;
    ByteWriter w(out);
    w.CountedUtf16(QString::fromUtf8("Zoë"));
    EXPECT_EQ(out, Raw({6, 0, 'Z', 0, 'o', 0, 0xEB, 0}));
    EXPECT_EQ(ByteReader(out).CountedUtf16(), QString::fromUtf8("Zoë"));

    QByteArray big;
    EXPECT_THROW(ByteWriter(big).CountedUtf16(QString(32768, QLatin1Char('x'))), AgentError);
    ByteWriter(big).CountedUtf16(QString(32767, QLatin1Char('x')));
    EXPECT_EQ(big.size(), 2 + 65534);
}

TEST(Utf16, FromBytesUpToZeroIgnoresOddLastByte)
{
    const QByteArray data = Raw({'a', 0, 'b'});
    EXPECT_EQ(utf16::FromBytesUpToZero(AsBytes(data)), QStringLiteral("a"));
    EXPECT_EQ(utf16::UpToZero(QStringLiteral("ab") + QChar(0) + QStringLiteral("c")), QStringLiteral("ab"));
    EXPECT_EQ(utf16::Bytes(QStringLiteral("ab")), Raw({'a', 0, 'b', 0}));
}

}  // namespace
