#include "dispatch/bookmark_record_codec.h"

#include <gtest/gtest.h>

namespace {

QByteArray Field(const QString& name, const QString& value)
{
    QByteArray out;
    ByteWriter w(out);
    w.U32(static_cast<std::uint32_t>(2 * name.size()));
    w.Utf16(name);
    w.U32(static_cast<std::uint32_t>(2 * value.size()));
    w.Utf16(value);
    return out;
}

QByteArray Count(std::uint16_t n)
{
    QByteArray out;
    ByteWriter(out).U16(n);
    return out;
}

BookmarkRecord Decode(const QByteArray& bytes)
{
    ByteReader r(bytes);
    return DecodeBookmarkFields(r);
}

TEST(BookmarkRecordCodec, EncodesPathNameUrlInOrder)
{
    QByteArray out;
    ByteWriter w(out);
    EncodeBookmarkFields({"Links", "News", "http://n/"}, w);
    EXPECT_EQ(out, Count(3) + Field("Path", "Links") + Field("Name", "News") + Field("Url", "http://n/"));
    EXPECT_EQ(Decode(out), (BookmarkRecord{"Links", "News", "http://n/"}));
}

TEST(BookmarkRecordCodec, DecodesFieldsInAnyOrderAndSkipsUnknownOnes)
{
    // The value of an unknown field is skipped by its length, so "Url" behind it is still read.
    EXPECT_EQ(Decode(Count(4) + Field("Url", "http://u/") + Field("Title", "ignored") + Field("Name", "N") +
                     Field("url", "wrong case")),
              (BookmarkRecord{"", "N", "http://u/"}));
    // A missing field is empty; a value ends at its first zero unit; the last of a name wins.
    EXPECT_EQ(Decode(Count(3) + Field("Name", QStringLiteral("A") + QChar(0) + "B") + Field("Path", "p1") +
                     Field("Path", "p2")),
              (BookmarkRecord{"p2", "A", ""}));
    EXPECT_EQ(Decode(Count(0)), BookmarkRecord{});
}

TEST(BookmarkRecordCodec, LengthsBeyondThePayloadAreMalformed)
{
    const QByteArray good = Count(1) + Field("Name", "N");
    EXPECT_THROW(Decode(Count(2) + Field("Name", "N")), MalformedData);  // a field short
    EXPECT_THROW(Decode(good.left(good.size() - 1)), MalformedData);     // a value cut
    EXPECT_THROW(Decode(Count(1) + QByteArray::fromHex("ffffffff") + "N\0"),
                 MalformedData);  // negative length
    EXPECT_THROW(Decode(QByteArray(1, '\1')), MalformedData);
}

}  // namespace
