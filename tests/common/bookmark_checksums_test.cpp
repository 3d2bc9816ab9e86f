#include "common/bookmark_checksums.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "common/crc32.h"
#include "common/errors.h"

namespace {

TEST(BookmarkChecksums, KnownValues)
{
    // CRC-32 of "123456789" is the algorithm's check value; as UTF-16 it is another text.
    EXPECT_EQ(Crc32OfText(QString()), 0u);
    EXPECT_EQ(Crc32OfText(QStringLiteral("a")), Crc32(QByteArray("a\0", 2)));
    EXPECT_EQ(Crc32OfInt(0), 0x2144DF1Cu);  // four zero bytes
    EXPECT_EQ(Crc32OfInt(0x04030201), Crc32(QByteArray("\x01\x02\x03\x04", 4)));
    EXPECT_EQ(BookmarkCrc32("Work", "Home", "http://x/"), Crc32OfText("WorkHomehttp://x/"));
    EXPECT_NE(BookmarkCrc32("Work", "Home", "http://x/"), BookmarkCrc32("", "Home", "http://x/"));
}

TEST(BookmarkChecksums, FileIsHashedWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("big.url");
    // Longer than 64 KiB and than the reading piece: a change at the end must show.
    QByteArray bytes(200 * 1024 + 7, 'a');
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    EXPECT_EQ(Crc32OfFile(path), Crc32(bytes));
    EXPECT_THROW(Crc32OfFile(dir.filePath("missing.url")), AgentError);
}

}  // namespace
