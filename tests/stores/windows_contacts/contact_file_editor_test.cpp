// Editing ".contact" files in place: each case is a small file, a change of the record and the
// file as it must come out; the real files show that nothing else moves.
#include "stores/windows_contacts/contact_file_editor.h"

#include <gtest/gtest.h>

#include <QFile>
#include <functional>

#include "stores/windows_contacts/contact_file_reader.h"

using namespace ContactsVista;

namespace {

const QByteArray kOpen =
    "<c:contact xmlns:c=\"http://schemas.microsoft.com/Contact\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">";
const QByteArray kClose = "</c:contact>";

QByteArray Edited(const QByteArray& file, const std::function<void(ContactFileRecord&)>& change)
{
    ContactXml doc;
    EXPECT_TRUE(doc.Load(file));
    ContactFileRecord before;
    ReadContactDocument(doc, before);
    ContactFileRecord after = before;
    change(after);
    EditContactDocument(doc, before, after);
    return doc.Save();
}

QByteArray DataFile(const char* name)
{
    QFile f(QStringLiteral(TWINLARK_TEST_DATA "/windows-contacts/") + QString::fromUtf8(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

struct EditCase {
    const char* name;
    const char* before;  // the body of c:contact
    std::function<void(ContactFileRecord&)> change;
    const char* after;
};

const char* const kPersonalUrl =
    "<c:UrlCollection><c:Url c:ElementID=\"u\"><c:Value>http://old</c:Value><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:Url></c:UrlCollection>";
const char* const kTwoDates =
    "<c:DateCollection><c:Date><c:Value>1970-05-21T00:00:00Z</c:Value><c:LabelCollection><c:Label>wab:Birthday</c:Label></c:LabelCollection></c:Date>"
    "<c:Date><c:Value>2000-01-02T00:00:00Z</c:Value><c:LabelCollection><c:Label>wab:Anniversary</c:Label></c:LabelCollection></c:Date></c:DateCollection>";

const EditCase kCases[] = {
    {"an empty e-mail address on a file without any creates one entry", "",
     [](ContactFileRecord& r) { r.Email1 = QString(); },
     "<c:EmailAddressCollection><c:EmailAddress c:ElementID=\"c1a2d960-b1f4-0000-8d3e-b6d81f077315\"><c:Type>SMTP</c:Type><c:Address/></c:EmailAddress></c:EmailAddressCollection>"},
    {"a second e-mail address is appended as the second entry",
     "<c:EmailAddressCollection><c:EmailAddress><c:Address>a@x</c:Address></c:EmailAddress></c:EmailAddressCollection>",
     [](ContactFileRecord& r) { r.Email2 = u"b@x"_qs; },
     "<c:EmailAddressCollection><c:EmailAddress><c:Address>a@x</c:Address></c:EmailAddress><c:EmailAddress c:ElementID=\"c1a2d960-b1f4-0000-8d3e-b6d81f077315\"><c:Type>SMTP</c:Type><c:Address>b@x</c:Address></c:EmailAddress></c:EmailAddressCollection>"},
    {"a first entry marked nil gets the address and loses the mark",
     "<c:EmailAddressCollection><c:EmailAddress c:ElementID=\"e\" xsi:nil=\"true\"/></c:EmailAddressCollection>",
     [](ContactFileRecord& r) { r.Email1 = u"a@x"_qs; },
     "<c:EmailAddressCollection><c:EmailAddress c:ElementID=\"e\"><c:Type>SMTP</c:Type><c:Address>a@x</c:Address></c:EmailAddress></c:EmailAddressCollection>"},
    {"a birthday on a file without dates", "",
     [](ContactFileRecord& r) { r.Birthday = u"21-05-1970"_qs; },
     "<c:DateCollection><c:Date c:ElementID=\"c1a2d960-b1f4-0000-8d3e-b6d81f077315\"><c:Value>1970-05-21T00:00:00Z</c:Value><c:LabelCollection><c:Label>wab:Birthday</c:Label></c:LabelCollection></c:Date></c:DateCollection>"},
    {"an emptied birthday removes only the birthday", kTwoDates,
     [](ContactFileRecord& r) { r.Birthday = QString(); },
     "<c:DateCollection><c:Date><c:Value>2000-01-02T00:00:00Z</c:Value><c:LabelCollection><c:Label>wab:Anniversary</c:Label></c:LabelCollection></c:Date></c:DateCollection>"},
    {"an emptied only date removes the collection",
     "<c:DateCollection><c:Date><c:Value>1970-05-21T00:00:00Z</c:Value><c:LabelCollection><c:Label>wab:Birthday</c:Label></c:LabelCollection></c:Date></c:DateCollection><c:Notes>n</c:Notes>",
     [](ContactFileRecord& r) { r.Birthday = QString(); }, "<c:Notes>n</c:Notes>"},
    {"a birthday at the third position is not found: a second one is appended",
     "<c:DateCollection><c:Date/><c:Date/><c:Date><c:Value>1970-05-21T00:00:00Z</c:Value><c:LabelCollection><c:Label>wab:Birthday</c:Label></c:LabelCollection></c:Date></c:DateCollection>",
     [](ContactFileRecord& r) { r.Birthday = u"22-05-1970"_qs; },
     "<c:DateCollection><c:Date/><c:Date/><c:Date><c:Value>1970-05-21T00:00:00Z</c:Value><c:LabelCollection><c:Label>wab:Birthday</c:Label></c:LabelCollection></c:Date>"
     "<c:Date c:ElementID=\"c1a2d960-b1f4-0000-8d3e-b6d81f077315\"><c:Value>1970-05-22T00:00:00Z</c:Value><c:LabelCollection><c:Label>wab:Birthday</c:Label></c:LabelCollection></c:Date></c:DateCollection>"},
    {"an emptied picture removes every photo",
     "<c:PhotoCollection><c:Photo><c:Value>QUJD</c:Value></c:Photo><c:Photo/></c:PhotoCollection><c:Notes>n</c:Notes>",
     [](ContactFileRecord& r) { r.Picture.clear(); }, "<c:Notes>n</c:Notes>"},
    {"a picture replaces the first photo's file reference and keeps its label",
     "<c:PhotoCollection><c:Photo c:ElementID=\"p\"><c:Url>C:\\x.jpg</c:Url><c:LabelCollection><c:Label>UserTile</c:Label></c:LabelCollection></c:Photo></c:PhotoCollection>",
     [](ContactFileRecord& r) { r.Picture = "ABC"; },
     "<c:PhotoCollection><c:Photo c:ElementID=\"p\"><c:LabelCollection><c:Label>UserTile</c:Label></c:LabelCollection><c:Value c:ContentType=\"image\">QUJD</c:Value></c:Photo></c:PhotoCollection>"},
    {"a picture for a file without photos", "",
     [](ContactFileRecord& r) { r.Picture = "ABC"; },
     "<c:PhotoCollection><c:Photo c:ElementID=\"5f32d960-b1f4-4e71-8d3e-b6d81f077311\"><c:Value c:ContentType=\"image\">QUJD</c:Value><c:LabelCollection><c:Label>UserTile</c:Label></c:LabelCollection></c:Photo></c:PhotoCollection>"},
    {"an emptied personal web address is marked nil", kPersonalUrl,
     [](ContactFileRecord& r) { r.PersonalUrl = QString(); },
     "<c:UrlCollection><c:Url c:ElementID=\"u\"><c:Value xsi:nil=\"true\"/><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:Url></c:UrlCollection>"},
    {"a value removes the nil mark",
     "<c:UrlCollection><c:Url><c:Value xsi:nil=\"true\"/><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:Url></c:UrlCollection>",
     [](ContactFileRecord& r) { r.PersonalUrl = u"http://new"_qs; },
     "<c:UrlCollection><c:Url><c:Value>http://new</c:Value><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:Url></c:UrlCollection>"},
    {"a personal web address beside a business one is appended",
     "<c:UrlCollection><c:Url><c:Value>http://b</c:Value><c:LabelCollection><c:Label>Business</c:Label></c:LabelCollection></c:Url></c:UrlCollection>",
     [](ContactFileRecord& r) { r.PersonalUrl = u"http://p"_qs; },
     "<c:UrlCollection><c:Url><c:Value>http://b</c:Value><c:LabelCollection><c:Label>Business</c:Label></c:LabelCollection></c:Url>"
     "<c:Url c:ElementID=\"df32d960-b1f4-5e71-8d3e-b6d81f077315\"><c:Value>http://p</c:Value><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:Url></c:UrlCollection>"},
    {"two web addresses labelled otherwise take nothing",
     "<c:UrlCollection><c:Url><c:LabelCollection><c:Label>Business</c:Label></c:LabelCollection></c:Url><c:Url><c:LabelCollection><c:Label>Other</c:Label></c:LabelCollection></c:Url></c:UrlCollection>",
     [](ContactFileRecord& r) { r.PersonalUrl = u"http://p"_qs; },
     "<c:UrlCollection><c:Url><c:LabelCollection><c:Label>Business</c:Label></c:LabelCollection></c:Url><c:Url><c:LabelCollection><c:Label>Other</c:Label></c:LabelCollection></c:Url></c:UrlCollection>"},
    {"a web address joins an existing collection without labels", "<c:UrlCollection/>",
     [](ContactFileRecord& r) { r.PersonalUrl = u"http://p"_qs; },
     "<c:UrlCollection><c:Url c:ElementID=\"df32d960-b1f4-5e71-8d3e-b6d81f077315\"><c:Value>http://p</c:Value><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:Url></c:UrlCollection>"},
    {"a single labelled web address at the second position is updated",
     "<c:UrlCollection><c:Url/><c:Url><c:Value>http://old</c:Value><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:Url></c:UrlCollection>",
     [](ContactFileRecord& r) { r.PersonalUrl = u"http://new"_qs; },
     "<c:UrlCollection><c:Url/><c:Url><c:Value>http://new</c:Value><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:Url></c:UrlCollection>"},
    {"Business then Voice is the business phone",
     "<c:PhoneNumberCollection><c:PhoneNumber><c:Number>1</c:Number><c:LabelCollection><c:Label>Business</c:Label><c:Label>Voice</c:Label></c:LabelCollection></c:PhoneNumber></c:PhoneNumberCollection>",
     [](ContactFileRecord& r) { r.BusinessPhone = u"2"_qs; },
     "<c:PhoneNumberCollection><c:PhoneNumber><c:Number>2</c:Number><c:LabelCollection><c:Label>Business</c:Label><c:Label>Voice</c:Label></c:LabelCollection></c:PhoneNumber></c:PhoneNumberCollection>"},
    {"a seventh phone is not looked at",
     "<c:PhoneNumberCollection><c:PhoneNumber/><c:PhoneNumber/><c:PhoneNumber/><c:PhoneNumber/><c:PhoneNumber/><c:PhoneNumber/>"
     "<c:PhoneNumber><c:Number>7</c:Number><c:LabelCollection><c:Label>Cellular</c:Label></c:LabelCollection></c:PhoneNumber></c:PhoneNumberCollection>",
     [](ContactFileRecord& r) { r.MobilePhone = u"8"_qs; },
     "<c:PhoneNumberCollection><c:PhoneNumber/><c:PhoneNumber/><c:PhoneNumber/><c:PhoneNumber/><c:PhoneNumber/><c:PhoneNumber/>"
     "<c:PhoneNumber><c:Number>7</c:Number><c:LabelCollection><c:Label>Cellular</c:Label></c:LabelCollection></c:PhoneNumber>"
     "<c:PhoneNumber c:ElementID=\"c1a2d960-b1f4-0000-8d3e-b6d81f077315\"><c:Number>8</c:Number><c:LabelCollection><c:Label>Cellular</c:Label></c:LabelCollection></c:PhoneNumber></c:PhoneNumberCollection>"},
    {"a home city and a business street on a file without addresses", "",
     [](ContactFileRecord& r) {
         r.HomeCity = u"Lyon"_qs;
         r.BusinessStreet = u"Main"_qs;
     },
     "<c:PhysicalAddressCollection><c:PhysicalAddress c:ElementID=\"c1a2d960-b1f4-0000-8d3e-b6d81f077315\"><c:Locality>Lyon</c:Locality><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:PhysicalAddress>"
     "<c:PhysicalAddress c:ElementID=\"c1a2d960-b1f4-5e71-8d3e-b6d81f077315\"><c:Street>Main</c:Street><c:LabelCollection><c:Label>Business</c:Label></c:LabelCollection></c:PhysicalAddress></c:PhysicalAddressCollection>"},
    {"an address joins an existing collection without labels", "<c:PhysicalAddressCollection/>",
     [](ContactFileRecord& r) { r.HomeCity = u"Lyon"_qs; },
     "<c:PhysicalAddressCollection><c:PhysicalAddress c:ElementID=\"c1a2d960-b1f4-5e71-8d3e-b6d81f077315\"><c:Locality>Lyon</c:Locality><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:PhysicalAddress></c:PhysicalAddressCollection>"},
    {"an office and a company on a file without positions", "",
     [](ContactFileRecord& r) {
         r.Office = u"B12"_qs;
         r.Company = u"ACME"_qs;
     },
     "<c:PositionCollection><c:Position c:ElementID=\"f06b8d31-2c5e-47a9-8b36-5e9a0d71c4e2\"><c:LabelCollection><c:Label>Business</c:Label></c:LabelCollection><c:Office>B12</c:Office><c:Company>ACME</c:Company></c:Position></c:PositionCollection>"},
    {"the spouse overwrites the first person whatever its label",
     "<c:PersonCollection><c:Person><c:FormattedName>Dad</c:FormattedName><c:LabelCollection><c:Label>wab:Parent</c:Label></c:LabelCollection></c:Person></c:PersonCollection>",
     [](ContactFileRecord& r) { r.Spouse = u"Eve"_qs; },
     "<c:PersonCollection><c:Person><c:FormattedName>Eve</c:FormattedName><c:LabelCollection><c:Label>wab:Parent</c:Label></c:LabelCollection></c:Person></c:PersonCollection>"},
    {"a name for a file without a name entry", "<c:Notes>n</c:Notes>",
     [](ContactFileRecord& r) { r.GivenName = u"Ann"_qs; },
     "<c:Notes>n</c:Notes><c:NameCollection><c:Name c:ElementID=\"5f32d960-b1f4-4e71-8d3e-b6d81f077310\"><c:GivenName>Ann</c:GivenName></c:Name></c:NameCollection>"},
    {"an unchanged value touches nothing, so one address is not copied over another",
     "<c:PhysicalAddressCollection><c:PhysicalAddress><c:Locality>A</c:Locality><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:PhysicalAddress>"
     "<c:PhysicalAddress><c:Locality>B</c:Locality><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:PhysicalAddress></c:PhysicalAddressCollection>",
     [](ContactFileRecord& r) { r.HomeCity = u"B"_qs; },
     "<c:PhysicalAddressCollection><c:PhysicalAddress><c:Locality>A</c:Locality><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:PhysicalAddress>"
     "<c:PhysicalAddress><c:Locality>B</c:Locality><c:LabelCollection><c:Label>Personal</c:Label></c:LabelCollection></c:PhysicalAddress></c:PhysicalAddressCollection>"},
    {"a changed notes text replaces the element's content", "<c:Notes>a<c:x/>b</c:Notes>",
     [](ContactFileRecord& r) { r.Notes = u"line 1\nline 2 & <3>"_qs; },
     "<c:Notes>line 1\nline 2 &amp; &lt;3&gt;</c:Notes>"},
};

TEST(ContactFileEditor, WritesEachValueWhereTheFileHoldsIt)
{
    for (const EditCase& c : kCases) {
        const QByteArray out = Edited(kOpen + c.before + kClose, c.change);
        EXPECT_EQ(out.toStdString(), (kOpen + c.after + kClose).toStdString()) << c.name;
    }
}

TEST(ContactFileEditor, RefusesADateOfAnotherLengthBeforeChangingAnything)
{
    ContactXml doc;
    ASSERT_TRUE(doc.Load(kOpen + "<c:Notes>n</c:Notes>" + kClose));
    ContactFileRecord before, after;
    after.Notes = QStringLiteral("changed");
    after.Birthday = QStringLiteral("1-5-1970");
    EXPECT_THROW(EditContactDocument(doc, before, after), std::exception);
    EXPECT_EQ(doc.Save(), kOpen + "<c:Notes>n</c:Notes>" + kClose);
}

// A new home phone in a file another program wrote: the new entry is the only difference.
TEST(ContactFileEditor, ANewHomePhoneChangesNoOtherByteOfTheRealFiles)
{
    struct FileCase {
        const char* file;
        QByteArray inserted;
    };
    const QByteArray entry =
        "<c:PhoneNumber c:ElementID=\"c1a2d960-b1f4-0000-8d3e-b6d81f077315\"><c:Number>555</c:Number>"
        "<c:LabelCollection><c:Label>Voice</c:Label><c:Label>Personal</c:Label></c:LabelCollection></c:PhoneNumber>";
    for (const bool crlf : {false, true}) {
        for (const FileCase& c : {FileCase{"Avinash.contact", "<c:PhoneNumberCollection>" + entry + "</c:PhoneNumberCollection>"},
                                  FileCase{"Alexei Karamazov.contact", entry}}) {
            QByteArray original = DataFile(c.file);
            if (crlf) original.replace("\n", "\r\n");
            const QByteArray out = Edited(original, [](ContactFileRecord& r) { r.HomePhone = u"555"_qs; });
            ASSERT_EQ(out.count(c.inserted), 1) << c.file;
            QByteArray without = out;
            without.remove(without.indexOf(c.inserted), c.inserted.size());
            const QByteArray expected = original;
            EXPECT_EQ(without.toStdString(), expected.toStdString()) << c.file << (crlf ? " CR LF" : " LF");
            // Nothing changed: nothing moves at all.
            EXPECT_EQ(Edited(original, [](ContactFileRecord&) {}), QByteArray(expected)) << c.file;
        }
    }
}

// The root start tag of the hand-made file declares its namespaces on nine lines, with spaces
// before some line ends: an edit of one e-mail address changes that address's text and nothing
// else, while a start tag whose attributes do change is written anew.
TEST(ContactFileEditor, AnEditedAddressKeepsEveryStartTagItDoesNotChange)
{
    for (const bool crlf : {false, true}) {
        QByteArray original = DataFile("Alexei Karamazov.contact");
        if (crlf) original.replace("\n", "\r\n");
        ASSERT_TRUE(original.contains("xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" " + QByteArray(crlf ? "\r\n" : "\n")));
        QByteArray expected = original;
        expected.replace("<c:Address>alexei@hotmail.com</c:Address>", "<c:Address>alexei@example.org</c:Address>");
        EXPECT_EQ(Edited(original, [](ContactFileRecord& r) { r.Email1 = u"alexei@example.org"_qs; }).toStdString(),
                  expected.toStdString())
            << (crlf ? "CR LF" : "LF");
    }
    // A changed attribute: that one tag is written anew, its neighbours are kept.
    ContactXml doc;
    ASSERT_TRUE(doc.Load("<c:contact\n  a='1'\n  b=\"2\"><c:Notes  x='y' >n</c:Notes><c:Other\tq=\"1\"/></c:contact>"));
    doc.Root().attribute("b").set_value("3");
    EXPECT_EQ(doc.Save(), QByteArray("<c:contact a=\"1\" b=\"3\"><c:Notes  x='y' >n</c:Notes><c:Other\tq=\"1\"/></c:contact>"));
}

TEST(ContactFileEditor, KeepsAByteOrderMark)
{
    const QByteArray file = "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n" + kOpen + "<c:Notes>a</c:Notes>" + kClose + "\r\n";
    const QByteArray out = Edited(file, [](ContactFileRecord& r) { r.Notes = u"b"_qs; });
    QByteArray expected = file;
    expected.replace("<c:Notes>a", "<c:Notes>b");
    EXPECT_EQ(out, expected);
}

}  // namespace
