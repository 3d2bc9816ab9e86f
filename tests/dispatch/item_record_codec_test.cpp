#include "dispatch/item_record_codec.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <limits>

#include "common/errors.h"
#include "common/item_id.h"

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// Builds blob bytes field by field, including lengths that lie.
class Blob {
public:
    Blob() = default;
    Blob(const Blob&) = delete;  // the writer refers to this object's bytes
    Blob& Count(std::uint16_t n)
    {
        w_.U16(n);
        return *this;
    }
    Blob& Length(std::int32_t n)
    {
        w_.I32(n);
        return *this;
    }
    Blob& Text(const QString& s)
    {
        w_.Utf16(s);
        return *this;
    }
    Blob& Int(std::int32_t n)
    {
        w_.I32(n);
        return *this;
    }
    Blob& Raw(const QByteArray& b)
    {
        w_.Bytes(b);
        return *this;
    }
    // A well-formed name: its byte length and its units.
    Blob& Name(const QString& s) { return Length(static_cast<std::int32_t>(2 * s.size())).Text(s); }
    QByteArray bytes;

private:
    ByteWriter w_{bytes};
};

ItemRecord Decode(const QByteArray& blob, bool withId = false, QString* id = nullptr)
{
    ItemRecord record;
    DecodeItemRecord(AsBytes(blob), withId, record, id);
    return record;
}

TEST(ItemRecordCodec, EncodesFieldsByteExact)
{
    ItemRecord record;
    record.Add(QStringLiteral("Importance"), 2);
    const QByteArray blob = EncodeItemRecord(QString(), record);
    ASSERT_EQ(blob.size(), 98 + 32);
    EXPECT_EQ(blob.left(96), QByteArray(96, '\0'));
    EXPECT_EQ(blob.mid(96, 2), Hex("0100"));
    EXPECT_EQ(blob.mid(98), Hex("14000000"
                                "49006d0070006f007200740061006e0063006500"  // "Importance"
                                "04000000"
                                "02000000"));
}

TEST(ItemRecordCodec, EmptyRecordIs98BytesWithTheIdentifierFirst)
{
    const QString id = NewItemId();
    ItemRecord record;
    const QByteArray blob = EncodeItemRecord(id, record);
    ASSERT_EQ(blob.size(), 98);
    EXPECT_EQ(blob.left(96), utf16::Bytes(id));
    EXPECT_EQ(blob.mid(96), Hex("0000"));

    QString decodedId;
    EXPECT_TRUE(Decode(blob, true, &decodedId).Empty());
    EXPECT_EQ(decodedId, id);
    EXPECT_TRUE(Decode(blob.mid(96)).Empty());
}

TEST(ItemRecordCodec, IdentifierIsCutOrPaddedTo96Bytes)
{
    ItemRecord record;
    QByteArray blob = EncodeItemRecord(QStringLiteral("ABCDEFGHIJ"), record);
    EXPECT_EQ(blob.left(96), utf16::Bytes(QStringLiteral("ABCDEFGHIJ")) + QByteArray(76, '\0'));
    QString id;
    Decode(blob, true, &id);
    EXPECT_EQ(id, QStringLiteral("ABCDEFGHIJ"));

    blob = EncodeItemRecord(QString(60, QLatin1Char('Z')), record);
    ASSERT_EQ(blob.size(), 98);
    EXPECT_EQ(blob.left(96), utf16::Bytes(QString(48, QLatin1Char('Z'))));
}

TEST(ItemRecordCodec, EncoderRemovesEmptyTexts)
{
    ItemRecord record;
    record.Add(QStringLiteral("Subject"), QString());
    record.Add(QStringLiteral("Body"), QString(QChar(0)) + QStringLiteral("hidden"));  // empty up to its zero
    record.Add(QStringLiteral("Importance"), 1);
    record.Add(QStringLiteral("Location"), QString());
    const QByteArray blob = EncodeItemRecord(QString(), record);

    EXPECT_EQ(record.names, QStringList{QStringLiteral("Importance")});
    ASSERT_EQ(record.values.size(), 1u);
    EXPECT_EQ(std::get<std::int32_t>(record.values[0]), 1);
    EXPECT_EQ(blob.size(), 98 + 32);
    EXPECT_EQ(blob.mid(96, 2), Hex("0100"));
    EXPECT_EQ(Decode(blob, true), record);
}

TEST(ItemRecordCodec, TextTravelsUpToItsFirstZeroUnit)
{
    ItemRecord record;
    record.Add(QStringLiteral("Body"), QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"));
    const QByteArray blob = EncodeItemRecord(QString(), record);
    EXPECT_EQ(blob.mid(98), Blob().Name(QStringLiteral("Body")).Length(4).Text(QStringLiteral("ab")).bytes);

    // A zero unit inside the bytes of a decoded text cuts it too; the next field still follows.
    const QByteArray wire = Blob()
                                .Count(2)
                                .Name(QStringLiteral("Body"))
                                .Length(8)
                                .Raw(Hex("6100620000006300"))  // "ab", zero, "c"
                                .Name(QStringLiteral("Subject"))
                                .Length(2)
                                .Text(QStringLiteral("s"))
                                .bytes;
    const ItemRecord decoded = Decode(wire);
    ASSERT_EQ(decoded.FieldCount(), 2);
    EXPECT_EQ(std::get<QString>(decoded.values[0]), QStringLiteral("ab"));
    EXPECT_EQ(std::get<QString>(decoded.values[1]), QStringLiteral("s"));
}

TEST(ItemRecordCodec, IntegerFieldAlwaysConsumesFourBytes)
{
    // The value length says 8, but an integer is 4 bytes: the next name length follows them.
    const QByteArray wire = Blob()
                                .Count(2)
                                .Name(QStringLiteral("Duration"))
                                .Length(8)
                                .Int(90)
                                .Name(QStringLiteral("Subject"))
                                .Length(4)
                                .Text(QStringLiteral("hi"))
                                .bytes;
    const ItemRecord decoded = Decode(wire);
    ASSERT_EQ(decoded.FieldCount(), 2);
    EXPECT_EQ(decoded.names, (QStringList{QStringLiteral("Duration"), QStringLiteral("Subject")}));
    EXPECT_EQ(std::get<std::int32_t>(decoded.values[0]), 90);
    EXPECT_EQ(std::get<QString>(decoded.values[1]), QStringLiteral("hi"));
}

TEST(ItemRecordCodec, IntegerNamesAreCaseSensitive)
{
    const QByteArray wire =
        Blob().Count(1).Name(QStringLiteral("color")).Length(4).Raw(Hex("41004200")).bytes;
    const ItemRecord decoded = Decode(wire);
    ASSERT_EQ(decoded.FieldCount(), 1);
    ASSERT_TRUE(std::holds_alternative<QString>(decoded.values[0]));
    EXPECT_EQ(std::get<QString>(decoded.values[0]), QStringLiteral("AB"));

    EXPECT_TRUE(IsIntegerFieldName(QStringLiteral("Color")));
    EXPECT_FALSE(IsIntegerFieldName(QStringLiteral("color")));
    EXPECT_EQ(IntegerFieldNames().size(), 37);
    for (const QString& name : IntegerFieldNames())
        EXPECT_TRUE(IsIntegerFieldName(name)) << name.toStdString();
}

TEST(ItemRecordCodec, PictureOfLengthZero)
{
    const QByteArray wire = Blob().Count(1).Name(QStringLiteral("Picture")).Length(0).bytes;
    const ItemRecord decoded = Decode(wire);
    ASSERT_EQ(decoded.FieldCount(), 1);
    EXPECT_EQ(decoded.names[0], QStringLiteral("Picture"));
    EXPECT_EQ(std::get<QString>(decoded.values[0]), QStringLiteral("Picture"));
    EXPECT_EQ(decoded.pictureBytes, Hex("00000000"));
}

TEST(ItemRecordCodec, PictureTravelsAsItsImageBytes)
{
    ItemRecord record;
    record.Add(QStringLiteral("FirstName"), QStringLiteral("Ann"));
    record.Add(QStringLiteral("Picture"), QString());  // the value under that name is not sent
    record.SetPicture(Hex("ffd8ffe0"));
    record.pictureBytes.append(Hex("eeee"));  // bytes past the count are not part of the picture
    const QByteArray blob = EncodeItemRecord(QString(), record);
    EXPECT_EQ(blob.mid(98), Blob()
                                .Name(QStringLiteral("FirstName"))
                                .Length(6)
                                .Text(QStringLiteral("Ann"))
                                .Name(QStringLiteral("Picture"))
                                .Length(4)
                                .Raw(Hex("ffd8ffe0"))
                                .bytes);
    const ItemRecord decoded = Decode(blob, true);
    EXPECT_EQ(decoded.pictureBytes, Hex("04000000ffd8ffe0"));
    EXPECT_EQ(decoded.PictureImage(), Hex("ffd8ffe0"));
    EXPECT_EQ(std::get<QString>(decoded.values[1]), QStringLiteral("Picture"));
}

TEST(ItemRecordCodec, EncoderRefusesPictureBytesShorterThanTheirCount)
{
    struct Case {
        const char* label;
        QByteArray pictureBytes;
    };
    const Case cases[] = {
        {"none", QByteArray()},
        {"count cut", Hex("0400")},
        {"image short", Hex("04000000ffd8ff")},
        {"count over 2 GiB", Hex("ffffffff00")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ItemRecord record;
        record.Add(QStringLiteral("Picture"), QStringLiteral("Picture"));
        record.pictureBytes = c.pictureBytes;
        EXPECT_THROW(EncodeItemRecord(QString(), record), AgentError);
    }
    // Without a "Picture" field the picture bytes are not looked at.
    ItemRecord noPicture;
    noPicture.pictureBytes = Hex("ff");
    EXPECT_EQ(EncodeItemRecord(QString(), noPicture).size(), 98);
}

TEST(ItemRecordCodec, RoundTrip)
{
    ItemRecord record;
    record.Add(QStringLiteral("FirstName"), QString::fromUtf8("Zoë"));
    record.Add(QStringLiteral("Body"), QString::fromUtf8("line one\r\nline two 😀"));
    record.Add(QStringLiteral("Importance"), 2);
    record.Add(QStringLiteral("Duration"), 30);
    record.Add(QStringLiteral("Duration"), -1);  // names may repeat; order is kept
    record.Add(QStringLiteral("Start"), QStringLiteral("2024-05-01 10:00:00"));
    record.Add(QStringLiteral("Picture"), QStringLiteral("Picture"));
    record.Add(QStringLiteral("ReminderMinutesBeforeStart"), std::numeric_limits<std::int32_t>::min());
    record.Add(QStringLiteral("TeamTask"), std::numeric_limits<std::int32_t>::max());
    QByteArray image(70000, '\0');
    for (int i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
    record.SetPicture(image);

    const QString id = NewItemId();
    ItemRecord sent = record;
    const QByteArray blob = EncodeItemRecord(id, sent);
    EXPECT_EQ(sent, record);  // nothing removed

    QString decodedId;
    const ItemRecord decoded = Decode(blob, true, &decodedId);
    EXPECT_EQ(decodedId, id);
    EXPECT_EQ(decoded, record);
    EXPECT_EQ(Decode(blob.mid(96)), record);
}

struct MalformedCase {
    const char* label;
    bool withId;
    QByteArray blob;
};

TEST(ItemRecordCodec, MalformedBlobsThrow)
{
    const QString subject = QStringLiteral("Subject");
    const QString picture = QStringLiteral("Picture");
    const QString importance = QStringLiteral("Importance");
    const MalformedCase cases[] = {
        {"nothing", false, QByteArray()},
        {"count cut", false, Hex("01")},
        {"identifier cut", true, QByteArray(95, 'A')},
        {"count missing after identifier", true, QByteArray(96, 'A')},
        {"count past the end", false, Blob().Count(1).bytes},
        {"second field missing", false, Blob().Count(2).Name(subject).Length(2).Text("x").bytes},
        {"count 65535", false, Blob().Count(65535).Name(subject).Length(2).Text("x").bytes},
        {"name length cut", false, Blob().Count(1).Raw(Hex("0700")).bytes},
        {"name length negative", false, Blob().Count(1).Length(-2).Text(subject).bytes},
        {"name length minimum", false,
         Blob().Count(1).Length(std::numeric_limits<std::int32_t>::min()).bytes},
        {"name length odd", false, Blob().Count(1).Length(3).Text("ab").Length(0).bytes},
        {"name length past the end", false, Blob().Count(1).Length(16).Text(subject).bytes},
        {"name length maximum", false,
         Blob().Count(1).Length(std::numeric_limits<std::int32_t>::max()).Text(subject).bytes},
        {"value length missing", false, Blob().Count(1).Name(subject).bytes},
        {"text length negative", false, Blob().Count(1).Name(subject).Length(-4).Text("ab").bytes},
        {"text length odd", false, Blob().Count(1).Name(subject).Length(3).Text("ab").bytes},
        {"text length past the end", false, Blob().Count(1).Name(subject).Length(6).Text("ab").bytes},
        {"text length maximum", false,
         Blob().Count(1).Name(subject).Length(std::numeric_limits<std::int32_t>::max()).bytes},
        {"picture length negative", false, Blob().Count(1).Name(picture).Length(-1).Raw(Hex("ffd8")).bytes},
        {"picture length past the end", false,
         Blob().Count(1).Name(picture).Length(5).Raw(Hex("ffd8ffe0")).bytes},
        {"integer cut", false, Blob().Count(1).Name(importance).Length(4).Raw(Hex("0100")).bytes},
        {"integer missing", false, Blob().Count(1).Name(importance).Length(4).bytes},
        {"integer without its length", false, Blob().Count(1).Name(importance).Raw(Hex("02")).bytes},
        {"integer length lies, value cut", false,
         Blob().Count(1).Name(importance).Length(8).Raw(Hex("020000")).bytes},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.label);
        // A heap copy of exactly the blob's size, so the sanitizers catch a read past it.
        const QByteArray exact(c.blob.constData(), c.blob.size());
        ItemRecord record;
        QString id;
        EXPECT_THROW(DecodeItemRecord(AsBytes(exact), c.withId, record, &id), MalformedData);
    }
}

TEST(ItemRecordCodec, EveryTruncationOfAValidBlobThrows)
{
    ItemRecord record;
    record.Add(QStringLiteral("FirstName"), QStringLiteral("Ann"));
    record.Add(QStringLiteral("Picture"), QStringLiteral("Picture"));
    record.Add(QStringLiteral("Importance"), 1);
    record.SetPicture(Hex("0102030405"));
    const QByteArray blob = EncodeItemRecord(NewItemId(), record);
    for (qsizetype size = 0; size < blob.size(); ++size) {
        SCOPED_TRACE(size);
        const QByteArray cut(blob.constData(), size);
        ItemRecord decoded;
        EXPECT_THROW(DecodeItemRecord(AsBytes(cut), true, decoded), MalformedData);
    }
}

}  // namespace
