// Reading ".contact" files: the real files other programs wrote, the writer's files read back,
// and the cases where the file's entries and labels decide which field a value feeds.
#include "stores/windows_contacts/contact_file_reader.h"

#include <gtest/gtest.h>

#include <QFile>

#include "stores/windows_contacts/contact_base64.h"
#include "stores/windows_contacts/contact_file_writer.h"

using namespace ContactsVista;

namespace {

QByteArray DataFile(const char* name)
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/windows-contacts/") + QString::fromUtf8(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

// A contact document whose c:contact holds `body`.
QByteArray Contact(const char* body)
{
    return QByteArray("<?xml version=\"1.0\"?>\n<c:contact xmlns:c=\"http://schemas.microsoft.com/Contact\" "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">") +
           body + "</c:contact>\n";
}

ContactFileRecord Read(const QByteArray& bytes, QStringList* notes = nullptr)
{
    ContactFileRecord r;
    ContactReadHooks hooks;
    hooks.note = [notes](const QString& what) {
        if (notes) *notes << what;
    };
    hooks.readPictureFile = [](const QString& reference) -> std::optional<QByteArray> {
        if (reference == u"C:\\pictures\\me.jpg") return QByteArray("FILE");
        return std::nullopt;
    };
    EXPECT_TRUE(ReadContactBytes(bytes, r, hooks));
    return r;
}

using Text = ContactFileRecord::Text;

TEST(ContactFileReader, ReadsTheRealFilesOfWindowsContacts)
{
    const ContactFileRecord avinash = Read(DataFile("Avinash.contact"));
    EXPECT_EQ(avinash.Id, QStringLiteral("0bcf610e-a7be-4f26-9042-d6b3c22c9863000000000000"));
    EXPECT_EQ(avinash.GivenName, Text(u"Avinash"_qs));
    EXPECT_EQ(avinash.FullName, Text(u"Avinash"_qs));
    EXPECT_EQ(avinash.Email1, Text(u"acid.exploit@gmail.com"_qs));
    EXPECT_EQ(avinash.Email2, std::nullopt);  // an entry marked nil without an address
    EXPECT_EQ(avinash.Spouse, Text(u"Makke"_qs));
    EXPECT_EQ(avinash.FamilyName, std::nullopt);
    EXPECT_TRUE(avinash.Picture.isEmpty());  // a user tile without a picture

    const ContactFileRecord alexei = Read(DataFile("Alexei Karamazov.contact"));
    EXPECT_EQ(alexei.Id, QStringLiteral("5ac2d943-e93d-492f-b852-b0dc94a62f76000000000000"));
    EXPECT_EQ(alexei.GivenName, Text(u"Alexei"_qs));
    EXPECT_EQ(alexei.FamilyName, Text(u"Karamazov"_qs));
    EXPECT_EQ(alexei.FullName, Text(u"Alexei Karamazov"_qs));
    EXPECT_EQ(alexei.NickName, Text(u"Alyoshka"_qs));
    EXPECT_EQ(alexei.Title, Text(u"Protagonist"_qs));
    EXPECT_EQ(alexei.Email1, Text(u"alexei@hotmail.com"_qs));
    EXPECT_EQ(alexei.Email2, Text(u"alexei.karamazov@dostoevsky.com"_qs));
    EXPECT_EQ(alexei.Email3, std::nullopt);
    EXPECT_EQ(alexei.Spouse, Text(u"Fyodor Karamazov"_qs));  // the first person, whatever its label
    EXPECT_EQ(alexei.Birthday, Text(u"30-11-1980"_qs));      // the second date; the first is nil
    EXPECT_EQ(alexei.HomePhone, std::nullopt);                // its only phone has no label
    EXPECT_TRUE(alexei.Picture.isEmpty());
}

TEST(ContactFileReader, GivesBackWhatTheWriterWrote)
{
    ContactFileRecord written;
    written.Id = QStringLiteral("1C5B8F26-3E1D-4C2B-9B0E-6E6F1D2A3B4C000000000000");
    written.FileAs = QStringLiteral("Filed");
    written.GivenName = QStringLiteral("Ann");
    written.FamilyName = QStringLiteral("Smith & <Sons>");
    written.Email2 = QStringLiteral("ann@example.org");
    written.HomeCity = QStringLiteral("Lyon");
    written.BusinessStreet = QStringLiteral("1 Main St\nFloor 2");
    written.Company = QStringLiteral("ACME");
    written.MobilePhone = QStringLiteral("+33 6");
    written.HomeFax = QStringLiteral("01");
    written.Spouse = QStringLiteral("Bob");
    written.Notes = QString();
    written.PersonalUrl = QStringLiteral("http://ann.example.org");
    written.Picture = QByteArray("\x89PNG\r\n\x1a\n and more bytes", 24);
    written.Birthday = QStringLiteral("21-05-1970");
    written.Anniversary = QStringLiteral("01-02-2003");

    const ContactFileRecord read = Read(NewContactFileContent(written));
    ContactFileRecord expected = written;
    expected.FileAs.clear();  // chooses the file name only
    for (Text* absent : {&expected.FullName, &expected.MiddleName, &expected.NickName, &expected.Title,
                         &expected.Email1, &expected.Email3, &expected.HomeStreet, &expected.HomeRegion,
                         &expected.HomePostalCode, &expected.HomeCountry, &expected.BusinessCity,
                         &expected.BusinessRegion, &expected.BusinessPostalCode, &expected.BusinessCountry,
                         &expected.JobTitle, &expected.Department, &expected.Office, &expected.BusinessFax,
                         &expected.BusinessPhone, &expected.Pager, &expected.HomePhone})
        *absent = QString();  // their elements are written empty
    EXPECT_EQ(read.Id, expected.Id);
    for (Text ContactFileRecord::*field :
         {&ContactFileRecord::GivenName, &ContactFileRecord::FamilyName, &ContactFileRecord::MiddleName,
          &ContactFileRecord::FullName, &ContactFileRecord::Email1, &ContactFileRecord::Email2,
          &ContactFileRecord::HomeCity, &ContactFileRecord::HomeStreet, &ContactFileRecord::BusinessStreet,
          &ContactFileRecord::Company, &ContactFileRecord::MobilePhone, &ContactFileRecord::HomeFax,
          &ContactFileRecord::HomePhone, &ContactFileRecord::Spouse, &ContactFileRecord::Notes,
          &ContactFileRecord::PersonalUrl, &ContactFileRecord::BusinessUrl, &ContactFileRecord::Birthday,
          &ContactFileRecord::Anniversary})
        EXPECT_EQ(read.*field, expected.*field);
    EXPECT_EQ(read.Picture, written.Picture);
    EXPECT_TRUE(read.FileAs.isEmpty());
    EXPECT_EQ(read.BusinessUrl, std::nullopt);

    // Absent notes, spouse, web address and dates stay absent.
    ContactFileRecord bare;
    bare.Id = written.Id;
    const ContactFileRecord readBare = Read(NewContactFileContent(bare));
    EXPECT_EQ(readBare.Notes, std::nullopt);
    EXPECT_EQ(readBare.Spouse, std::nullopt);
    EXPECT_EQ(readBare.PersonalUrl, std::nullopt);
    EXPECT_EQ(readBare.Birthday, std::nullopt);
    EXPECT_EQ(readBare.GivenName, Text(QString()));
}

TEST(ContactFileReader, LabelsAndPositionsDecideTheField)
{
    struct Case {
        const char* name;
        const char* body;
        Text ContactFileRecord::*field;
        Text expected;
    };
    const auto url = [](const char* value, const char* label) {
        return std::string("<c:UrlCollection><c:Url><c:Value>") + value +
               "</c:Value><c:LabelCollection><c:Label>" + label + "</c:Label></c:LabelCollection></c:Url></c:UrlCollection>";
    };
    const std::string plainUrl = url("http://", "Personal");
    const std::string emptyUrl = url("", "Personal");
    const std::string businessUrl = url("http://b", "Business");
    const Case cases[] = {
        {"a web address of exactly http:// is not taken", plainUrl.c_str(), &ContactFileRecord::PersonalUrl, {}},
        {"an empty web address is taken", emptyUrl.c_str(), &ContactFileRecord::PersonalUrl, QString()},
        {"a business web address", businessUrl.c_str(), &ContactFileRecord::BusinessUrl, u"http://b"_qs},
        {"the second Personal address overwrites the first's parts",
         "<c:PhysicalAddressCollection>"
         "<c:PhysicalAddress><c:Locality>A</c:Locality><c:Street>S</c:Street><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:PhysicalAddress>"
         "<c:PhysicalAddress><c:Locality>B</c:Locality><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:PhysicalAddress>"
         "</c:PhysicalAddressCollection>",
         &ContactFileRecord::HomeCity, u"B"_qs},
        {"... and keeps those the second lacks",
         "<c:PhysicalAddressCollection>"
         "<c:PhysicalAddress><c:Locality>A</c:Locality><c:Street>S</c:Street><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:PhysicalAddress>"
         "<c:PhysicalAddress><c:Locality>B</c:Locality><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:PhysicalAddress>"
         "</c:PhysicalAddressCollection>",
         &ContactFileRecord::HomeStreet, u"S"_qs},
        {"a third address is never read",
         "<c:PhysicalAddressCollection><c:PhysicalAddress/><c:PhysicalAddress/>"
         "<c:PhysicalAddress><c:Locality>C</c:Locality><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:PhysicalAddress>"
         "</c:PhysicalAddressCollection>",
         &ContactFileRecord::HomeCity, {}},
        {"Cellular with Business is the mobile phone",
         "<c:PhoneNumberCollection><c:PhoneNumber><c:Number>1</c:Number><c:LabelCollection><c:Label>Cellular</c:Label><c:Label>Business</c:Label></c:LabelCollection></c:PhoneNumber></c:PhoneNumberCollection>",
         &ContactFileRecord::MobilePhone, u"1"_qs},
        {"Business then Fax is nothing",
         "<c:PhoneNumberCollection><c:PhoneNumber><c:Number>2</c:Number><c:LabelCollection><c:Label>Business</c:Label><c:Label>Fax</c:Label></c:LabelCollection></c:PhoneNumber></c:PhoneNumberCollection>",
         &ContactFileRecord::BusinessFax, {}},
        {"a seventh phone is never read",
         "<c:PhoneNumberCollection><c:PhoneNumber/><c:PhoneNumber/><c:PhoneNumber/><c:PhoneNumber/><c:PhoneNumber/><c:PhoneNumber/>"
         "<c:PhoneNumber><c:Number>7</c:Number><c:LabelCollection><c:Label>Pager</c:Label></c:LabelCollection></c:PhoneNumber></c:PhoneNumberCollection>",
         &ContactFileRecord::Pager, {}},
        {"names are compared with their prefixes",
         "<c:NameCollection><c:Name><x:GivenName xmlns:x=\"http://schemas.microsoft.com/Contact\">X</x:GivenName></c:Name></c:NameCollection>",
         &ContactFileRecord::GivenName, {}},
        {"a path without position takes the first match in document order",
         "<c:NameCollection><c:Name/><c:Name><c:GivenName>Second</c:GivenName></c:Name></c:NameCollection>",
         &ContactFileRecord::GivenName, u"Second"_qs},
        {"a year-month-day date", "<c:DateCollection><c:Date><c:Value>1970-05-21T00:00:00Z</c:Value><c:LabelCollection><c:Label>wab:Anniversary</c:Label></c:LabelCollection></c:Date></c:DateCollection>",
         &ContactFileRecord::Anniversary, u"21-05-1970"_qs},
    };
    for (const Case& c : cases) {
        const ContactFileRecord r = Read(Contact(c.body));
        EXPECT_EQ(r.*(c.field), c.expected) << c.name;
    }
}

TEST(ContactFileReader, LeavesOutDatesThatAreNoDatesAndPicturesThatCannotBeRead)
{
    QStringList notes;
    const ContactFileRecord r = Read(
        Contact("<c:DateCollection><c:Date><c:Value>1970-02-30</c:Value><c:LabelCollection><c:Label>wab:Birthday</c:Label></c:LabelCollection></c:Date>"
                "<c:Date><c:Value>21-05-1970</c:Value><c:LabelCollection><c:Label>wab:Anniversary</c:Label></c:LabelCollection></c:Date></c:DateCollection>"
                "<c:PhotoCollection><c:Photo><c:Url>/etc/shadow</c:Url></c:Photo></c:PhotoCollection>"),
        &notes);
    EXPECT_EQ(r.Birthday, std::nullopt);
    EXPECT_EQ(r.Anniversary, std::nullopt);
    EXPECT_TRUE(r.Picture.isEmpty());
    EXPECT_EQ(notes.size(), 2) << notes.join(u'\n').toStdString();
}

TEST(ContactFileReader, AnEmbeddedPictureWinsOverAReferencedFile)
{
    const ContactFileRecord both = Read(Contact(
        "<c:PhotoCollection><c:Photo><c:Value>QUJD</c:Value><c:Url>C:\\pictures\\me.jpg</c:Url></c:Photo></c:PhotoCollection>"));
    EXPECT_EQ(both.Picture, QByteArray("ABC"));
    const ContactFileRecord reference =
        Read(Contact("<c:PhotoCollection><c:Photo><c:Url>C:\\pictures\\me.jpg</c:Url></c:Photo></c:PhotoCollection>"));
    EXPECT_EQ(reference.Picture, QByteArray("FILE"));
}

TEST(ContactFileReader, AFileThatIsNotXmlLeavesTheRecordAsItWas)
{
    ContactFileRecord r;
    r.FileTitle = QStringLiteral("x");
    EXPECT_FALSE(ReadContactBytes("<c:contact><c:Notes>", r));
    EXPECT_FALSE(ReadContactBytes("", r));
    EXPECT_TRUE(r.Id.isEmpty());
    EXPECT_EQ(r.FileTitle, QStringLiteral("x"));
}

TEST(ContactFileNames, FollowTheNamesAndNeverRepeatATakenTitle)
{
    struct Case {
        const char* name;
        ContactFileRecord record;
        QStringList taken;
        QString expected;
    };
    const auto with = [](auto setter) {
        ContactFileRecord r;
        setter(r);
        return r;
    };
    const Case cases[] = {
        {"given, family and middle names joined",
         with([](auto& r) {
             r.GivenName = u"Ann"_qs;
             r.FamilyName = u"Smith"_qs;
             r.MiddleName = u"Jane"_qs;
             r.Company = u"ACME"_qs;
         }),
         {}, u"Ann Smith Jane"_qs},
        {"FileAs first", with([](auto& r) { r.FileAs = u"Filed"_qs; r.GivenName = u"Ann"_qs; }), {}, u"Filed"_qs},
        {"a company with a slash", with([](auto& r) { r.Company = u"A/B Ltd"_qs; }), {}, u"AB Ltd"_qs},
        {"empty names fall through to the nickname",
         with([](auto& r) {
             r.GivenName = QString();
             r.NickName = u"Nick"_qs;
         }),
         {}, u"Nick"_qs},
        {"only a display name", with([](auto& r) { r.FullName = u"John Doe"_qs; }), {}, u"John Doe"_qs},
        {"the company before the display name",
         with([](auto& r) {
             r.FullName = u"John Doe"_qs;
             r.Company = u"ACME"_qs;
         }),
         {}, u"ACME"_qs},
        {"nobody", ContactFileRecord{}, {}, u"Unknown"_qs},
        {"nobody beside an unknown", ContactFileRecord{}, {u"unknown"_qs}, u"Unknown[1]"_qs},
        {"X beside X[1] and X", with([](auto& r) { r.FileAs = u"X"_qs; }), {u"X[1]"_qs, u"x"_qs}, u"X[2]"_qs},
        {"only removed characters", with([](auto& r) { r.FileAs = u"?*<>|"_qs; }), {}, QString()},
        {"control characters go too", with([](auto& r) { r.FileAs = u"a\tb"_qs; }), {}, u"ab"_qs},
    };
    for (const Case& c : cases) {
        const QString title = FileNameRule(c.record, [&](const QString& t) {
            for (const QString& taken : c.taken)
                if (taken.compare(t, Qt::CaseInsensitive) == 0) return true;
            return false;
        });
        EXPECT_EQ(title, c.expected) << c.name;
    }
}

TEST(ContactPictureBase64, BreaksLinesAfterNineteenGroups)
{
    const QByteArray b56(56, 'a'), b57(57, 'b'), b58(58, 'c');
    const QString e56 = vPictureToBase64(b56), e57 = vPictureToBase64(b57), e58 = vPictureToBase64(b58);
    EXPECT_EQ(e56.size(), 76);
    EXPECT_FALSE(e56.contains(u'\r'));
    EXPECT_EQ(e57.size(), 78);
    EXPECT_TRUE(e57.endsWith(u"\r\n"));
    EXPECT_EQ(e58.size(), 82);
    EXPECT_EQ(e58.mid(76, 2), u"\r\n");
    EXPECT_TRUE(e58.endsWith(u"=="));
    for (const QByteArray& bytes : {b56, b57, b58, QByteArray("\x00\xff\x10", 3), QByteArray()}) {
        QByteArray back("prefix");
        Base64TovPicture(vPictureToBase64(bytes), back);
        EXPECT_EQ(back, "prefix" + bytes);
    }
    QByteArray lenient;
    Base64TovPicture(u"QU JD\r\nRA=é="_qs, lenient);  // blanks, breaks and foreign characters skipped
    EXPECT_EQ(lenient, QByteArray("ABCD"));
}

TEST(NewContactFile, HasOneDateForAnAnniversaryAlone)
{
    ContactFileRecord r;
    r.Anniversary = QStringLiteral("01-02-2003");
    const QByteArray bytes = NewContactFileContent(r);
    EXPECT_EQ(bytes.count("<c:Date "), 1);
    EXPECT_TRUE(bytes.contains("<c:Date c:ElementID=\"5f32d960-b1f4-4e71-8d3e-b6d81f072304\"><c:Value>2003-02-01T00:00:00Z"));
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<c:contact c:Version=\"1\""));
}

}  // namespace

namespace {

TEST(NewContactFile, IsTheFixedSkeletonWithTheRecordsValues)
{
    ContactFileRecord r;
    r.Id = QStringLiteral("1C5B8F26-3E1D-4C2B-9B0E-6E6F1D2A3B4C000000000000");
    r.GivenName = QStringLiteral("Ann");
    r.FamilyName = QStringLiteral("Smith");
    r.Email1 = QStringLiteral("ann@example.org");
    r.HomeCity = QStringLiteral("Lyon");
    r.MobilePhone = QStringLiteral("+33 6 12");
    r.Company = QStringLiteral("ACME");
    r.Notes = QStringLiteral("first line\nsecond & last");
    r.Spouse = QStringLiteral("Bob");
    r.PersonalUrl = QStringLiteral("http://ann.example.org");
    r.Picture = QByteArray("PNGDATA");
    r.Birthday = QStringLiteral("21-05-1970");
    r.Anniversary = QStringLiteral("01-02-2003");
    EXPECT_EQ(NewContactFileContent(r).toStdString(), DataFile("new-contact.expected.xml").toStdString());
}

}  // namespace
