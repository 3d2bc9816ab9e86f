// Folder watching through the dispatcher, on real folders with real inotify. Drive C: of the
// path map is a temporary folder, so the peer's paths are C:\... as on the wire.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <set>
#include <stdexcept>
#include <thread>

#include "common/byte_io.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/file_watch_manager.h"
#include "dispatch/request_codes.h"
#include "platform/inotify_watcher.h"
#include "platform/path_map.h"
#include "support/dispatch_harness.h"
#include "support/recording_channel.h"
#include "support/temp_home.h"
#include "wire/message_header.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kPatience = 10s;

// The three sections of a FileChangeList, paths as sent ('/').
struct ChangeList {
    std::set<QString> removed;
    std::set<QString> changed;
    std::vector<QString> renamed;
};

ChangeList Decode(const QByteArray& payload)
{
    ChangeList list;
    ByteReader r(payload);
    for (int n = r.U16(); n > 0; --n) list.removed.insert(r.CountedUtf16());
    for (int n = r.U16(); n > 0; --n) list.changed.insert(r.CountedUtf16());
    for (int n = r.U16(); n > 0; --n) {
        list.renamed.push_back(r.CountedUtf16());
        list.renamed.push_back(r.CountedUtf16());
    }
    EXPECT_TRUE(r.AtEnd());
    return list;
}

class FileWatchTest : public ::testing::Test {
protected:
    FileWatchTest()
        : log_(home_.Path(QStringLiteral("test.log"))),
          drives_({DriveInfo{'C', drive_.path(), DriveType::Fixed}}),
          agent_(log_),
          dispatcher_(agent_)
    {
    }
    ~FileWatchTest() override { agent_.watches->StopAllFileWatches(); }

    RecordedMessage Send(std::uint16_t code, const QByteArray& payload = {})
    {
        RecordingChannel channel;
        dispatcher_.DispatchCommand(code, 7, AsBytes(payload), channel);
        EXPECT_EQ(channel.messages.size(), 1u);
        return channel.messages.empty() ? RecordedMessage{} : channel.messages.front();
    }
    void Watch(const QString& peerPath)
    {
        EXPECT_EQ(Send(AS_ADDFILEWATCH, Utf16z(peerPath)).code, AS_ADDFILEWATCH + 1);
    }
    QString Local(const QString& rel) const { return drive_.path() + QLatin1Char('/') + rel; }
    void MakeDir(const QString& rel) const { ASSERT_TRUE(QDir().mkpath(Local(rel))); }
    void WriteFile(const QString& rel, const QByteArray& bytes = "x") const
    {
        QFile f(Local(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Append));
        f.write(bytes);
    }
    QStringList LogLines() const
    {
        QFile f(log_.GetLogPath());
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Polls and fetches until `done` holds for what has arrived, or the time is up.
    template <typename Done>
    ChangeList CollectUntil(Done done)
    {
        ChangeList all;
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto status = Send(AS_STATUS);
            if (status.payload.size() == 4) {
                EXPECT_EQ(GetU32(reinterpret_cast<const std::uint8_t*>(status.payload.constData())), 258u);
                const ChangeList more = Decode(Send(AS_GETFILECHANGES).payload);
                all.removed.insert(more.removed.begin(), more.removed.end());
                all.changed.insert(more.changed.begin(), more.changed.end());
                all.renamed.insert(all.renamed.end(), more.renamed.begin(), more.renamed.end());
                if (done(all)) return all;
            }
            std::this_thread::yield();
        }
        ADD_FAILURE() << "the expected changes did not arrive in time";
        return all;
    }
    ChangeList CollectUntilChanged(const QString& wireFolder)
    {
        return CollectUntil([&](const ChangeList& l) { return l.changed.count(wireFolder) > 0; });
    }
    // Changes of one worker arrive in order: once a file written after `action` is reported in
    // `fenceFolder`, everything `action` caused has arrived too.
    ChangeList CollectThroughFence(const QString& fenceRel, const QString& fenceWire)
    {
        WriteFile(fenceRel + QStringLiteral("/fence"));
        return CollectUntilChanged(fenceWire);
    }

    TempHome home_;
    QTemporaryDir drive_;
    LogFile log_;
    ScopedDriveTableForTesting drives_;
    Agent agent_;
    Dispatcher dispatcher_;
};

TEST_F(FileWatchTest, CreateModifyDeleteAndRenameAreReportedAsFoldersAndPaths)
{
    MakeDir(QStringLiteral("A/sub"));
    MakeDir(QStringLiteral("A/old"));
    MakeDir(QStringLiteral("A/fence"));
    WriteFile(QStringLiteral("A/x.txt"));
    WriteFile(QStringLiteral("A/sub/keep.txt"));
    Watch(QStringLiteral("C:\\A"));
    EXPECT_EQ(LogLines().back(), QStringLiteral("AS_ADDFILEWATCH...ok"));

    // A file created in a subfolder reports that subfolder.
    WriteFile(QStringLiteral("A/sub/new.txt"));
    ChangeList got = CollectThroughFence(QStringLiteral("A/fence"), QStringLiteral("C:/A/fence"));
    EXPECT_TRUE(got.changed.count(QStringLiteral("C:/A/sub")));
    EXPECT_TRUE(got.removed.empty());

    // Modified content.
    WriteFile(QStringLiteral("A/sub/keep.txt"), "more");
    got = CollectThroughFence(QStringLiteral("A/fence"), QStringLiteral("C:/A/fence"));
    EXPECT_TRUE(got.changed.count(QStringLiteral("C:/A/sub")));

    // A deleted file: its path and its folder.
    ASSERT_TRUE(QFile::remove(Local(QStringLiteral("A/x.txt"))));
    got = CollectThroughFence(QStringLiteral("A/fence"), QStringLiteral("C:/A/fence"));
    EXPECT_EQ(got.removed, std::set<QString>{QStringLiteral("C:/A/x.txt")});
    EXPECT_TRUE(got.changed.count(QStringLiteral("C:/A")));

    // A file renamed inside its folder: the folder only.
    ASSERT_TRUE(
        QFile::rename(Local(QStringLiteral("A/sub/new.txt")), Local(QStringLiteral("A/sub/renamed.txt"))));
    got = CollectThroughFence(QStringLiteral("A/fence"), QStringLiteral("C:/A/fence"));
    EXPECT_TRUE(got.changed.count(QStringLiteral("C:/A/sub")));
    EXPECT_TRUE(got.removed.empty());
    EXPECT_TRUE(got.renamed.empty());

    // A file moved to another folder of the tree: both folders.
    ASSERT_TRUE(
        QFile::rename(Local(QStringLiteral("A/sub/renamed.txt")), Local(QStringLiteral("A/moved.txt"))));
    got = CollectThroughFence(QStringLiteral("A/fence"), QStringLiteral("C:/A/fence"));
    EXPECT_TRUE(got.changed.count(QStringLiteral("C:/A/sub")));
    EXPECT_TRUE(got.changed.count(QStringLiteral("C:/A")));
    EXPECT_TRUE(got.removed.empty());
    EXPECT_TRUE(got.renamed.empty());

    // A renamed folder: its parent and the pair; events below it then carry the new name.
    ASSERT_TRUE(QDir().rename(Local(QStringLiteral("A/old")), Local(QStringLiteral("A/new"))));
    got = CollectThroughFence(QStringLiteral("A/fence"), QStringLiteral("C:/A/fence"));
    EXPECT_TRUE(got.changed.count(QStringLiteral("C:/A")));
    EXPECT_EQ(got.renamed, (std::vector<QString>{QStringLiteral("C:/A/old"), QStringLiteral("C:/A/new")}));
    WriteFile(QStringLiteral("A/new/inside.txt"));
    got = CollectUntilChanged(QStringLiteral("C:/A/new"));
    EXPECT_FALSE(got.changed.count(QStringLiteral("C:/A/old")));

    // A deleted folder: its path and its parent.
    ASSERT_TRUE(QDir(Local(QStringLiteral("A/new"))).removeRecursively());
    got = CollectUntil([](const ChangeList& l) { return l.removed.count(QStringLiteral("C:/A/new")) > 0; });
    EXPECT_TRUE(got.removed.count(QStringLiteral("C:/A/new/inside.txt")));
    EXPECT_TRUE(got.changed.count(QStringLiteral("C:/A")));

    // Fetching empties the lists: the poll answers with an empty payload again.
    EXPECT_TRUE(Send(AS_STATUS).payload.isEmpty());
    EXPECT_EQ(LogLines().back(), QStringLiteral("AS_GETFILECHANGES...ok"));
}

TEST_F(FileWatchTest, FoldersCreatedAfterTheWatchAreWatchedWithWhatTheyAlreadyHold)
{
    MakeDir(QStringLiteral("A"));
    Watch(QStringLiteral("C:\\A"));
    // Created in one go: the deepest file may exist before its folder's watch does.
    MakeDir(QStringLiteral("A/b/c/d"));
    WriteFile(QStringLiteral("A/b/c/d/early.txt"));
    ChangeList got = CollectUntilChanged(QStringLiteral("C:/A/b/c/d"));
    EXPECT_TRUE(got.changed.count(QStringLiteral("C:/A")));

    // And the new folders are watched from then on.
    WriteFile(QStringLiteral("A/b/c/later.txt"));
    CollectUntilChanged(QStringLiteral("C:/A/b/c"));

    // A folder moved in from outside the watched tree comes with its contents.
    MakeDir(QStringLiteral("outside/inner"));
    WriteFile(QStringLiteral("outside/inner/f.txt"));
    ASSERT_TRUE(QDir().rename(Local(QStringLiteral("outside")), Local(QStringLiteral("A/moved"))));
    got = CollectUntilChanged(QStringLiteral("C:/A/moved/inner"));
    EXPECT_TRUE(got.renamed.empty());
    WriteFile(QStringLiteral("A/moved/inner/g.txt"));
    CollectUntilChanged(QStringLiteral("C:/A/moved/inner"));

    // Moved out of the tree: gone, as far as the peer is concerned.
    ASSERT_TRUE(QDir().rename(Local(QStringLiteral("A/moved")), Local(QStringLiteral("away"))));
    got = CollectUntil([](const ChangeList& l) { return l.removed.count(QStringLiteral("C:/A/moved")) > 0; });
    EXPECT_TRUE(got.changed.count(QStringLiteral("C:/A")));
    // Its old watches are gone with it.
    MakeDir(QStringLiteral("A/fence"));
    WriteFile(QStringLiteral("away/inner/h.txt"));
    got = CollectThroughFence(QStringLiteral("A/fence"), QStringLiteral("C:/A/fence"));
    for (const QString& folder : got.changed)
        EXPECT_FALSE(folder.startsWith(QStringLiteral("C:/A/moved"))) << folder.toStdString();
}

TEST_F(FileWatchTest, WatchedFoldersAreComparedAtSeparators)
{
    for (const char* rel : {"Data/sub", "Data2", "other"}) MakeDir(QString::fromLatin1(rel));
    Watch(QStringLiteral("C:\\Data"));
    struct Case {
        const char* path;
        bool accepted;
    };
    for (const Case& c : {Case{"C:\\Data", false}, Case{"C:\\Data\\sub", false}, Case{"C:\\Data2", true},
                          Case{"C:\\other", true}, Case{"C:\\", true}, Case{"C:\\Data2\\x", false}}) {
        const QStringList before = agent_.watches->WatchedPaths();
        Watch(QString::fromLatin1(c.path));
        EXPECT_EQ(LogLines().back(), QStringLiteral("AS_ADDFILEWATCH...ok"));
        EXPECT_EQ(agent_.watches->WatchedPaths().size() - before.size(), c.accepted ? 1 : 0) << c.path;
    }
    EXPECT_EQ(agent_.watches->WatchedPaths(),
              (QStringList{QStringLiteral("C:\\Data"), QStringLiteral("C:\\Data2"),
                           QStringLiteral("C:\\other"), QStringLiteral("C:\\")}));

    // An unwatched path is no error; a watched one goes, and only it.
    EXPECT_EQ(Send(AS_DELFILEWATCH, Utf16z(QStringLiteral("C:\\nothing"))).code, AS_DELFILEWATCH + 1);
    EXPECT_EQ(LogLines().back(), QStringLiteral("AS_DELFILEWATCH...ok"));
    EXPECT_EQ(Send(AS_DELFILEWATCH, Utf16z(QStringLiteral("C:\\Data2"))).code, AS_DELFILEWATCH + 1);
    EXPECT_EQ(agent_.watches->WatchedPaths().size(), 3);
    EXPECT_EQ(Send(AS_DELALLFILEWATCHES).code, AS_DELALLFILEWATCHES + 1);
    EXPECT_EQ(LogLines().back(), QStringLiteral("AS_DELALLFILEWATCHES...ok"));
    EXPECT_TRUE(agent_.watches->WatchedPaths().isEmpty());
}

TEST_F(FileWatchTest, OverlappingWatchesAndADriveRoot)
{
    MakeDir(QStringLiteral("A/B"));
    WriteFile(QStringLiteral("A/B/x.txt"));
    WriteFile(QStringLiteral("top.txt"));
    Watch(QStringLiteral("C:\\A\\B"));
    Watch(QStringLiteral("C:\\"));
    ASSERT_EQ(agent_.watches->WatchedPaths().size(), 2);

    // Seen by both workers: the root's form has the doubled separator of a drive root.
    ASSERT_TRUE(QFile::remove(Local(QStringLiteral("A/B/x.txt"))));
    ASSERT_TRUE(QFile::remove(Local(QStringLiteral("top.txt"))));
    const ChangeList got = CollectUntil([](const ChangeList& l) {
        return l.removed.count(QStringLiteral("C:/A/B/x.txt")) &&
               l.removed.count(QStringLiteral("C://A/B/x.txt")) &&
               l.removed.count(QStringLiteral("C://top.txt"));
    });
    EXPECT_TRUE(got.changed.count(QStringLiteral("C:/A/B")));
    EXPECT_TRUE(got.changed.count(QStringLiteral("C://A/B")));
    EXPECT_TRUE(got.changed.count(QStringLiteral("C:/")));
}

TEST_F(FileWatchTest, StatusAnswers258WhileChangesWaitEvenAfterTheWatchesStop)
{
    MakeDir(QStringLiteral("A"));
    // Nothing collected: the poll is empty, the fetch is six zero bytes.
    EXPECT_TRUE(Send(AS_STATUS).payload.isEmpty());
    const auto empty = Send(AS_GETFILECHANGES);
    EXPECT_EQ(empty.code, AS_GETFILECHANGES + 1);
    EXPECT_EQ(empty.payload, QByteArray(6, '\0'));

    Watch(QStringLiteral("C:\\A"));
    WriteFile(QStringLiteral("A/f.txt"));
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    QByteArray status;
    while (status.isEmpty() && std::chrono::steady_clock::now() < deadline) status = Send(AS_STATUS).payload;
    ASSERT_EQ(status, QByteArray::fromHex("02010000"));
    EXPECT_EQ(Send(AS_STATUS).code, AS_STATUS + 1);

    // Stopping keeps what was collected.
    Send(AS_DELALLFILEWATCHES);
    EXPECT_EQ(Send(AS_STATUS).payload, QByteArray::fromHex("02010000"));
    EXPECT_TRUE(Decode(Send(AS_GETFILECHANGES).payload).changed.count(QStringLiteral("C:/A")));
    EXPECT_TRUE(Send(AS_STATUS).payload.isEmpty());
}

TEST_F(FileWatchTest, AFolderWhoseWatchEndedCanBeWatchedAgain)
{
    MakeDir(QStringLiteral("A"));
    Watch(QStringLiteral("C:\\A"));
    ASSERT_TRUE(QDir(Local(QStringLiteral("A"))).removeRecursively());
    MakeDir(QStringLiteral("A"));
    // The old worker ends when it sees its folder go; from then on the path is free again.
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!agent_.watches->AddFileWatch(QStringLiteral("C:\\A")) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(agent_.watches->WatchedPaths(), QStringList{QStringLiteral("C:\\A")});
    WriteFile(QStringLiteral("A/again.txt"));
    CollectUntilChanged(QStringLiteral("C:/A"));

    // A folder that does not exist, or is on no drive, is accepted and reports nothing; its
    // watch does not stand in the way once the folder is there.
    Watch(QStringLiteral("Q:\\no drive"));
    Watch(QStringLiteral("C:\\missing"));
    MakeDir(QStringLiteral("missing"));
    Watch(QStringLiteral("C:\\missing"));
    EXPECT_EQ(agent_.watches->WatchedPaths().count(QStringLiteral("C:\\missing")), 1);
    WriteFile(QStringLiteral("missing/now.txt"));
    CollectUntilChanged(QStringLiteral("C:/missing"));
}

TEST_F(FileWatchTest, AFailedWatchNamesItsFolderInTheLog)
{
    agent_.watches = std::make_unique<FileWatchManager>(
        [](const QString&) -> QString { throw std::runtime_error("out of threads"); });
    const auto reply = Send(AS_ADDFILEWATCH, Utf16z(QStringLiteral("C:\\A")));
    EXPECT_EQ(reply.code, AS_ERROR);
    EXPECT_TRUE(reply.payload.isEmpty());
    const QStringList lines = LogLines();
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.mid(lines.size() - 3),
              (QStringList{QStringLiteral("AS_ADDFILEWATCH...error"), QStringLiteral("C:\\A"),
                           QStringLiteral("\treason: out of threads")}));
    EXPECT_TRUE(agent_.watches->WatchedPaths().isEmpty());
}

// Every inotify instance asked for meanwhile is refused, as when the user's are all in use.
class NoInotifyInstances {
public:
    NoInotifyInstances()
    {
        SetInotifyInitForTesting([](int) {
            errno = EMFILE;
            return -1;
        });
    }
    ~NoInotifyInstances() { SetInotifyInitForTesting(nullptr); }
    NoInotifyInstances(const NoInotifyInstances&) = delete;
    NoInotifyInstances& operator=(const NoInotifyInstances&) = delete;
};

TEST_F(FileWatchTest, AWatchWithoutAnInotifyInstanceReportsItsFolderAndSaysSo)
{
    MakeDir(QStringLiteral("A"));
    {
        NoInotifyInstances none;
        Watch(QStringLiteral("C:\\A"));
    }
    // The peer cannot learn of changes below the folder: it is told to rescan it instead.
    CollectUntilChanged(QStringLiteral("C:/A"));
    Send(AS_STATUS);  // passes the workers' messages to the log
    bool logged = false;
    for (const QString& line : LogLines())
        logged =
            logged || (line.contains(QStringLiteral("C:\\A")) && line.contains(QStringLiteral("inotify")));
    EXPECT_TRUE(logged);
}

TEST_F(FileWatchTest, AStopWaitsForABusyWorker)
{
    MakeDir(QStringLiteral("A/busy"));
    for (int round = 0; round < 3; ++round) {
        Watch(QStringLiteral("C:\\A"));
        std::atomic<bool> done{false};
        std::atomic<int> written{0};
        std::thread writer([&] {
            for (int i = 0; !done.load(); ++i) {
                const QString rel = QStringLiteral("A/busy/d%1_%2").arg(round).arg(i % 50);
                QDir().mkpath(Local(rel));
                QFile f(Local(rel + QStringLiteral("/f")));
                if (f.open(QIODevice::WriteOnly)) f.write("y");
                written.fetch_add(1);
            }
        });
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (written.load() < 200 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        EXPECT_EQ(Send(AS_DELFILEWATCH, Utf16z(QStringLiteral("C:\\A"))).code, AS_DELFILEWATCH + 1);
        EXPECT_TRUE(agent_.watches->WatchedPaths().isEmpty());
        done.store(true);
        writer.join();
    }
    EXPECT_TRUE(Send(AS_STATUS).payload.size() == 4);
}

TEST_F(FileWatchTest, ListsTooLongForTheirCountBecomeTheWatchedFolders)
{
    agent_.watches = std::make_unique<FileWatchManager>(PeerToLocalPath, FileWatchLimits{20, 1 << 20});
    MakeDir(QStringLiteral("A"));
    MakeDir(QStringLiteral("B"));
    Watch(QStringLiteral("C:\\A"));
    Watch(QStringLiteral("C:\\B"));
    // A tree moved in is reported in one go: 31 folders, more than the lists may hold.
    for (int i = 0; i < 30; ++i) {
        MakeDir(QStringLiteral("outside/d%1").arg(i));
        WriteFile(QStringLiteral("outside/d%1/f").arg(i));
    }
    ASSERT_TRUE(QDir().rename(Local(QStringLiteral("outside")), Local(QStringLiteral("A/in"))));
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (Send(AS_STATUS).payload.isEmpty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    const ChangeList got = Decode(Send(AS_GETFILECHANGES).payload);
    EXPECT_EQ(got.changed, (std::set<QString>{QStringLiteral("C:/A"), QStringLiteral("C:/B")}));
    EXPECT_TRUE(got.removed.empty());
    bool logged = false;
    Send(AS_STATUS);  // passes the workers' messages to the log
    for (const QString& line : LogLines())
        logged = logged || line.contains(QStringLiteral("the watched folders are reported as changed"));
    EXPECT_TRUE(logged);
}

TEST_F(FileWatchTest, ALongChangeListTravelsInPiecesWithoutALogLine)
{
    MakeDir(QStringLiteral("A"));
    Watch(QStringLiteral("C:\\A"));
    // A tree moved in is reported in one go: every folder of it that holds something.
    const QString longName(100, QLatin1Char('n'));
    for (int i = 0; i < 90; ++i) {
        MakeDir(QStringLiteral("outside/%1%2").arg(longName).arg(i));
        WriteFile(QStringLiteral("outside/%1%2/f").arg(longName).arg(i));
    }
    ASSERT_TRUE(QDir().rename(Local(QStringLiteral("outside")), Local(QStringLiteral("A/in"))));
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (Send(AS_STATUS).payload.isEmpty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    const qsizetype linesBefore = LogLines().size();
    const auto reply = Send(AS_GETFILECHANGES);
    EXPECT_TRUE(reply.longReply);
    EXPECT_EQ(reply.code, AS_GETFILECHANGES + 1);
    EXPECT_GT(static_cast<std::size_t>(reply.payload.size()), kMaxPayloadBytes);
    EXPECT_EQ(Decode(reply.payload).changed.size(), 92u);  // C:/A, C:/A/in and the 90 below it
    EXPECT_EQ(LogLines().size(), linesBefore);
}

TEST(FileChangeListTest, LayoutAndSize)
{
    FileChanges changes;
    changes.removedPaths = {QStringLiteral("C:\\A\\x.txt")};
    changes.changedFolders = {QStringLiteral("C:\\A")};
    changes.renamedFolders = {QStringLiteral("C:\\A\\old"), QStringLiteral("C:\\A\\new")};
    const QByteArray bytes = EncodeFileChangeList(changes);
    EXPECT_EQ(static_cast<std::size_t>(bytes.size()), CollectFileChanges(changes));
    QByteArray expected;
    ByteWriter w(expected);
    w.U16(1);
    w.CountedUtf16(QStringLiteral("C:/A/x.txt"));
    w.U16(1);
    w.CountedUtf16(QStringLiteral("C:/A"));
    w.U16(1);
    w.CountedUtf16(QStringLiteral("C:/A/old"));
    w.CountedUtf16(QStringLiteral("C:/A/new"));
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(EncodeFileChangeList({}), QByteArray(6, '\0'));
}

}  // namespace
