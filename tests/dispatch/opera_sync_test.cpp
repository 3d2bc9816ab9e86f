// Opera's hotlist files through the dispatcher with the real Opera stores, in a temporary home:
// what the check list keeps for a bookmark sent with line breaks, a hotlist that cannot be
// written back at the end, a client that leaves without ending, a picture too large to send,
// what an edit keeps, what a delete of a gone bookmark answers, and the requests refused before
// anything is written.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "common/bookmark_depth.h"
#include "common/byte_io.h"
#include "dispatch/bookmark_id.h"
#include "dispatch/bookmark_record_codec.h"
#include "dispatch/request_codes.h"
#include "support/dispatch_harness.h"
#include "support/file_size_limit.h"
#include "wire/message_header.h"

namespace {

const QByteArray kHeader = "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n";
constexpr std::uint32_t kOperaNotes = 0x4000;

QByteArray RealFile(const char* name)
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/opera-hotlist/") + QString::fromLatin1(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

std::vector<BookmarkId> Section(ByteReader& r)
{
    std::vector<BookmarkId> ids;
    const std::uint16_t n = r.U16();
    for (int i = 0; i < n; ++i) ids.push_back(BookmarkId::Read(r));
    return ids;
}

class OperaSync : public ::testing::Test {
protected:
    void SetUp() override
    {
        h.home.WriteFile(QStringLiteral(".opera/operaprefs.ini"),
                         "Opera Preferences version 2.1\n\n[User Prefs]\nNewest Used Version=12.16.1860\n");
        h.home.WriteFile(QStringLiteral(".opera/mail/accounts.ini"), "[Accounts]\nCount=1\n");
    }
    QByteArray Ok(std::uint16_t code, const QByteArray& payload = {})
    {
        const SentMessage reply = h.Send(code, payload);
        EXPECT_EQ(reply.code, code + 1) << "request " << code << "\n"
                                        << h.TakeLogLines().join('\n').toStdString();
        return reply.payload;
    }
    // The added, edited and deleted sections of a bookmark check.
    std::vector<std::vector<BookmarkId>> CheckBookmarks()
    {
        const QByteArray payload = Ok(AS_CHECK_BOOKMARKS, Utf16z(QString()));
        ByteReader r(payload);
        std::vector<std::vector<BookmarkId>> sections;
        for (int i = 0; i < 3; ++i) sections.push_back(Section(r));
        return sections;
    }
    QByteArray OnDisk(const char* name) const
    {
        return h.home.ReadFile(QStringLiteral(".opera/") + QString::fromLatin1(name)).value_or("<missing>");
    }
    QString FilePath(const char* name) const
    {
        return h.home.Path(QStringLiteral(".opera/") + QString::fromLatin1(name));
    }

    DispatchHarness h;
};

QByteArray WithFields(const std::optional<BookmarkId>& id, const BookmarkRecord& record)
{
    QByteArray out;
    ByteWriter w(out);
    if (id) id->Write(w);
    EncodeBookmarkFields(record, w);
    return out;
}

// The file keeps a line break as its own break characters: what the check list keeps for the
// written bookmark must be what the next check computes from the file, or the peer would be
// told of an edit it made itself.
TEST_F(OperaSync, BookmarksSentWithLineBreaksAreNotReportedAsEdited)
{
    h.home.WriteFile(
        QStringLiteral(".opera/bookmarks.adr"),
        kHeader + "#URL\n\tNAME=old\n\tURL=http://old/\n\tUNIQUEID=00000000000000010000000000000003\n\n");
    h.agent.browserId = static_cast<std::uint32_t>(BrowserKind::Opera);
    Ok(AS_START_SYNC);
    const std::vector<BookmarkId> existing = CheckBookmarks()[0];
    ASSERT_EQ(existing.size(), 1u);
    Ok(AS_SAVE_BOOKMARKS_STATE);

    Ok(AS_SET_BOOKMARK, WithFields(existing[0], {QStringLiteral("F"), QStringLiteral("two\r\nlines"),
                                                 QStringLiteral("http://set/\n")}));
    Ok(AS_ADD_BOOKMARK, WithFields(std::nullopt, {QStringLiteral("G"), QStringLiteral("a\nb\rc"),
                                                  QStringLiteral("http://added/")}));
    Ok(AS_SAVE_BOOKMARKS_STATE);
    for (const auto& section : CheckBookmarks()) EXPECT_TRUE(section.empty());

    // Written and read again, the same.
    Ok(AS_END_SYNC);
    EXPECT_TRUE(OnDisk("bookmarks.adr")
                    .contains("\tNAME=a\x02\x02"
                              "b\x02\x02"
                              "c\n"));
    Ok(AS_START_SYNC);
    for (const auto& section : CheckBookmarks()) EXPECT_TRUE(section.empty());
    Ok(AS_END_SYNC);
}

// A file-size cap on this process makes the write fail, even for root.
TEST_F(OperaSync, AHotlistThatCannotBeWrittenFailsTheEndAndTheOldFileStays)
{
    const QByteArray notes = RealFile("notes-opera12-linux-masked-excerpt.adr");
    h.home.WriteFile(QStringLiteral(".opera/notes.adr"), notes);
    h.agent.notesAgentId = kOperaNotes;
    Ok(AS_START_SYNC);
    Ok(AS_ADD_NOTE, ItemBlob({}, TextRecord({{"Body", "a note that makes the file larger"}})));
    h.TakeLogLines();
    SentMessage end;
    {
        FileSizeLimit limit(static_cast<rlim_t>(notes.size()));
        ASSERT_TRUE(limit.ok());
        end = h.Send(AS_END_SYNC);
    }
    EXPECT_EQ(end.code, AS_ERROR);
    const QString log = h.TakeLogLines().join('\n');
    EXPECT_TRUE(log.contains(QStringLiteral("cannot write ") + FilePath("notes.adr"))) << log.toStdString();
    EXPECT_EQ(OnDisk("notes.adr"), notes);
    EXPECT_EQ(QDir(h.home.Path(QStringLiteral(".opera"))).entryList(QDir::Files),
              (QStringList{QStringLiteral("notes.adr"), QStringLiteral("operaprefs.ini")}))
        << "no temporary file is left behind";
}

TEST_F(OperaSync, AClientThatLeavesWithoutEndingStillGetsItsChangesWritten)
{
    h.home.WriteFile(QStringLiteral(".opera/notes.adr"), kHeader);
    h.home.WriteFile(QStringLiteral(".opera/bookmarks.adr"), kHeader);
    h.agent.notesAgentId = kOperaNotes;
    h.agent.browserId = static_cast<std::uint32_t>(BrowserKind::Opera);
    Ok(AS_START_SYNC);
    Ok(AS_ADD_NOTE, ItemBlob({}, TextRecord({{"Body", "left behind"}})));
    Ok(AS_ADD_BOOKMARK,
       WithFields(std::nullopt, {QString(), QStringLiteral("kept"), QStringLiteral("http://k/")}));

    h.dispatcher.ReleaseClientResources();
    EXPECT_TRUE(OnDisk("notes.adr").contains("\tNAME=left behind\n"));
    EXPECT_TRUE(OnDisk("bookmarks.adr").contains("\tNAME=kept\n\tURL=http://k/\n"));
}

TEST_F(OperaSync, APictureTooLargeToSendIsRefusedAndLogged)
{
    // Sparse: the size counts, not the bytes.
    QFile picture(FilePath("huge.png"));
    ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
    ASSERT_TRUE(picture.resize(qint64{64} * 1024 * 1024));
    picture.close();
    h.home.WriteFile(QStringLiteral(".opera/contacts.adr"),
                     kHeader +
                         "#CONTACT\n\tID=1\n\tNAME=Big Picture\n\tCREATED=1405955335\n\tPICTUREURL=file://" +
                         QFile::encodeName(FilePath("huge.png")) + "\n\n");
    h.agent.agentId = 7;
    Ok(AS_START_SYNC);
    const QByteArray report = Ok(AS_CHECK_CONTACTS);
    ASSERT_EQ(report.size(), 2 + 96 + 4);  // one added contact, nothing edited or deleted
    const QString id = QString::fromUtf16(reinterpret_cast<const char16_t*>(report.constData() + 2), 48);
    h.TakeLogLines();

    EXPECT_EQ(h.Send(AS_GET_CONTACT, Utf16z(id)).code, AS_ERROR);
    const QString log = h.TakeLogLines().join('\n');
    EXPECT_TRUE(log.contains(QStringLiteral("too large"))) << log.toStdString();
    Ok(AS_END_SYNC);
}

// The peer gets three addresses; sending them back must not drop the fourth, which it never saw.
TEST_F(OperaSync, AnEditWithTheThreeAddressesGetGaveKeepsTheFourth)
{
    const QByteArray mail = "MAIL=a@x.org\x02\x02" "b@x.org\x02\x02" "c@x.org\x02\x02" "d@x.org\n";
    h.home.WriteFile(QStringLiteral(".opera/contacts.adr"),
                     kHeader + "#CONTACT\n\tID=1\n\tNAME=Four Addresses\n\tCREATED=1405955335\n\t" + mail + "\n");
    h.agent.agentId = 7;
    Ok(AS_START_SYNC);
    const ParsedChangeReport report = ParseChangeReport(Ok(AS_CHECK_CONTACTS));
    ASSERT_EQ(report.added.size(), 1);
    const QString id = report.added[0];
    ItemRecord record = DecodeBlob(Ok(AS_GET_CONTACT, Utf16z(id)));
    EXPECT_EQ(std::get<QString>(record.values[static_cast<std::size_t>(record.IndexOf(QStringLiteral("Email3Address")))]),
              QStringLiteral("c@x.org"));
    EXPECT_LT(record.IndexOf(QStringLiteral("Email4Address")), 0);
    record.Add(QStringLiteral("HomeTelephoneNumber"), QStringLiteral("+49 30 1"));
    Ok(AS_SET_CONTACT, ItemBlob(id, record));
    Ok(AS_END_SYNC);
    const QByteArray file = OnDisk("contacts.adr");
    EXPECT_TRUE(file.contains("\t" + mail)) << file.constData();
    EXPECT_TRUE(file.contains("\tPHONE=+49 30 1\n"));
}

// A bookmark deleted on both sides: its delete changes nothing and succeeds, while a Get or an
// edit of it still fails.
TEST_F(OperaSync, ABookmarkAlreadyGoneIsDeletedWithoutErrorButNotReadOrEdited)
{
    const QByteArray bookmarks =
        kHeader + "#URL\n\tNAME=kept\n\tURL=http://kept/\n\tUNIQUEID=00000000000000010000000000000003\n\n";
    h.home.WriteFile(QStringLiteral(".opera/bookmarks.adr"), bookmarks);
    h.agent.browserId = static_cast<std::uint32_t>(BrowserKind::Opera);
    Ok(AS_START_SYNC);
    ASSERT_EQ(CheckBookmarks()[0].size(), 1u);
    Ok(AS_SAVE_BOOKMARKS_STATE);

    const BookmarkId gone = BookmarkId::FromValue(12345);
    QByteArray idOnly;
    ByteWriter w(idOnly);
    gone.Write(w);
    Ok(AS_DEL_BOOKMARK, idOnly);
    EXPECT_EQ(h.Send(AS_GET_BOOKMARK, idOnly).code, AS_ERROR);
    EXPECT_EQ(h.Send(AS_SET_BOOKMARK, WithFields(gone, {QString(), QStringLiteral("n"), QStringLiteral("http://n/")})).code,
              AS_ERROR);
    for (const auto& section : CheckBookmarks()) EXPECT_TRUE(section.empty());
    Ok(AS_END_SYNC);
    EXPECT_EQ(OnDisk("bookmarks.adr"), bookmarks);
}

// A Path deeper than other programs can follow is refused whole, by an add and by an edit that
// would move a bookmark there; the deepest Path allowed is taken.
TEST_F(OperaSync, APathTooDeepIsRefusedBeforeAnythingIsWritten)
{
    const QByteArray bookmarks =
        kHeader + "#URL\n\tNAME=kept\n\tURL=http://kept/\n\tUNIQUEID=00000000000000010000000000000003\n\n";
    h.home.WriteFile(QStringLiteral(".opera/bookmarks.adr"), bookmarks);
    h.agent.browserId = static_cast<std::uint32_t>(BrowserKind::Opera);
    Ok(AS_START_SYNC);
    const std::vector<BookmarkId> existing = CheckBookmarks()[0];
    ASSERT_EQ(existing.size(), 1u);
    Ok(AS_SAVE_BOOKMARKS_STATE);
    h.TakeLogLines();

    QStringList folders;
    for (int i = 0; i <= kMaxBookmarkFolderDepth; ++i) folders.append(QStringLiteral("f%1").arg(i));
    const BookmarkRecord tooDeep{folders.join(QLatin1Char('/')), QStringLiteral("deep"), QStringLiteral("http://d/")};
    EXPECT_EQ(h.Send(AS_ADD_BOOKMARK, WithFields(std::nullopt, tooDeep)).code, AS_ERROR);
    EXPECT_EQ(h.Send(AS_SET_BOOKMARK, WithFields(existing[0], tooDeep)).code, AS_ERROR);
    const QString log = h.TakeLogLines().join('\n');
    EXPECT_TRUE(log.contains(QStringLiteral("65 folders"))) << log.toStdString();
    for (const auto& section : CheckBookmarks()) EXPECT_TRUE(section.empty());
    Ok(AS_END_SYNC);
    EXPECT_EQ(OnDisk("bookmarks.adr"), bookmarks);

    folders.removeLast();
    Ok(AS_START_SYNC);
    Ok(AS_ADD_BOOKMARK, WithFields(std::nullopt, {folders.join(QLatin1Char('/')), QStringLiteral("deepest"),
                                                  QStringLiteral("http://d/")}));
    Ok(AS_END_SYNC);
    EXPECT_EQ(OnDisk("bookmarks.adr").count("#FOLDER"), kMaxBookmarkFolderDepth);
}

// A file holding the largest ID number leaves none for a new item: the add is refused, and the
// file is not written with a number that wrapped.
TEST_F(OperaSync, AnAddPastTheLargestIdNumberIsRefusedAndWritesNothing)
{
    const QByteArray contacts =
        kHeader + "#CONTACT\n\tID=9223372036854775807\n\tNAME=Last\n\tCREATED=1405955335\n\n";
    const QByteArray notes =
        kHeader + "#NOTE\n\tID=9223372036854775807\n\tNAME=last\n\tUNIQUEID=CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC\n\n";
    h.home.WriteFile(QStringLiteral(".opera/contacts.adr"), contacts);
    h.home.WriteFile(QStringLiteral(".opera/notes.adr"), notes);
    h.agent.agentId = 7;
    h.agent.notesAgentId = kOperaNotes;
    Ok(AS_START_SYNC);
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_ADD_CONTACT, ItemBlob({}, TextRecord({{"FirstName", "New"}}))).code, AS_ERROR);
    EXPECT_EQ(h.Send(AS_ADD_NOTE, ItemBlob({}, TextRecord({{"Body", "new"}}))).code, AS_ERROR);
    const QString log = h.TakeLogLines().join('\n');
    EXPECT_EQ(log.count(QStringLiteral("9223372036854775807")), 2) << log.toStdString();
    Ok(AS_END_SYNC);
    EXPECT_EQ(OnDisk("contacts.adr"), contacts);
    EXPECT_EQ(OnDisk("notes.adr"), notes);
}

}  // namespace
