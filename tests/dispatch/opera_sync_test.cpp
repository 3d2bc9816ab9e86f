// Opera's hotlist files through the dispatcher with the real Opera stores, in a temporary home:
// what the check list keeps for a bookmark sent with line breaks, a hotlist that cannot be
// written back at the end, a client that leaves without ending, and a picture too large to send.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

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

}  // namespace
