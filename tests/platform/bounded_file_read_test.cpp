// Reading files others may have planted: only regular files of ordinary file systems, never
// more than the cap plus one byte, and never waiting on a FIFO.
#include "platform/bounded_file_read.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "support/temp_home.h"

namespace {

using Outcome = BoundedFileRead::Outcome;

TEST(BoundedFileReadTest, ReadsOnlyRegularFilesUpToTheCap)
{
    TempHome home;
    home.WriteFile(u"four"_qs, "1234");
    home.WriteFile(u"five"_qs, "12345");
    home.WriteFile(u"empty"_qs, "");
    ASSERT_EQ(::mkfifo(QFile::encodeName(home.Path(u"pipe"_qs)).constData(), 0600), 0);
    ASSERT_EQ(::symlink("four", QFile::encodeName(home.Path(u"link"_qs)).constData()), 0);
    ASSERT_EQ(::symlink("none", QFile::encodeName(home.Path(u"dangling"_qs)).constData()), 0);
    struct Case {
        const char* name;
        QString path;
        Outcome outcome;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"at the cap", home.Path(u"four"_qs), Outcome::Read, "1234"},
        {"one byte past it", home.Path(u"five"_qs), Outcome::TooLarge, {}},
        {"empty", home.Path(u"empty"_qs), Outcome::Read, {}},
        {"a link to a file", home.Path(u"link"_qs), Outcome::Read, "1234"},
        {"a dangling link", home.Path(u"dangling"_qs), Outcome::Missing, {}},
        {"missing", home.Path(u"none"_qs), Outcome::Missing, {}},
        {"a folder", home.Root(), Outcome::NotRegular, {}},
        {"a FIFO without a writer", home.Path(u"pipe"_qs), Outcome::NotRegular, {}},
        {"a device", u"/dev/zero"_qs, Outcome::NotRegular, {}},
        // procfs reports 0 bytes for files of any length; pagemap alone is gigabytes.
        {"/proc/self/pagemap", u"/proc/self/pagemap"_qs, Outcome::PseudoFileSystem, {}},
        {"/proc/self/status", u"/proc/self/status"_qs, Outcome::PseudoFileSystem, {}},
        {"a sysfs file", u"/sys/kernel/address_bits"_qs, Outcome::PseudoFileSystem, {}},
    };
    for (const Case& c : cases) {
        if (!QFile::exists(c.path) && c.outcome != Outcome::Missing) continue;  // no sysfs here
        const BoundedFileRead read = ReadBoundedRegularFile(c.path, 4);
        EXPECT_EQ(read.outcome, c.outcome) << c.name;
        EXPECT_EQ(read.bytes, c.bytes) << c.name;
        EXPECT_EQ(read.Ok(), c.outcome == Outcome::Read) << c.name;
    }
}

}  // namespace
