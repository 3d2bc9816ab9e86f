// Opera Mail's contacts over the real contacts file and small hotlists in a temporary home.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QUrl>
#include <set>

#include "common/item_id.h"
#include "stores/opera/opera_contacts.h"
#include "stores/opera/opera_hotlist.h"
#include "support/temp_home.h"

namespace {

const QByteArray kHeader = "Opera Hotlist version 2.0\nOptions: encoding = utf8, version=3\n\n";

QByteArray RealContacts()
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/opera-hotlist/contacts-opera12-linux-anonymised.adr"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

QString Field(const ItemRecord& r, const char* name)
{
    const int i = r.IndexOf(QString::fromLatin1(name));
    return i < 0 ? QStringLiteral("<absent>") : std::get<QString>(r.values[static_cast<std::size_t>(i)]);
}

class OperaContactsTest : public ::testing::Test {
protected:
    QString Plant(const QByteArray& bytes)
    {
        home_.WriteFile(QStringLiteral(".opera/contacts.adr"), bytes);
        return Path();
    }
    QString Path() const { return home_.Path(QStringLiteral(".opera/contacts.adr")); }
    QByteArray Read() const { return *home_.ReadFile(QStringLiteral(".opera/contacts.adr")); }
    std::map<QString, std::uint32_t> Checksums(COperaContacts& store)
    {
        QStringList ids;
        store.GetIDs(ids);
        std::map<QString, std::uint32_t> sums;
        for (const QString& id : ids) sums[id] = store.IDtoCRC32(id);
        return sums;
    }

    TempHome home_;
};

TEST_F(OperaContactsTest, RealFileGivesEveryContactItsOwnIdentifier)
{
    Plant(RealContacts());
    COperaContacts store;
    store.Open();
    QStringList ids;
    store.GetIDs(ids);
    ASSERT_EQ(ids.size(), 76);
    EXPECT_EQ(QSet<QString>(ids.begin(), ids.end()).size(), 76);
    for (const QString& id : ids) EXPECT_TRUE(IsItemId(id)) << id.toStdString();
    // A CREATED value of its own is the padded value; shared ones end in the contact's ID.
    EXPECT_TRUE(ids.contains(QStringLiteral("1405955335") + QString(38, QLatin1Char('0'))));
    EXPECT_TRUE(ids.contains(QStringLiteral("1405955336") + QString(36, QLatin1Char('0')) + QStringLiteral("12")));

    const std::map<QString, std::uint32_t> before = Checksums(store);
    const QString edited = ids[10], deleted = ids[20];
    ItemRecord change;
    change.Add(QStringLiteral("HomeTelephoneNumber"), QStringLiteral("+49 30 1234"));
    store.Edit(change, edited);
    store.Delete(deleted);
    store.Close();

    COperaContacts again;
    again.Open();
    std::map<QString, std::uint32_t> after = Checksums(again);
    EXPECT_EQ(after.size(), 75u);
    EXPECT_FALSE(after.count(deleted));
    EXPECT_NE(after.at(edited), before.at(edited));
    for (const auto& [id, sum] : before) {
        if (id != edited && id != deleted) {
            EXPECT_EQ(after.at(id), sum) << id.toStdString();
        }
    }
    // Keys the store does not know survive.
    EXPECT_EQ(Read().count("\tACTIVE=YES"), RealContacts().count("\tACTIVE=YES"));
    EXPECT_EQ(Read().count("\tICON=Contact0"), RealContacts().count("\tICON=Contact0") - 1);
}

TEST_F(OperaContactsTest, NamesSplitAndJoin)
{
    const struct {
        const char* name;
        const char* first;
        const char* middle;
        const char* last;
    } cases[] = {
        {"Anna", "Anna", "<absent>", "<absent>"},
        {"Anna Berg", "Anna", "<absent>", "Berg"},
        {"Anna  Maria   Berg", "Anna", "Maria", "Berg"},
        {"Anna Maria Luise Sofie Berg", "Anna", "Maria Luise Sofie", "Berg"},
        {"", "<absent>", "<absent>", "<absent>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Plant(kHeader + "#CONTACT\n\tNAME=" + c.name + "\n\tCREATED=1000000005\n\n");
        COperaContacts store;
        store.Open();
        QStringList ids;
        store.GetIDs(ids);
        ItemRecord r;
        store.Get(ids.value(0), r);
        EXPECT_EQ(Field(r, "FirstName"), QString::fromUtf8(c.first));
        EXPECT_EQ(Field(r, "MiddleName"), QString::fromUtf8(c.middle));
        EXPECT_EQ(Field(r, "LastName"), QString::fromUtf8(c.last));
        if (QString::fromUtf8(c.name).split(QLatin1Char(' '), Qt::SkipEmptyParts).size() == 2) {
            // Two words come back as they went: first and last name.
            ItemRecord edit;
            edit.Add(QStringLiteral("FirstName"), QStringLiteral("Eva"));
            edit.Add(QStringLiteral("LastName"), QStringLiteral("Lind"));
            store.Edit(edit, ids[0]);
            ItemRecord back;
            store.Get(ids[0], back);
            EXPECT_EQ(Field(back, "FirstName"), QStringLiteral("Eva"));
            EXPECT_EQ(Field(back, "LastName"), QStringLiteral("Lind"));
            store.Close();
            EXPECT_TRUE(Read().contains("\tNAME=Eva Lind\n"));
        }
    }
}

TEST_F(OperaContactsTest, AddWritesTheBlockAndEditKeepsWhatTheRecordLacks)
{
    Plant(kHeader + "#CONTACT\n\tID=40\n\tNAME=Old\n\tCREATED=1405955336\n\tPOSTALADDRESS=10115" +
          "\x02\x02" + "Berlin\x02\x02 \x02\x02Street 1\x02\x02" + "DE\x02\x02" + "extra\x02\x02\n\n" +
          "#FOLDER\n\tNAME=Trash\n\tTRASH FOLDER=YES\n\n#CONTACT\n\tCREATED=1405999999\n\n-\n\n");
    COperaContacts store;
    store.Open();
    QStringList ids;
    store.GetIDs(ids);
    ASSERT_EQ(ids.size(), 1);

    ItemRecord nameOnly;
    nameOnly.Add(QStringLiteral("Body"), QStringLiteral("line 1\r\nline 2"));
    store.Edit(nameOnly, ids[0]);
    ItemRecord r;
    store.Get(ids[0], r);
    EXPECT_EQ(Field(r, "HomeAddressCity"), QStringLiteral("Berlin"));
    EXPECT_EQ(Field(r, "HomeAddressCountry"), QStringLiteral("DE"));

    ItemRecord city;
    city.Add(QStringLiteral("HomeAddressCity"), QStringLiteral("Hamburg"));
    store.Edit(city, ids[0]);

    ItemRecord add;
    add.Add(QStringLiteral("FirstName"), QStringLiteral("Neu"));
    add.Add(QStringLiteral("LastName"), QStringLiteral("Kontakt"));
    add.Add(QStringLiteral("Email1Address"), QStringLiteral("a@x"));
    add.Add(QStringLiteral("Email3Address"), QStringLiteral("c@x"));
    QString newId;
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    store.Add(add, newId);
    // Opera's creation time: now, in ten digits followed by 38 "0".
    const QString created = newId.left(10);
    EXPECT_EQ(newId, created + QString(38, QLatin1Char('0')));
    EXPECT_GE(created.toLongLong(), before);
    EXPECT_LE(created.toLongLong(), QDateTime::currentSecsSinceEpoch());
    store.Close();

    const QByteArray file = Read();
    EXPECT_TRUE(file.contains("\tDESCRIPTION=line 1\x02\x02line 2\n"));
    EXPECT_TRUE(file.contains("\tPOSTALADDRESS= \x02\x02Hamburg\x02\x02 \x02\x02 \x02\x02 \x02\x02" "extra\x02\x02\n"));
    EXPECT_TRUE(file.contains("#CONTACT\n\tID=41\n\tNAME=Neu Kontakt\n\tURL=\n\tCREATED=" + created.toLatin1() +
                              "\n\tDESCRIPTION=\n"
                              "\tSHORT NAME=\n\tMAIL=a@x\x02\x02" "c@x\n\tPHONE=\n\tFAX=\n"
                              "\tPOSTALADDRESS= \x02\x02 \x02\x02 \x02\x02 \x02\x02 \x02\x02\n\tPICTUREURL=\n"
                              "\tICON=Contact0\n"));
    // The new contact follows the last contact of the top level, before the trash folder.
    EXPECT_LT(file.indexOf("NAME=Neu Kontakt"), file.indexOf("#FOLDER"));
}

TEST(OperaContactNumberTest, TheClockOrAboveTheLargestInTenDigits)
{
    constexpr std::int64_t kNow = 1765400000;
    NewItemNumbers handed;
    handed.Handed(kNow + 5);
    const struct {
        const char* what;
        std::vector<std::int64_t> taken;
        std::int64_t now;
        const NewItemNumbers* handed;
        std::int64_t next;
    } cases[] = {
        {"the clock", {1405955335, 1405955336}, kNow, nullptr, kNow},
        {"a clock set back, or a contact from the future", {1405955335, kNow + 9}, kNow, nullptr, kNow + 10},
        {"above the last handed out, though deleted", {1405955335}, kNow, &handed, kNow + 6},
        {"ten digits from the first", {5, 17}, 0, nullptr, 1000000001},
        {"the last ten-digit number", {9999999998}, 0, nullptr, 9999999999},
        {"then the lowest free one", {9999999999, 1000000000, 1000000001}, kNow, nullptr, 1000000002},
        {"a number beyond ten digits", {99999999999}, 0, nullptr, 1000000000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(COperaContacts::NewContactNumber(c.taken, c.now, c.handed ? *c.handed : NewItemNumbers{}), c.next)
            << c.what;
}

TEST_F(OperaContactsTest, AnIdentifierHandedOutIsNeverHandedOutAgain)
{
    // Add X, delete X, add Y within one second: Y is not X, in the same session or the next.
    Plant(kHeader + "#CONTACT\n\tID=1\n\tNAME=Old\n\tCREATED=1405955336\n\n");
    COperaContacts store;
    std::set<QString> seen;
    for (int session = 0; session < 2; ++session) {
        store.Open();
        for (int i = 0; i < 3; ++i) {
            ItemRecord add;
            add.Add(QStringLiteral("FileAs"), QStringLiteral("X"));
            QString id;
            store.Add(add, id);
            EXPECT_TRUE(seen.insert(id).second) << id.toStdString();
            store.Delete(id);
        }
        store.Close();
    }
}

TEST_F(OperaContactsTest, PicturesAreWrittenBesideTheFileAndReadOnlyFromTheHome)
{
    Plant(kHeader);
    COperaContacts store;
    store.Open();
    ItemRecord add;
    add.Add(QStringLiteral("FileAs"), QStringLiteral("Pic"));
    add.Add(QStringLiteral("Picture"), QStringLiteral("Picture"));
    add.SetPicture(QByteArray("\x89PNG\r\n\x1a\n-image-", 15));
    QString id;
    store.Add(add, id);
    EXPECT_EQ(*home_.ReadFile(QStringLiteral(".opera/") + id), QByteArray("\x89PNG\r\n\x1a\n-image-", 15));
    ItemRecord back;
    store.Get(id, back);
    EXPECT_EQ(back.names.last(), QStringLiteral("Picture"));
    EXPECT_EQ(back.PictureImage(), QByteArray("\x89PNG\r\n\x1a\n-image-", 15));
    const std::uint32_t withPicture = store.IDtoCRC32(id);

    // Malformed picture buffers fail before anything changes.
    for (const QByteArray& bad : {QByteArray("\x01\x00", 2), QByteArray("\xe8\x03\x00\x00" "abc", 7)}) {
        ItemRecord edit;
        edit.Add(QStringLiteral("NickName"), QStringLiteral("changed"));
        edit.Add(QStringLiteral("Picture"), QStringLiteral("Picture"));
        edit.pictureBytes = bad;
        EXPECT_THROW(store.Edit(edit, id), MalformedData);
        EXPECT_EQ(store.IDtoCRC32(id), withPicture);
    }

    home_.WriteFile(QStringLiteral("pictures/in-home.png"), "home");
    QDir().mkpath(home_.Path(QStringLiteral("outside")));
    const struct {
        QString url;
        bool served;
    } urls[] = {
        {QUrl::fromLocalFile(home_.Path(QStringLiteral("pictures/in-home.png"))).toString(), true},
        {QStringLiteral("file:///etc/hostname"), false},
        {QStringLiteral("file://") + home_.Path(QStringLiteral("pictures/../../etc/passwd")), false},
        {QStringLiteral("http://example.invalid/p.png"), false},
        {QStringLiteral("pictures/in-home.png"), false},
        {QStringLiteral("file://") + home_.Path(QStringLiteral("pictures")), false},
    };
    for (const auto& u : urls) {
        SCOPED_TRACE(u.url.toStdString());
        Plant(kHeader + "#CONTACT\n\tNAME=x\n\tCREATED=1000000009\n\tPICTUREURL=" + u.url.toUtf8() + "\n\n");
        std::vector<QString> logged;
        COperaContacts s;
        s.SetLogSink([&](const QString& line) { logged.push_back(line); });
        s.Open();
        QStringList ids;
        s.GetIDs(ids);
        ItemRecord r;
        s.Get(ids[0], r);
        EXPECT_EQ(r.IndexOf(QStringLiteral("Picture")) >= 0, u.served);
        EXPECT_EQ(logged.size(), u.served ? 0u : 1u);
    }
}

}  // namespace
