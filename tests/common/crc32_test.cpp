#include "common/crc32.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

namespace {

struct KnownCrc {
    const char* label;
    QByteArray bytes;
    std::uint32_t crc;
};

TEST(Crc32, KnownValues)
{
    const KnownCrc cases[] = {
        {"check string", QByteArray("123456789"), 0xCBF43926u},
        {"abc", QByteArray("abc"), 0x352441C2u},
        {"empty", QByteArray(), 0u},
        {"UTF-16LE abc", QByteArray("a\0b\0c\0", 6), 0xAD957AB0u},
    };
    for (const KnownCrc& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Crc32(c.bytes), c.crc);
        EXPECT_EQ(Crc32(c.bytes.constData(), static_cast<std::size_t>(c.bytes.size())), c.crc);
    }
    EXPECT_EQ(Crc32OfUtf16(QStringLiteral("abc")), 0xAD957AB0u);
    EXPECT_EQ(Crc32OfUtf16(QString()), 0u);
}

// A 16-bit length would hash only a prefix of items of 64 KiB or more, so edits past it would go
// unseen by the change check: every byte of a long buffer must count.
TEST(Crc32, HashesBuffersOf64KiBAndMoreWhole)
{
    const QByteArray zeros64k(65536, '\0');
    EXPECT_NE(Crc32(zeros64k), 0u);
    EXPECT_EQ(Crc32(zeros64k), 0xD7978EEBu);  // CRC-32 of 65536 zero bytes

    QByteArray big(65537, 'x');
    EXPECT_NE(Crc32(big), Crc32(big.constData(), 1));
    const std::uint32_t before = Crc32(big);
    big[65536] = 'y';
    EXPECT_NE(Crc32(big), before);

    QByteArray huge(3 * 65536 + 17, 'q');
    const std::uint32_t hugeBefore = Crc32(huge);
    huge[huge.size() - 1] = 'r';
    EXPECT_NE(Crc32(huge), hugeBefore);
}

TEST(Crc32, UpdateContinuesAsIfOneBuffer)
{
    const QByteArray all("123456789");
    for (int split = 0; split <= all.size(); ++split) {
        SCOPED_TRACE(split);
        const std::uint32_t first = Crc32Update(0, all.constData(), static_cast<std::size_t>(split));
        EXPECT_EQ(Crc32Update(first, all.constData() + split, static_cast<std::size_t>(all.size() - split)),
                  0xCBF43926u);
    }
}

// An empty piece (a null text among the fields of an item) must add nothing; zlib would restart the
// sum from a null buffer, so every field before it would stop counting.
TEST(Crc32, EmptyPiecesAddNothing)
{
    const std::uint32_t abc = Crc32Update(0, "abc", 3);
    EXPECT_EQ(Crc32Update(abc, nullptr, 0), abc);
    EXPECT_EQ(Crc32OfUtf16({QStringView(u"ab"), QStringView(), QStringView(u"c")}), Crc32OfUtf16(QStringLiteral("abc")));
    EXPECT_EQ(Crc32OfUtf16({QStringView(u"abc"), QStringView(QString())}), Crc32OfUtf16(QStringLiteral("abc")));
}

}  // namespace
