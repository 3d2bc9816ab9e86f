// Opera's notes, and what every Opera store does with a file it cannot use.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

#include "common/item_id.h"
#include "stores/opera/opera_bookmarks.h"
#include "stores/opera/opera_contacts.h"
#include "stores/opera/opera_hotlist.h"
#include "stores/opera/opera_notes.h"
#include "support/file_size_limit.h"
#include "support/temp_home.h"

namespace {

const QByteArray kHeader = "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n";
const QString B = AdrLineBreak();

QString Field(const ItemRecord& r, const char* name)
{
    const int i = r.IndexOf(QString::fromLatin1(name));
    return i < 0 ? QStringLiteral("<absent>") : std::get<QString>(r.values[static_cast<std::size_t>(i)]);
}

TEST(OperaNotesTextTest, SubjectAndBody)
{
    const QString x = QString(kAdrBreakChar);
    const struct {
        QString stored;
        QString subject;
        QString body;
    } cases[] = {
        {"one" + B + "two" + B + "three", "one", "one\ntwo\nthree"},
        {"single", "single", "single"},
        {B + "starts with a break", B + "starts with a break", "\nstarts with a break"},
        {"empty" + B + B + "line", "empty", "empty\n\nline"},
        {"lone" + x + "Xmark", "lone" + x + "Xmark", "lone\nmark"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(COperaNotes::SubjectOf(c.stored), c.subject);
        EXPECT_EQ(COperaNotes::BodyOf(c.stored), c.body);
    }
    EXPECT_EQ(ToAdrValue(QStringLiteral("a\r\nb\nc")), "a" + B + "b" + B + "c");
}

class OperaNotesTest : public ::testing::Test {
protected:
    void Plant(const QByteArray& bytes) { home_.WriteFile(QStringLiteral(".opera/notes.adr"), bytes); }
    QByteArray Read() const { return home_.ReadFile(QStringLiteral(".opera/notes.adr")).value_or("<missing>"); }
    TempHome home_;
};

TEST_F(OperaNotesTest, EditChangesTheTextInPlace)
{
    const QByteArray folderNote = "#NOTE\n\tID=5\n\tNAME=in folder\n\tURL=http://kept/\n\tCREATED=1450000000\n"
                                  "\tUNIQUEID=AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\n\n";
    Plant(kHeader + "#NOTE\n\tID=4\n\tNAME=top\n\tUNIQUEID=BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB\n\n" +
          "#FOLDER\n\tID=3\n\tNAME=F\n\n" + folderNote + "-\n\n");
    COperaNotes store;
    store.Open();
    const QString id = QStringLiteral("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA") + QString(16, QLatin1Char('0'));
    ItemRecord edit;
    edit.Add(QStringLiteral("Subject"), QStringLiteral("ignored"));
    edit.Add(QStringLiteral("Body"), QStringLiteral("new first\r\nsecond"));
    store.Edit(edit, id);
    ItemRecord r;
    store.Get(id, r);
    EXPECT_EQ(Field(r, "Subject"), QStringLiteral("new first"));
    EXPECT_EQ(Field(r, "Body"), QStringLiteral("new first\nsecond"));
    const std::uint32_t sum = store.IDtoCRC32(id);
    store.Close();

    QByteArray expected = folderNote;
    expected.replace("NAME=in folder", "NAME=new first\x02\x02second");
    EXPECT_TRUE(Read().contains("#FOLDER\n\tID=3\n\tNAME=F\n\n" + expected + "-\n")) << Read().constData();
    COperaNotes again;
    again.Open();
    EXPECT_EQ(again.IDtoCRC32(id), sum);
}

TEST_F(OperaNotesTest, AddNeedsABodyAndGivesEachNoteItsOwnNumber)
{
    Plant(kHeader + "#NOTE\n\tID=9\n\tNAME=n\n\tUNIQUEID=BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB\n\n");
    COperaNotes store;
    store.Open();
    ItemRecord noBody;
    noBody.Add(QStringLiteral("Subject"), QStringLiteral("s"));
    QString id;
    EXPECT_THROW(store.Add(noBody, id), AgentError);
    ItemRecord add;
    add.Add(QStringLiteral("Body"), QStringLiteral("hello\nworld"));
    store.Add(add, id);
    EXPECT_TRUE(IsItemId(id));
    QStringList ids;
    store.GetIDs(ids);
    EXPECT_EQ(ids.size(), 2);
    store.Close();
    EXPECT_TRUE(Read().contains("#NOTE\n\tID=10\n\tNAME=hello\x02\x02world\n\tUNIQUEID=" + id.left(32).toLatin1() + "\n"));
}

TEST_F(OperaNotesTest, ASessionWithoutChangesLeavesTheFileAlone)
{
    QFile real(QStringLiteral(TWINLARK_TEST_DATA "/opera-hotlist/notes-opera12-linux-masked-excerpt.adr"));
    ASSERT_TRUE(real.open(QIODevice::ReadOnly));
    const QByteArray bytes = real.readAll();
    Plant(bytes);
    const QString path = home_.Path(QStringLiteral(".opera/notes.adr"));
    ::chmod(QFile::encodeName(path).constData(), 0640);
    const QDateTime modified = QFileInfo(path).lastModified();

    // Contacts and notes both open the notes file, twice over, as the synchronisation does.
    COperaNotes store;
    store.Open();
    store.Open();
    QStringList ids;
    store.GetIDs(ids);
    for (const QString& id : ids) (void)store.IDtoCRC32(id);
    store.Close();
    store.Close();
    EXPECT_EQ(Read(), bytes);
    EXPECT_EQ(QFileInfo(path).lastModified(), modified);

    // A change in the next session writes it, keeping the file's mode.
    store.Open();
    store.Delete(ids.first());
    store.Close();
    EXPECT_NE(Read(), bytes);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(OperaFilesTest, AFileThatCannotBeUsedFailsOpenAndIsNeverWritten)
{
    const struct {
        const char* what;
        QByteArray bytes;
        bool unreadable;
    } cases[] = {
        {"item to the end", kHeader + "#NOTE\n\tNAME=x", false},
        {"folder to the end", kHeader + "#FOLDER\n\tNAME=f\n\n#NOTE\n\tNAME=x\n\n", false},
        {"not UTF-8", kHeader + "#NOTE\n\tNAME=\xc3\x28\n\n", false},
        {"a character cut at a line's end", kHeader + "#NOTE\n\tNAME=caf\xE9\n\n", false},
        {"a file cut inside its last character", kHeader + "#NOTE\n\tNAME=x\n\n\xE2\x82", false},
        {"unreadable", kHeader + "#NOTE\n\tNAME=x\n\tUNIQUEID=1\n\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempHome home;
        for (const char* name : {"notes.adr", "contacts.adr", "bookmarks.adr"}) {
            QByteArray bytes = c.bytes;
            bytes.replace("#NOTE", QByteArray(name).startsWith("notes") ? "#NOTE" : name[0] == 'c' ? "#CONTACT" : "#URL");
            home.WriteFile(QStringLiteral(".opera/") + QString::fromLatin1(name), bytes);
            if (c.unreadable && geteuid() != 0)
                ::chmod(QFile::encodeName(home.Path(QStringLiteral(".opera/") + QString::fromLatin1(name))).constData(),
                        0);
        }
        if (c.unreadable && geteuid() == 0) continue;  // root reads any file

        COperaNotes notes;
        COperaContacts contacts;
        COperaBookmarks bookmarks;
        EXPECT_THROW(notes.Open(), AgentError);
        EXPECT_THROW(contacts.Open(), AgentError);
        EXPECT_THROW(bookmarks.AtSyncStart(), AgentError);
        QStringList ids;
        EXPECT_THROW(notes.GetIDs(ids), AgentError);
        EXPECT_THROW(contacts.GetIDs(ids), AgentError);
        EXPECT_THROW(bookmarks.GetIDs(), AgentError);
        ItemRecord add;
        add.Add(QStringLiteral("Body"), QStringLiteral("x"));
        QString id;
        EXPECT_THROW(notes.Add(add, id), AgentError);
        EXPECT_NO_THROW(notes.Close());
        EXPECT_NO_THROW(contacts.Close());
        EXPECT_NO_THROW(bookmarks.AtSyncEnd());
        EXPECT_THROW(notes.DeleteAll(), AgentError);
        for (const char* name : {"notes.adr", "contacts.adr", "bookmarks.adr"}) {
            const QString path = home.Path(QStringLiteral(".opera/") + QString::fromLatin1(name));
            ::chmod(QFile::encodeName(path).constData(), 0600);
            QByteArray expected = c.bytes;
            expected.replace("#NOTE", QByteArray(name).startsWith("notes") ? "#NOTE" : name[0] == 'c' ? "#CONTACT" : "#URL");
            EXPECT_EQ(home.ReadFile(QStringLiteral(".opera/") + QString::fromLatin1(name)), expected) << name;
        }
    }
}

// Opening a FIFO would wait for a writer forever; a file of /proc reports a size it does not
// hold. Only a regular file is read, a link to one included.
TEST(OperaFilesTest, OnlyARegularFileIsRead)
{
    enum class Plant { Fifo, Folder, ProcLink, LinkToRegular };
    const struct {
        const char* what;
        Plant plant;
        bool opens;
    } cases[] = {
        {"a FIFO", Plant::Fifo, false},
        {"a folder", Plant::Folder, false},
        {"a link to a file of /proc", Plant::ProcLink, false},
        {"a link to a regular file", Plant::LinkToRegular, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempHome home;
        home.WriteFile(QStringLiteral(".opera/target.adr"), kHeader + "#NOTE\n\tNAME=x\n\tUNIQUEID=1\n\n");
        const QString path = home.Path(QStringLiteral(".opera/notes.adr"));
        const QByteArray native = QFile::encodeName(path);
        switch (c.plant) {
        case Plant::Fifo:
            ASSERT_EQ(::mkfifo(native.constData(), 0600), 0);
            break;
        case Plant::Folder:
            ASSERT_EQ(::mkdir(native.constData(), 0700), 0);
            break;
        case Plant::ProcLink:
            ASSERT_EQ(::symlink("/proc/self/status", native.constData()), 0);
            break;
        case Plant::LinkToRegular:
            ASSERT_EQ(::symlink("target.adr", native.constData()), 0);
            break;
        }
        COperaNotes store;
        if (!c.opens) {
            try {
                store.Open();
                ADD_FAILURE() << "opened";
            } catch (const AgentError& e) {
                EXPECT_TRUE(QString::fromUtf8(e.what()).contains(path)) << e.what();
            }
            continue;
        }
        store.Open();
        QStringList ids;
        store.GetIDs(ids);
        EXPECT_EQ(ids.size(), 1);
    }
}

TEST(OperaFilesTest, AFailedWriteKeepsTheOldFileAndTheChanges)
{
    TempHome home;
    const QByteArray bytes = kHeader + "#NOTE\n\tNAME=x\n\tUNIQUEID=CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC\n\n";
    home.WriteFile(QStringLiteral(".opera/notes.adr"), bytes);
    COperaNotes store;
    store.Open();
    ItemRecord add;
    add.Add(QStringLiteral("Body"), QStringLiteral("new"));
    QString id;
    store.Add(add, id);
    {
        FileSizeLimit limit(16);
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(store.Close(), AgentError);
    }
    EXPECT_EQ(home.ReadFile(QStringLiteral(".opera/notes.adr")), bytes);
    store.Close();
    EXPECT_TRUE(home.ReadFile(QStringLiteral(".opera/notes.adr"))->contains("NAME=new"));
}

TEST(OperaFilesTest, AMissingFileIsEmptyAndIsCreatedOnlyByAChange)
{
    TempHome home;
    COperaNotes store;
    store.Open();
    QStringList ids;
    store.GetIDs(ids);
    EXPECT_TRUE(ids.isEmpty());
    store.Close();
    EXPECT_FALSE(home.Exists(QStringLiteral(".opera/notes.adr")));
    store.Open();
    ItemRecord add;
    add.Add(QStringLiteral("Body"), QStringLiteral("first"));
    QString id;
    store.Add(add, id);
    store.Close();
    EXPECT_TRUE(home.ReadFile(QStringLiteral(".opera/notes.adr"))
                    ->startsWith("Opera Hotlist version 2.0\r\r\nOptions: encoding = utf8, version=3\r\n\r\n#NOTE\r\n"));
}

}  // namespace
