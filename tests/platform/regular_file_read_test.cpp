// Reading only regular files, with a bound that holds whatever size the system reports.
#include "platform/regular_file_read.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

#include "common/errors.h"
#include "support/temp_home.h"

namespace {

TEST(RegularFileRead, OnlyARegularFileWithinTheBoundIsRead)
{
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.path() + QLatin1Char('/') + QString::fromLatin1(name); };
    const auto native = [&](const char* name) { return QFile::encodeName(path(name)); };
    QFile file(path("ten"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("0123456789") == 10);
    file.close();
    ASSERT_EQ(::mkfifo(native("fifo").constData(), 0600), 0);
    ASSERT_EQ(::mkdir(native("folder").constData(), 0700), 0);
    ASSERT_EQ(::symlink("ten", native("link").constData()), 0);

    const struct {
        const char* what;
        QString path;
        qint64 max;
        std::optional<QByteArray> read;  // nothing: missing
        const char* refusal;             // refused with this reason
    } cases[] = {
        {"a regular file", path("ten"), 10, QByteArray("0123456789"), nullptr},
        {"a link to one", path("link"), 10, QByteArray("0123456789"), nullptr},
        {"missing", path("none"), 10, std::nullopt, nullptr},
        {"one byte over the bound", path("ten"), 9, std::nullopt, "larger than 9 bytes"},
        {"a FIFO, without waiting for a writer", path("fifo"), 10, std::nullopt, "not a regular file"},
        {"a folder", path("folder"), 10, std::nullopt, "not a regular file"},
        // A regular file whose reported size (0) says nothing of what it holds.
        {"a file of /proc", QStringLiteral("/proc/self/status"), 1 << 20, std::nullopt, "pseudo file system"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.refusal) {
            EXPECT_EQ(ReadRegularFile(c.path, c.max), c.read);
            continue;
        }
        try {
            (void)ReadRegularFile(c.path, c.max);
            ADD_FAILURE() << "read";
        } catch (const AgentError& e) {
            const QString text = QString::fromUtf8(e.what());
            EXPECT_TRUE(text.contains(c.path) && text.contains(QString::fromLatin1(c.refusal))) << e.what();
        }
    }
}

// The same reads, told apart by their outcome instead of an exception.

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
