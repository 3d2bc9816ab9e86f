#include "platform/registry.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/byte_io.h"
#include "support/temp_home.h"

namespace {

const QString kUserFile = QStringLiteral(".config/TwinLark/registry/HKEY_CURRENT_USER.reg");
const QString kMachineFile = QStringLiteral(".config/TwinLark/registry/HKEY_LOCAL_MACHINE.reg");
const QString kKey = QStringLiteral("SOFTWARE\\Ostrel Software\\TwinLark2");

QByteArray Utf16WithTerminator(const QString& text)
{
    return utf16::Bytes(text) + QByteArray(2, '\0');
}

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

mode_t FileMode(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

RegistryKey OpenExisting(const QString& path, RegistryRoot root = RegistryRoot::CurrentUser)
{
    std::optional<RegistryKey> key = RegistryKey::Open(root, path);
    if (!key)
        throw std::runtime_error("key missing: " + path.toStdString());
    return *key;
}

TEST(Registry, EveryTypeSurvivesTheFileAndReadsBackFromAFreshOpen)
{
    TempHome home;
    std::optional<RegistryKey> key = RegistryKey::Open(RegistryRoot::CurrentUser, kKey, true);
    ASSERT_TRUE(key);
    const QString tricky = QStringLiteral("a\\b\"c \u00fc \u20ac \U0001F600 [x] ;y =z");
    QByteArray longBlob;
    for (int i = 0; i < 100; ++i)
        longBlob.append(static_cast<char>(i * 7));
    const RegistryValue multi{RegistryType::MultiString, Utf16WithTerminator(QStringLiteral("a")) +
                                                             Utf16WithTerminator(QStringLiteral("b")) +
                                                             QByteArray(2, '\0')};
    const RegistryValue qword{RegistryType::Qword, Bytes({1, 2, 3, 4, 5, 6, 7, 8})};
    const RegistryValue oddType{static_cast<RegistryType>(0x2a), Bytes({0xff})};
    // Strings the quoted form cannot carry exactly fall back to hex(1).
    const RegistryValue unterminated{RegistryType::String, QByteArray("abc")};
    const RegistryValue innerZero{RegistryType::String, Utf16WithTerminator(QStringLiteral("x")) +
                                                            Utf16WithTerminator(QStringLiteral("y"))};
    const RegistryValue shortDword{RegistryType::Dword, Bytes({1, 2, 3})};

    ASSERT_TRUE(key->WriteDword(QStringLiteral("port"), 27385));
    ASSERT_TRUE(key->WriteDword(QStringLiteral("max"), 0xFFFFFFFF));
    ASSERT_TRUE(key->WriteString(QStringLiteral("password"), tricky));
    ASSERT_TRUE(key->WriteString(QStringLiteral("empty"), QString()));
    ASSERT_TRUE(key->WriteString(QStringLiteral("lines"), QStringLiteral("one\r\ntwo")));
    ASSERT_TRUE(key->WriteString(QStringLiteral(""), QStringLiteral("default")));
    ASSERT_TRUE(key->WriteString(QStringLiteral("na\"me\\"), QStringLiteral("v")));
    ASSERT_TRUE(key->WriteBinary(QStringLiteral("blob"), longBlob));
    ASSERT_TRUE(key->WriteBinary(QStringLiteral("nothing"), QByteArray()));
    ASSERT_TRUE(key->WriteValue(QStringLiteral("multi"), multi));
    ASSERT_TRUE(key->WriteValue(QStringLiteral("qword"), qword));
    ASSERT_TRUE(key->WriteValue(QStringLiteral("odd type"), oddType));
    ASSERT_TRUE(key->WriteValue(QStringLiteral("unterminated"), unterminated));
    ASSERT_TRUE(key->WriteValue(QStringLiteral("inner zero"), innerZero));
    ASSERT_TRUE(key->WriteValue(QStringLiteral("short dword"), shortDword));

    const RegistryKey again = OpenExisting(kKey);
    EXPECT_EQ(again.ReadDword(QStringLiteral("port")), 27385u);
    EXPECT_EQ(again.ReadDword(QStringLiteral("max")), 0xFFFFFFFFu);
    EXPECT_EQ(again.ReadString(QStringLiteral("password")), tricky);
    EXPECT_EQ(again.ReadValue(QStringLiteral("password"))->data, Utf16WithTerminator(tricky));
    EXPECT_EQ(again.ReadString(QStringLiteral("empty")), QString());
    EXPECT_EQ(again.ReadString(QStringLiteral("lines")), QStringLiteral("one\r\ntwo"));
    EXPECT_EQ(again.ReadString(QString()), QStringLiteral("default"));
    EXPECT_EQ(again.ReadString(QStringLiteral("na\"me\\")), QStringLiteral("v"));
    EXPECT_EQ(again.ReadBinary(QStringLiteral("blob")), longBlob);
    EXPECT_EQ(again.ReadBinary(QStringLiteral("nothing")), QByteArray());
    EXPECT_EQ(again.ReadValue(QStringLiteral("multi")), multi);
    EXPECT_EQ(again.ReadValue(QStringLiteral("qword")), qword);
    EXPECT_EQ(again.ReadValue(QStringLiteral("odd type")), oddType);
    EXPECT_EQ(again.ReadValue(QStringLiteral("unterminated")), unterminated);
    EXPECT_EQ(again.ReadValue(QStringLiteral("inner zero")), innerZero);
    EXPECT_EQ(again.ReadValue(QStringLiteral("short dword")), shortDword);

    const QString text = QString::fromUtf8(home.ReadFile(kUserFile).value_or(QByteArray()));
    EXPECT_TRUE(text.startsWith(QStringLiteral("Windows Registry Editor Version 5.00\n")))
        << text.toStdString();
    for (const QString& line : {
             QStringLiteral("[SOFTWARE\\Ostrel Software\\TwinLark2]"),
             QStringLiteral("\"port\"=dword:00006af9"),
             QStringLiteral("\"password\"=\"a\\\\b\\\"c \u00fc \u20ac \U0001F600 [x] ;y =z\""),
             QStringLiteral("@=\"default\""),
             QStringLiteral("\"na\\\"me\\\\\"=\"v\""),
             QStringLiteral("\"nothing\"=hex:"),
             QStringLiteral("\"multi\"=hex(7):61,00,00,00,62,00,00,00,00,00"),
             QStringLiteral("\"odd type\"=hex(2a):ff"),
             QStringLiteral("\"unterminated\"=hex(1):61,62,63"),
             QStringLiteral("\"short dword\"=hex(4):01,02,03"),
         }) {
        EXPECT_TRUE(text.split(u'\n').contains(line)) << line.toStdString() << "\n" << text.toStdString();
    }
    for (const QString& line : text.split(u'\n'))
        EXPECT_LE(line.size(), 80) << "hex data is wrapped: " << line.toStdString();
}

TEST(Registry, FileIsReplacedAtomicallyAndKeptPrivate)
{
    TempHome home;
    std::optional<RegistryKey> key = RegistryKey::Open(RegistryRoot::CurrentUser, kKey, true);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteString(QStringLiteral("password"), QStringLiteral("secret")));
    ASSERT_TRUE(key->WriteDword(QStringLiteral("port"), 1));

    EXPECT_EQ(FileMode(home.Path(kUserFile)), 0600u);
    EXPECT_EQ(FileMode(home.Path(QStringLiteral(".config/TwinLark/registry"))), 0700u);
    const QStringList names = QDir(home.Path(QStringLiteral(".config/TwinLark/registry")))
                                  .entryList(QDir::Files | QDir::Hidden | QDir::System);
    EXPECT_EQ(names, QStringList{QStringLiteral("HKEY_CURRENT_USER.reg")}) << "no temporary file left";

    // A planted file with looser permissions is tightened by the next write.
    ::chmod(QFile::encodeName(home.Path(kUserFile)).constData(), 0644);
    ASSERT_TRUE(key->WriteDword(QStringLiteral("port"), 2));
    EXPECT_EQ(FileMode(home.Path(kUserFile)), 0600u);
}

TEST(Registry, KeyAndValueNamesMatchWithoutCase)
{
    TempHome home;
    ASSERT_TRUE(
        RegistryKey::Open(RegistryRoot::CurrentUser, kKey, true)->WriteDword(QStringLiteral("Port"), 5));

    RegistryKey key = OpenExisting(QStringLiteral("software\\OSTREL SOFTWARE\\twinlark2"));
    EXPECT_EQ(key.ReadDword(QStringLiteral("PORT")), 5u);
    ASSERT_TRUE(key.WriteDword(QStringLiteral("port"), 6));
    EXPECT_EQ(OpenExisting(kKey).ReadDword(QStringLiteral("Port")), 6u);

    const QString text = QString::fromUtf8(*home.ReadFile(kUserFile));
    EXPECT_EQ(text.count(QStringLiteral("port\"="), Qt::CaseInsensitive), 1) << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("[SOFTWARE"), Qt::CaseInsensitive), 1) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("[SOFTWARE\\Ostrel Software\\TwinLark2]")))
        << "first spelling kept";
}

TEST(Registry, ValueOfAnotherTypeReadsAsMissing)
{
    TempHome home;
    home.WriteFile(kUserFile,
                   "[SOFTWARE\\T]\n"
                   "\"text\"=\"27385\"\n"
                   "\"num\"=dword:00000001\n"
                   "\"bin\"=hex:01,00,00,00\n"
                   "\"dword as hex\"=hex(4):02,00,00,00\n"
                   "\"short dword\"=hex(4):02,00\n"
                   "\"expand\"=hex(2):41,00,00,00\n");
    const RegistryKey key = OpenExisting(QStringLiteral("SOFTWARE\\T"));

    EXPECT_FALSE(key.ReadDword(QStringLiteral("text")));
    EXPECT_FALSE(key.ReadBinary(QStringLiteral("text")));
    EXPECT_FALSE(key.ReadString(QStringLiteral("num")));
    EXPECT_FALSE(key.ReadBinary(QStringLiteral("num")));
    EXPECT_FALSE(key.ReadDword(QStringLiteral("bin")));
    EXPECT_FALSE(key.ReadString(QStringLiteral("bin")));
    EXPECT_FALSE(key.ReadDword(QStringLiteral("short dword")));
    EXPECT_FALSE(key.ReadString(QStringLiteral("expand")));
    EXPECT_EQ(key.ReadDword(QStringLiteral("dword as hex")), 2u);

    // Every one of them exists and reads raw, as the peer's raw value query needs them.
    for (const char* name : {"text", "num", "bin", "dword as hex", "short dword", "expand"})
        EXPECT_TRUE(key.Exists(QString::fromLatin1(name))) << name;
    EXPECT_EQ(key.ReadValue(QStringLiteral("text")),
              (RegistryValue{RegistryType::String, Utf16WithTerminator(QStringLiteral("27385"))}));
    EXPECT_EQ(key.ReadValue(QStringLiteral("num")),
              (RegistryValue{RegistryType::Dword, Bytes({1, 0, 0, 0})}));
    EXPECT_EQ(key.ReadValue(QStringLiteral("expand")),
              (RegistryValue{RegistryType::ExpandString, Bytes({0x41, 0, 0, 0})}));
    EXPECT_FALSE(key.Exists(QStringLiteral("absent")));
}

TEST(Registry, PlantedFilesInTheEditorsOwnFormsAreRead)
{
    TempHome home;
    // No header, CR LF, sections with the root's name, a repeated section, continued hex data,
    // a later duplicate, a key of another root, comments.
    home.WriteFile(kUserFile,
                   "; planted by hand\r\n"
                   "[HKEY_CURRENT_USER\\Software\\Vendor\\App]\r\n"
                   "\"Path\"=\"C:\\\\Program Files\\\\App\"\r\n"
                   "\"blob\"=hex:01,02,\\\r\n"
                   "  03,\\\r\n"
                   "  04\r\n"
                   "\r\n"
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n"
                   "\"stolen\"=dword:00000001\r\n"
                   "\r\n"
                   "[software\\vendor\\app]\r\n"
                   "\"later\"  =  dword:2\r\n"
                   "\"PATH\"=\"D:\\\\\"\r\n"
                   "[HKEY_CURRENT_USER]\r\n"
                   "@=\"at the root\"\r\n");

    const RegistryKey app = OpenExisting(QStringLiteral("Software\\Vendor\\App"));
    EXPECT_EQ(app.ReadString(QStringLiteral("path")), QStringLiteral("D:\\"));
    EXPECT_EQ(app.ReadBinary(QStringLiteral("blob")), Bytes({1, 2, 3, 4}));
    EXPECT_EQ(app.ReadDword(QStringLiteral("later")), 2u);
    EXPECT_EQ(OpenExisting(QString()).ReadString(QString()), QStringLiteral("at the root"));

    EXPECT_TRUE(RegistryKey::KeyExists(RegistryRoot::CurrentUser, QStringLiteral("Software\\Vendor")))
        << "a key with a deeper key exists";
    EXPECT_TRUE(RegistryKey::KeyExists(RegistryRoot::CurrentUser, QStringLiteral("\\Software\\Vendor\\")));
    EXPECT_FALSE(RegistryKey::KeyExists(RegistryRoot::CurrentUser, QStringLiteral("Software\\Vend")));
    EXPECT_FALSE(RegistryKey::KeyExists(RegistryRoot::CurrentUser, QStringLiteral("SOFTWARE\\Other")));
    EXPECT_FALSE(RegistryKey::KeyExists(RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Other")))
        << "each root lives in its own file";
}

TEST(Registry, Utf16ExportWithByteOrderMarkIsRead)
{
    TempHome home;
    const QString text = QStringLiteral(
        "Windows Registry Editor Version 5.00\r\n\r\n[SOFTWARE\\W]\r\n\"name\"=\"w\u00e9rt\"\r\n");
    home.WriteFile(kUserFile, QByteArray("\xFF\xFE") + utf16::Bytes(text));
    EXPECT_EQ(OpenExisting(QStringLiteral("SOFTWARE\\W")).ReadString(QStringLiteral("name")),
              QStringLiteral("w\u00e9rt"));
}

const char kGarbled[] =
    "Windows Registry Editor Version 5.00\n"
    "stray text before any key\n"
    "[SOFTWARE\\G]\n"
    "\"good1\"=dword:00000001\n"
    "garbage line\n"
    "\"unterminated=dword:1\n"
    "\"a\"=dword:zzz\n"
    "\"b\"=dword:123456789\n"
    "\"c\"=hex:0g,01\n"
    "\"d\"=hex(zz):01\n"
    "\"e\"=\"text\" trailing\n"
    "\"f\"=-\n"
    "@\n"
    "\"h\"=\"\xC3(\"\n"
    "\"good2\"=\"two\"\n"
    "[broken section\n"
    "\"lost\"=dword:00000001\n"
    "[-SOFTWARE\\Deleted]\n"
    "[SOFTWARE\\G]\n"
    "\"good3\"=hex:03\n"
    "\"tail\"=hex:01,\\\n";

TEST(Registry, GarbledLinesAreSkippedAndKeptOnRewrite)
{
    TempHome home;
    home.WriteFile(kUserFile, kGarbled);
    RegistryKey key = OpenExisting(QStringLiteral("SOFTWARE\\G"));
    EXPECT_EQ(key.ReadDword(QStringLiteral("good1")), 1u);
    EXPECT_EQ(key.ReadString(QStringLiteral("good2")), QStringLiteral("two"));
    EXPECT_EQ(key.ReadBinary(QStringLiteral("good3")), Bytes({3}));
    EXPECT_EQ(key.ReadBinary(QStringLiteral("tail")), Bytes({1})) << "a continuation at the end of the file";
    for (const char* name : {"a", "b", "c", "d", "e", "f", "lost"})
        EXPECT_FALSE(key.Exists(QString::fromLatin1(name))) << name;
    EXPECT_FALSE(key.Exists(QString())) << "a bare @ is no value";

    ASSERT_TRUE(key.WriteDword(QStringLiteral("new"), 9));
    const QString rewritten = QString::fromUtf8(*home.ReadFile(kUserFile));
    for (const char* line : {"stray text before any key", "garbage line", "\"a\"=dword:zzz",
                             "\"b\"=dword:123456789", "\"e\"=\"text\" trailing", "\"f\"=-", "[broken section",
                             "\"lost\"=dword:00000001", "[-SOFTWARE\\Deleted]"}) {
        EXPECT_TRUE(rewritten.contains(QString::fromUtf8(line))) << line << "\n" << rewritten.toStdString();
    }
    const RegistryKey again = OpenExisting(QStringLiteral("SOFTWARE\\G"));
    EXPECT_EQ(again.ReadDword(QStringLiteral("good1")), 1u);
    EXPECT_EQ(again.ReadString(QStringLiteral("good2")), QStringLiteral("two"));
    EXPECT_EQ(again.ReadDword(QStringLiteral("new")), 9u);
    EXPECT_FALSE(again.Exists(QStringLiteral("lost"))) << "still not attributed to a key";
}

// A value line whose data cannot be read is neither a value nor nothing: a read says so, other
// changes keep the line as written, and only writing or deleting that value replaces it.
TEST(Registry, ValueLineThatCannotBeReadIsUnreadableUntilReplaced)
{
    TempHome home;
    home.WriteFile(kUserFile,
                   "[SOFTWARE\\G]\n\"good\"=dword:00000001\n\"Bad\"=dword:xyz\n"
                   "\"gone\"=hex:zz\n");
    const QString key = QStringLiteral("SOFTWARE\\G");
    EXPECT_EQ(ReadRegistryValue(RegistryRoot::CurrentUser, key, QStringLiteral("bad")).status,
              RegistryRead::Status::Unreadable);
    EXPECT_EQ(ReadRegistryValue(RegistryRoot::CurrentUser, key, QStringLiteral("good")).status,
              RegistryRead::Status::Found);
    EXPECT_EQ(ReadRegistryValue(RegistryRoot::CurrentUser, key, QStringLiteral("none")).status,
              RegistryRead::Status::Missing);

    RegistryKey opened = OpenExisting(key);
    ASSERT_TRUE(opened.WriteDword(QStringLiteral("other"), 2));
    EXPECT_TRUE(QString::fromUtf8(*home.ReadFile(kUserFile)).contains(QStringLiteral("\"Bad\"=dword:xyz\n")));
    EXPECT_EQ(ReadRegistryValue(RegistryRoot::CurrentUser, key, QStringLiteral("bad")).status,
              RegistryRead::Status::Unreadable);

    ASSERT_TRUE(opened.WriteDword(QStringLiteral("BAD"), 3));
    EXPECT_EQ(opened.ReadDword(QStringLiteral("bad")), 3u);
    EXPECT_TRUE(opened.DeleteValue(QStringLiteral("gone")));
    const QString rewritten = QString::fromUtf8(*home.ReadFile(kUserFile));
    EXPECT_FALSE(rewritten.contains(QStringLiteral("xyz"))) << rewritten.toStdString();
    EXPECT_FALSE(rewritten.contains(QStringLiteral("zz"))) << rewritten.toStdString();
    EXPECT_EQ(ReadRegistryValue(RegistryRoot::CurrentUser, key, QStringLiteral("gone")).status,
              RegistryRead::Status::Missing);
}

TEST(Registry, EveryTruncationOfAFileParsesWithoutHarm)
{
    const QByteArray whole(kGarbled);
    for (qsizetype n = 0; n <= whole.size(); ++n) {
        const RegistryDocument doc =
            RegistryDocument::Parse(whole.left(n), QStringLiteral("HKEY_CURRENT_USER"));
        // What was readable stays readable after a round trip through the writer.
        const RegistryDocument again =
            RegistryDocument::Parse(doc.Serialize(), QStringLiteral("HKEY_CURRENT_USER"));
        const QStringList key{QStringLiteral("SOFTWARE"), QStringLiteral("G")};
        for (const char* name : {"good1", "good2", "good3", "tail"}) {
            const RegistryValue* before = doc.FindValue(key, QString::fromLatin1(name));
            const RegistryValue* after = again.FindValue(key, QString::fromLatin1(name));
            ASSERT_EQ(before == nullptr, after == nullptr) << n << " " << name;
            if (before) {
                EXPECT_EQ(*before, *after) << n << " " << name;
            }
        }
    }
}

TEST(Registry, OpeningCreatesOnlyWhenAsked)
{
    TempHome home;
    EXPECT_FALSE(RegistryKey::Open(RegistryRoot::CurrentUser, kKey));
    EXPECT_FALSE(home.Exists(kUserFile)) << "looking does not write";
    EXPECT_TRUE(RegistryKey::KeyExists(RegistryRoot::CurrentUser, QString())) << "the root always exists";

    ASSERT_TRUE(RegistryKey::Open(RegistryRoot::CurrentUser, kKey, true));
    EXPECT_TRUE(QString::fromUtf8(*home.ReadFile(kUserFile))
                    .contains(QStringLiteral("[SOFTWARE\\Ostrel Software\\TwinLark2]\n")));
    RegistryKey key = OpenExisting(kKey);
    EXPECT_EQ(key.Path(), kKey);

    ASSERT_TRUE(key.WriteDword(QStringLiteral("firstRun"), 1));
    EXPECT_TRUE(key.DeleteValue(QStringLiteral("FIRSTRUN")));
    EXPECT_FALSE(key.Exists(QStringLiteral("firstRun")));
    EXPECT_FALSE(key.DeleteValue(QStringLiteral("firstRun")));
    EXPECT_TRUE(RegistryKey::KeyExists(RegistryRoot::CurrentUser, kKey)) << "an emptied key stays";

    EXPECT_FALSE(key.WriteDword(QStringLiteral("two\nlines"), 1)) << "a name that breaks its line";
}

TEST(Registry, RootsAreSeparateFiles)
{
    TempHome home;
    ASSERT_TRUE(
        RegistryKey::Open(RegistryRoot::LocalMachine, kKey, true)->WriteDword(QStringLiteral("x"), 1));
    EXPECT_TRUE(home.Exists(kMachineFile));
    EXPECT_FALSE(home.Exists(kUserFile));
    EXPECT_FALSE(RegistryKey::KeyExists(RegistryRoot::CurrentUser, kKey));
    EXPECT_EQ(RegistryFilePath(RegistryRoot::LocalMachine), home.Path(kMachineFile));

    EXPECT_EQ(RegistryRootFromHandle(0x80000001), RegistryRoot::CurrentUser);
    EXPECT_EQ(RegistryRootFromHandle(0x80000002), RegistryRoot::LocalMachine);
    EXPECT_FALSE(RegistryRootFromHandle(0x80000000));
    EXPECT_FALSE(RegistryRootFromHandle(0));
}

TEST(Registry, FileThatCannotBeReadIsNeverReplaced)
{
    TempHome home;
    // A folder where the file should be: it exists but cannot be read as a file.
    ASSERT_TRUE(QDir().mkpath(home.Path(kUserFile)));
    EXPECT_FALSE(RegistryKey::Open(RegistryRoot::CurrentUser, kKey, true));
    EXPECT_TRUE(QFileInfo(home.Path(kUserFile)).isDir());
}

}  // namespace
