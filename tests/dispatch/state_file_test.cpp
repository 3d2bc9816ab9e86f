#include "dispatch/state_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "common/byte_io.h"
#include "common/errors.h"
#include "common/item_id.h"
#include "support/file_size_limit.h"

namespace {

// Points the application-data folder at a fresh temporary folder for one test.
class StateFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home_.isValid());
        hadOld_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        old_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(home_.path()));
    }
    void TearDown() override
    {
        if (hadOld_)
            qputenv("XDG_DATA_HOME", old_);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    QString Dir() const { return home_.path() + QStringLiteral("/TwinLark"); }
    QString PathOf(const QString& name) const { return Dir() + QLatin1Char('/') + name; }
    void WriteFile(const QString& name, const QByteArray& bytes)
    {
        ASSERT_TRUE(QDir().mkpath(Dir()));
        QFile f(PathOf(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray ReadFile(const QString& name)
    {
        QFile f(PathOf(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList FilesInHome() const
    {
        QStringList all;
        QDir root(home_.path());
        for (const QFileInfo& fi : root.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            all << fi.fileName();
        QDir dir(Dir());
        for (const QFileInfo& fi : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            all << QStringLiteral("TwinLark/") + fi.fileName();
        return all;
    }

    QTemporaryDir home_;
    bool hadOld_ = false;
    QByteArray old_;
};

QByteArray Record(const QString& id, std::uint32_t crc)
{
    QByteArray out;
    ByteWriter w(out);
    w.Utf16Fixed(id, kItemIdUnits);
    w.U32(crc);
    return out;
}

QString Id(char c)
{
    return QString(kItemIdUnits, QLatin1Char(c));
}

TEST_F(StateFileTest, FileNameByKind)
{
    struct Case {
        StateFileKind kind;
        QString suffix;
        QString name;
    };
    const Case cases[] = {
        {StateFileKind::Contacts, QStringLiteral("S"), QStringLiteral("M.Contact")},
        {StateFileKind::Appointments, QStringLiteral("S"), QStringLiteral("M.Appointment")},
        {StateFileKind::Tasks, QStringLiteral("S"), QStringLiteral("M.Task")},
        {StateFileKind::Notes, QStringLiteral("S"), QStringLiteral("M.S")},
        {StateFileKind::Notes, QString(),
         QStringLiteral("M.")},  // the suffix is empty until the peer sets it
        {StateFileKind::Notes, QStringLiteral(".."), QStringLiteral("M...")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(StateFilePath(c.kind, QStringLiteral("M"), c.suffix), PathOf(c.name));
        StateList list;
        list.Append(Id('A'), 7);
        list.Save(c.kind, QStringLiteral("M"), c.suffix);
        EXPECT_EQ(ReadFile(c.name), Record(Id('A'), 7));
    }
}

TEST_F(StateFileTest, RefusesNamesThatAreNotPlainFileNames)
{
    struct Case {
        const char* label;
        StateFileKind kind;
        QString machineId;
        QString suffix;
    };
    const Case cases[] = {
        {"empty machine id", StateFileKind::Contacts, QString(), QString()},
        {"dot", StateFileKind::Contacts, QStringLiteral("."), QString()},
        {"dot dot", StateFileKind::Tasks, QStringLiteral(".."), QString()},
        {"slash", StateFileKind::Contacts, QStringLiteral("a/b"), QString()},
        {"parent path", StateFileKind::Appointments, QStringLiteral("../../evil"), QString()},
        {"backslash", StateFileKind::Contacts, QStringLiteral("a\\b"), QString()},
        {"control character", StateFileKind::Contacts, QStringLiteral("a\nb"), QString()},
        {"zero unit", StateFileKind::Contacts, QStringLiteral("a") + QChar(0) + QStringLiteral("b"),
         QString()},
        {"notes suffix with slash", StateFileKind::Notes, QStringLiteral("M"), QStringLiteral("x/y")},
        {"notes suffix leaving the folder", StateFileKind::Notes, QStringLiteral("M"),
         QStringLiteral("/../../x")},
        {"notes suffix with backslash", StateFileKind::Notes, QStringLiteral("M"), QStringLiteral("x\\y")},
        {"overlong", StateFileKind::Contacts, QString(300, QLatin1Char('m')), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_THROW(StateFilePath(c.kind, c.machineId, c.suffix), AgentError);
        StateList list;
        list.Append(Id('A'), 1);
        EXPECT_THROW(list.Save(c.kind, c.machineId, c.suffix), AgentError);
        EXPECT_THROW(list.Load(c.kind, c.machineId, c.suffix), AgentError);
        EXPECT_EQ(list.Size(), 0u);
    }
    for (const QString& f : FilesInHome())
        EXPECT_EQ(f, QStringLiteral("TwinLark")) << "unexpected file " << f.toStdString();
}

TEST_F(StateFileTest, MissingFileIsCreatedEmpty)
{
    StateList list;
    list.Append(Id('Z'), 1);
    list.Load(StateFileKind::Contacts, QStringLiteral("M"), QString());
    EXPECT_EQ(list.Size(), 0u);
    ASSERT_TRUE(QFileInfo::exists(PathOf(QStringLiteral("M.Contact"))));
    EXPECT_EQ(ReadFile(QStringLiteral("M.Contact")), QByteArray());
}

TEST_F(StateFileTest, TrailingPartialRecordIsIgnoredAndDroppedAtTheNextSave)
{
    const QByteArray bytes =
        Record(Id('A'), 0x11223344u) + Record(Id('B'), 0xFFFFFFFFu) + QByteArray(50, 'x');
    ASSERT_EQ(bytes.size(), 250);
    WriteFile(QStringLiteral("M.Task"), bytes);

    StateList list;
    list.Load(StateFileKind::Tasks, QStringLiteral("M"), QString());
    ASSERT_EQ(list.Size(), 2u);
    EXPECT_EQ(list.Entries()[0], (StateEntry{Id('A'), 0x11223344u}));
    EXPECT_EQ(list.Entries()[1], (StateEntry{Id('B'), 0xFFFFFFFFu}));

    list.Save(StateFileKind::Tasks, QStringLiteral("M"), QString());
    EXPECT_EQ(ReadFile(QStringLiteral("M.Task")), bytes.left(200));
}

TEST_F(StateFileTest, ShortIdentifierInFileLoadsUpToItsZeroUnit)
{
    // Ten units, a zero unit, then bytes that are not part of the identifier.
    QByteArray record = utf16::Bytes(QStringLiteral("0123456789")) + QByteArray(2, '\0');
    record += utf16::Bytes(QString(37, QLatin1Char('J')));
    record += QByteArray::fromHex("78563412");
    ASSERT_EQ(record.size(), 100);
    WriteFile(QStringLiteral("M.Appointment"), record);

    StateList list;
    list.Load(StateFileKind::Appointments, QStringLiteral("M"), QString());
    ASSERT_EQ(list.Size(), 1u);
    EXPECT_EQ(list.Entries()[0].id, QStringLiteral("0123456789"));
    EXPECT_EQ(list.Entries()[0].crc, 0x12345678u);

    // Written back, the identifier still takes exactly 96 bytes.
    list.Save(StateFileKind::Appointments, QStringLiteral("M"), QString());
    EXPECT_EQ(ReadFile(QStringLiteral("M.Appointment")), Record(QStringLiteral("0123456789"), 0x12345678u));
}

TEST_F(StateFileTest, SaveThenLoadKeepsOrderAndEmptyListGivesEmptyFile)
{
    StateList list;
    for (char c : {'C', 'A', 'B'}) list.Append(NewItemId(), static_cast<std::uint32_t>(c) * 0x01010101u);
    list.Save(StateFileKind::Notes, QStringLiteral("PEER"), QStringLiteral("notes"));
    EXPECT_EQ(ReadFile(QStringLiteral("PEER.notes")).size(), 300);

    StateList loaded;
    loaded.Load(StateFileKind::Notes, QStringLiteral("PEER"), QStringLiteral("notes"));
    EXPECT_EQ(loaded.Entries(), list.Entries());

    loaded.Clear();
    loaded.Save(StateFileKind::Notes, QStringLiteral("PEER"), QStringLiteral("notes"));
    EXPECT_EQ(ReadFile(QStringLiteral("PEER.notes")), QByteArray());
}

TEST_F(StateFileTest, AppendRefusesIdentifiersThatAreNot48Units)
{
    StateList list;
    for (int units : {0, 10, 47, 49, 140}) {
        SCOPED_TRACE(units);
        EXPECT_THROW(list.Append(QString(units, QLatin1Char('A')), 1), AgentError);
    }
    EXPECT_EQ(list.Size(), 0u);
    list.Append(Id('A'), 1);
    EXPECT_EQ(list.Size(), 1u);
}

TEST(StateList, SetChecksumAndRemoveTouchEveryEntryOfThatIdentifier)
{
    StateList list;
    list.Append(Id('A'), 1);
    list.Append(Id('B'), 2);
    list.Append(Id('A'), 3);
    list.Append(Id('C'), 4);

    list.SetChecksum(Id('A'), 9);
    list.SetChecksum(Id('a'), 8);  // case matters
    EXPECT_EQ(list.Entries(),
              (std::vector<StateEntry>{{Id('A'), 9}, {Id('B'), 2}, {Id('A'), 9}, {Id('C'), 4}}));

    list.Remove(Id('A'));
    list.Remove(Id('Q'));
    EXPECT_EQ(list.Entries(), (std::vector<StateEntry>{{Id('B'), 2}, {Id('C'), 4}}));
}

TEST_F(StateFileTest, SaveThatCannotReplaceTheFileFailsAndLeavesNoTrace)
{
    // Something in the way of the file: a folder of that name. The rename cannot replace it.
    ASSERT_TRUE(QDir().mkpath(PathOf(QStringLiteral("M.Contact"))));
    StateList list;
    list.Append(Id('A'), 1);
    EXPECT_THROW(list.Save(StateFileKind::Contacts, QStringLiteral("M"), QString()), AgentError);
    EXPECT_TRUE(QFileInfo(PathOf(QStringLiteral("M.Contact"))).isDir());
    EXPECT_EQ(QDir(Dir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("M.Contact")});

    // Loading it is an error too, not an empty list.
    StateList loaded;
    EXPECT_THROW(loaded.Load(StateFileKind::Contacts, QStringLiteral("M"), QString()), AgentError);
}

TEST_F(StateFileTest, SaveThatFailsKeepsTheOldFile)
{
    const QByteArray old = Record(Id('O'), 5) + Record(Id('P'), 6);
    WriteFile(QStringLiteral("M.Contact"), old);
    StateList list;
    for (int i = 0; i < 100; ++i) list.Append(NewItemId(), static_cast<std::uint32_t>(i));
    {
        FileSizeLimit limit(4096);  // the new content is 10000 bytes
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(list.Save(StateFileKind::Contacts, QStringLiteral("M"), QString()), AgentError);
    }
    EXPECT_EQ(ReadFile(QStringLiteral("M.Contact")), old);
    EXPECT_EQ(QDir(Dir()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("M.Contact")});
}

// The agent's folder is the user's alone, whatever mode it was left in: a read-only one is made
// 0700 again, so the save goes through instead of failing every synchronisation from then on.
TEST_F(StateFileTest, SaveIntoReadOnlyFolderMakesItTheUsersAlone)
{
    WriteFile(QStringLiteral("M.Contact"), Record(Id('O'), 5));
    ASSERT_TRUE(QFile::setPermissions(Dir(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    StateList list;
    list.Append(Id('N'), 6);
    list.Save(StateFileKind::Contacts, QStringLiteral("M"), QString());
    EXPECT_EQ(ReadFile(QStringLiteral("M.Contact")), Record(Id('N'), 6));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Dir()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(StateFileTest, UnreadableFileIsAnErrorNotAnEmptyList)
{
    if (geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
    WriteFile(QStringLiteral("M.Task"), Record(Id('A'), 1));
    ASSERT_TRUE(QFile::setPermissions(PathOf(QStringLiteral("M.Task")), QFileDevice::WriteOwner));
    StateList list;
    EXPECT_THROW(list.Load(StateFileKind::Tasks, QStringLiteral("M"), QString()), AgentError);
}

}  // namespace

