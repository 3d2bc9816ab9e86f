// Telling, just before a write-back, the file a store loaded from one another program put there
// or one that is gone.
#include "platform/loaded_file_identity.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "platform/regular_file_read.h"

namespace {

using Now = LoadedFileIdentity::Now;

void Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

struct timespec ModifiedAt(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    return st.st_mtim;
}

void SetModified(const QString& path, const struct timespec& when)
{
    const struct timespec times[2] = {when, when};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

TEST(LoadedFileIdentity, TellsTheLoadedFileFromAReplacedOrMissingOne)
{
    const struct {
        const char* what;
        std::function<void(const QString& dir, const QString& file)> change;
        Now expected;
    } cases[] = {
        {"untouched", [](const QString&, const QString&) {}, Now::AsLoaded},
        {"rewritten in place, same size, old time put back",
         [](const QString&, const QString& file) {
             const struct timespec before = ModifiedAt(file);
             Write(file, "notes: B");
             SetModified(file, before);
         },
         Now::Replaced},
        {"replaced by another file",
         [](const QString& dir, const QString& file) {
             Write(dir + "/other", "notes: A");
             ASSERT_EQ(::rename(QFile::encodeName(dir + "/other").constData(), QFile::encodeName(file).constData()), 0);
         },
         Now::Replaced},
        {"grown", [](const QString&, const QString& file) { Write(file, "notes: A, and more"); }, Now::Replaced},
        {"removed", [](const QString&, const QString& file) { QFile::remove(file); }, Now::Unavailable},
        {"its folder moved aside",
         [](const QString& dir, const QString&) { ASSERT_TRUE(QDir().rename(dir + "/sub", dir + "/aside")); },
         Now::Unavailable},
        {"a FIFO in its place",
         [](const QString&, const QString& file) {
             QFile::remove(file);
             ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
         },
         Now::Unavailable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ASSERT_TRUE(QDir().mkpath(dir.path() + "/sub"));
        const QString file = dir.path() + "/sub/notes";
        Write(file, "notes: A");
        const LoadedFileIdentity loaded = LoadedFileIdentity::OfRead(ReadBoundedRegularFile(file, 1024));
        ASSERT_TRUE(loaded.exists);
        c.change(dir.path(), file);
        EXPECT_EQ(loaded.Compare(file, 1024), c.expected);
    }
}

TEST(LoadedFileIdentity, AFileAbsentAtLoadIsAsLoadedUntilAnotherProgramMakesOne)
{
    QTemporaryDir dir;
    const QString file = dir.path() + "/missing/notes";
    const LoadedFileIdentity loaded = LoadedFileIdentity::OfRead(ReadBoundedRegularFile(file, 1024));
    ASSERT_FALSE(loaded.exists);
    EXPECT_EQ(loaded.Compare(file, 1024), Now::AsLoaded);
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/missing"));
    Write(file, "made by the user");
    EXPECT_EQ(loaded.Compare(file, 1024), Now::Replaced);
}

TEST(LoadedFileIdentity, ADigestTakenInPiecesIsTheDigestOfTheWhole)
{
    ContentDigest pieces;
    pieces.Add("notes");
    pieces.Add(": A");
    EXPECT_EQ(pieces.Result(), ContentDigest::Of("notes: A"));
    EXPECT_NE(pieces.Result(), ContentDigest::Of("notes: B"));
}

}  // namespace
