#include "stores/outlook/id_convert.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <pugixml.hpp>

#include "common/errors.h"
#include "common/item_id.h"
#include "support/temp_home.h"

namespace {

const QString kMapFile = QStringLiteral(".local/share/TwinLark/ids_PEER.xml");

QString LongId(char c)
{
    return QString(140, QLatin1Char(c));
}

// The map file's sections in document order, each with its (short, long) pairs.
std::vector<std::pair<std::string, std::vector<CIdConvert::Pair>>> Sections(const TempHome& home)
{
    std::vector<std::pair<std::string, std::vector<CIdConvert::Pair>>> sections;
    const QByteArray bytes = home.ReadFile(kMapFile).value_or(QByteArray());
    pugi::xml_document doc;
    if (!doc.load_buffer(bytes.constData(), static_cast<size_t>(bytes.size()))) return sections;
    for (const pugi::xml_node& section : doc.child("ids").children()) {
        std::vector<CIdConvert::Pair> pairs;
        for (const pugi::xml_node& item : section.children("item"))
            pairs.emplace_back(QString::fromUtf8(item.child_value("id48")),
                               QString::fromUtf8(item.child_value("id140")));
        sections.emplace_back(section.name(), pairs);
    }
    return sections;
}

using Sectioned = std::vector<std::pair<std::string, std::vector<CIdConvert::Pair>>>;

TEST(IdConvert, WithoutAFileTheMapIsEmptyAndSaveWritesEverySectionWithTheSavedOneLast)
{
    TempHome home;
    CIdConvert map;
    EXPECT_EQ(map.Load(IdMapKind::Contacts, "PEER"), 0);
    EXPECT_TRUE(map.Pairs().empty());
    const QString shortId = map.Add(LongId('a'));
    EXPECT_TRUE(IsItemId(shortId));
    EXPECT_EQ(map.Get140(shortId), LongId('a'));
    EXPECT_EQ(map.Save(), 0);
    EXPECT_EQ(
        Sections(home),
        (Sectioned{
            {"appointments", {}}, {"notes", {}}, {"tasks", {}}, {"contacts", {{shortId, LongId('a')}}}}));

    // The pairs stay after the save: a later request of the same synchronisation still finds them.
    EXPECT_EQ(map.Get140(shortId), LongId('a'));
    map.Load(IdMapKind::Contacts, "PEER");
    EXPECT_EQ(map.Get140(shortId), LongId('a'));
}

// Any number of saves, with the agent's own adds and removals between them, leave exactly the
// pairs held: those loaded and added, less those removed.
TEST(IdConvert, EverySaveWritesEveryPairHeld)
{
    TempHome home;
    CIdConvert map;
    map.Load(IdMapKind::Appointments, "PEER");
    const QString a = map.Add(LongId('a'));
    const QString b = map.Add(LongId('b'));
    map.Save();
    const QString c = map.Add(LongId('c'));
    map.Save();
    map.Remove(a);
    map.Save();
    map.Save();
    const std::vector<CIdConvert::Pair> expected{{b, LongId('b')}, {c, LongId('c')}};
    EXPECT_EQ(Sections(home).back(), (std::pair<std::string, std::vector<CIdConvert::Pair>>{"appointments", expected}));
    CIdConvert reloaded;
    reloaded.Load(IdMapKind::Appointments, "PEER");
    EXPECT_EQ(reloaded.Pairs(), expected);
}

// Texts XML 1.0 does not admit never reach the file, which a strict reader then refuses whole;
// and a map nested however deep is read without recursion.
TEST(IdConvert, TheFileStaysWellFormedAndDeepNestingIsReadWithoutRecursion)
{
    TempHome home;
    CIdConvert map;
    map.Load(IdMapKind::Contacts, "PEER");
    const QString controls = QStringLiteral("a\u0001b\u000Bc") + QChar(0xFFFE) + QChar(0xD800) + QStringLiteral("d");
    const QString shortId = map.Add(controls);
    map.Save();
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(QFile::encodeName(home.Path(kMapFile)).constData()));
    EXPECT_EQ(Sections(home).back().second,
              (std::vector<CIdConvert::Pair>{{shortId, QStringLiteral("ab\ncd")}}));

    constexpr int kDepth = 200000;
    QByteArray deep = "<ids><contacts><item><id48>S</id48><id140>";
    for (int i = 0; i < kDepth; ++i) deep += "<x>";
    deep += "L";
    for (int i = 0; i < kDepth; ++i) deep += "</x>";
    deep += "</id140></item></contacts></ids>";
    home.WriteFile(kMapFile, deep);
    map.Load(IdMapKind::Contacts, "PEER");
    EXPECT_EQ(map.Pairs(), (std::vector<CIdConvert::Pair>{{"S", "L"}}));
}

TEST(IdConvert, SavingOneKindKeepsTheOthersAndMovesItsSectionLast)
{
    TempHome home;
    CIdConvert contacts;
    contacts.Load(IdMapKind::Contacts, "PEER");
    const QString c1 = contacts.Add(LongId('c'));
    contacts.Save();

    CIdConvert appointments;
    appointments.Load(IdMapKind::Appointments, "PEER");
    const QString a1 = appointments.Add(LongId('x'));
    appointments.Save();
    EXPECT_EQ(Sections(home), (Sectioned{{"notes", {}},
                                         {"tasks", {}},
                                         {"contacts", {{c1, LongId('c')}}},
                                         {"appointments", {{a1, LongId('x')}}}}));
}

TEST(IdConvert, ConvertIdsMapsKnownIdsAndGivesNewOnesToUnmapped140CharacterIds)
{
    TempHome home;
    CIdConvert map;
    map.Load(IdMapKind::Tasks, "PEER");
    const QString known = map.Add(LongId('k'));
    const QString plain = NewItemId();
    QStringList ids = {LongId('k'), LongId('n'), plain, QStringLiteral("short")};
    map.ConvertIDs(ids);
    EXPECT_EQ(ids[0], known);
    EXPECT_TRUE(IsItemId(ids[1]));
    EXPECT_NE(ids[1], known);
    EXPECT_EQ(map.Get140(ids[1]), LongId('n'));
    EXPECT_EQ(ids.mid(2), (QStringList{plain, "short"}));
    EXPECT_EQ(map.Pairs().size(), 2u);
}

TEST(IdConvert, RemoveAndMissesNeverFail)
{
    TempHome home;
    CIdConvert map;
    map.Load(IdMapKind::Notes, "PEER");
    const QString a = map.Add(LongId('a'));
    const QString b = map.Add(LongId('b'));
    EXPECT_EQ(map.Remove(NewItemId()), QString());
    EXPECT_EQ(map.Remove(a), LongId('a'));
    EXPECT_EQ(map.Get140(a), "error in CIdConvert::Get140");
    EXPECT_EQ(map.Get140(b), LongId('b'));
    EXPECT_EQ(map.Pairs(), (std::vector<CIdConvert::Pair>{{b, LongId('b')}}));
}

struct FileCase {
    const char* name;
    QByteArray file;
    std::vector<CIdConvert::Pair> loaded;  // contacts
    Sectioned afterSave;                   // after saving one more contacts pair "N"
};

class IdMapFiles : public ::testing::TestWithParam<FileCase> {};

TEST_P(IdMapFiles, LoadReadsByPositionAndSaveRepairsWhatItCannotUse)
{
    const FileCase& c = GetParam();
    TempHome home;
    home.WriteFile(kMapFile, c.file);
    CIdConvert map;
    map.Load(IdMapKind::Contacts, "PEER");
    EXPECT_EQ(map.Pairs(), c.loaded);
    map.Remove(QStringLiteral("S1"));
    map.Save();
    EXPECT_EQ(Sections(home), c.afterSave);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IdMapFiles,
    ::testing::Values(
        FileCase{"ChildrenByPositionNotName",
                 "<ids><notes><item><id48>K</id48><id140>L</id140></item></notes>"
                 "<contacts><item><b>S1</b><a>L1</a><c>ignored</c></item><item><id48>S2</id48></item>"
                 "<item><id48>S3</id48><id140>L3</id140></item></contacts></ids>",
                 {{"S1", "L1"}, {"S2", ""}, {"S3", "L3"}},
                 {{"notes", {{"K", "L"}}}, {"contacts", {{"S2", ""}, {"S3", "L3"}}}}},
        FileCase{"Malformed",
                 "<ids><contacts><item>",
                 {},
                 {{"appointments", {}}, {"notes", {}}, {"tasks", {}}, {"contacts", {}}}},
        FileCase{"WithoutItsRoot",
                 "<?xml version='1.0'?><other><contacts><item><x>S1</x><y>L</y></item></contacts></other>",
                 {},
                 {{"appointments", {}}, {"notes", {}}, {"tasks", {}}, {"contacts", {}}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IdConvert, MachineIdentifierThatCouldLeaveTheFolderIsRefused)
{
    TempHome home;
    CIdConvert map;
    EXPECT_THROW(map.Load(IdMapKind::Contacts, "../evil"), AgentError);
    EXPECT_THROW(map.Load(IdMapKind::Contacts, "a/b"), AgentError);
}

TEST(IdConvert, AFailedWriteFailsNamingTheFileAndKeepsThePairs)
{
    TempHome home;
    // A folder stands where the map file belongs: it can be neither read nor replaced.
    ASSERT_TRUE(QDir().mkpath(home.Path(kMapFile)));
    CIdConvert map;
    map.Load(IdMapKind::Contacts, "PEER");
    const QString shortId = map.Add(LongId('a'));
    try {
        map.Save();
        ADD_FAILURE() << "saved";
    } catch (const AgentError& e) {
        EXPECT_NE(std::string(e.what()).find("ids_PEER.xml"), std::string::npos) << e.what();
    }
    EXPECT_EQ(map.Pairs(), (std::vector<CIdConvert::Pair>{{shortId, LongId('a')}}));
    EXPECT_TRUE(QFileInfo(home.Path(kMapFile)).isDir());
    ASSERT_TRUE(QDir(home.Path(kMapFile)).removeRecursively());
    EXPECT_EQ(map.Save(), 0);
    EXPECT_EQ(Sections(home).back().second, map.Pairs());
}

}  // namespace
