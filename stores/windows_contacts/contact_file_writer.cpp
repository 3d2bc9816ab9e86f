#include "stores/windows_contacts/contact_file_writer.h"

#include "stores/windows_contacts/contact_base64.h"
#include "stores/windows_contacts/contact_xml.h"

namespace ContactsVista {

namespace {

// The names of the contact's children a new file gets: a constant list of two empty names.
constexpr char kChildrensNames[] = "AgAAAAIAAAAAAAIAAAAAAA==";

constexpr int kMaxBaseNameUnits = 120;

QString TextOf(const ContactFileRecord::Text& field) { return field.value_or(QString()); }

}  // namespace

QString RecordDateToFileDate(const QString& date)
{
    return date.mid(6, 4) + u'-' + date.mid(3, 2) + u'-' + date.left(2) + QStringLiteral("T00:00:00Z");
}

QByteArray NewContactFileContent(const ContactFileRecord& r)
{
    ContactXml xml;
    pugi::xml_node root = StartContactDocument(xml);

    AppendElement(root, "c:CreationDate", QStringLiteral("2010-11-06T00:00:00Z"));
    pugi::xml_node names = root.append_child("c:Extended").append_child("MSWABMAPI:PropTag0x3A58101F");
    names.append_attribute("c:ContentType").set_value("binary/x-ms-wab-mapi");
    names.append_attribute("c:type").set_value("binary");
    names.text().set(kChildrensNames);

    pugi::xml_node id = AppendEntry(root.append_child("c:ContactIDCollection"), "c:ContactID",
                                    "9b20e4c6-3f17-4a58-b2d9-c6e07a14f3d5");
    AppendElement(id, "c:Value", r.Id.left(36));

    pugi::xml_node name =
        AppendEntry(root.append_child("c:NameCollection"), "c:Name", "5f32d960-b1f4-4e71-8d3e-b6d81f077310");
    AppendElement(name, "c:FormattedName", TextOf(r.FullName));
    AppendElement(name, "c:GivenName", TextOf(r.GivenName));
    AppendElement(name, "c:FamilyName", TextOf(r.FamilyName));
    AppendElement(name, "c:MiddleName", TextOf(r.MiddleName));
    AppendElement(name, "c:NickName", TextOf(r.NickName));
    AppendElement(name, "c:Title", TextOf(r.Title));

    pugi::xml_node emails = root.append_child("c:EmailAddressCollection");
    for (const auto* email : {&r.Email1, &r.Email2, &r.Email3}) {
        pugi::xml_node entry = AppendEntry(emails, "c:EmailAddress", "5f32d960-b1f4-4e71-8d3e-b6d81f077310");
        AppendElement(entry, "c:Type", QStringLiteral("SMTP"));
        AppendElement(entry, "c:Address", TextOf(*email));
    }

    pugi::xml_node urls = root.append_child("c:UrlCollection");
    pugi::xml_node personal = AppendEntry(urls, "c:Url", "5f32d960-b1f4-4e71-8d3e-b6d81f077315");
    AppendElement(personal, "c:Value", r.PersonalUrl.value_or(QStringLiteral("http://")));
    AppendLabels(personal, {"Personal"});
    pugi::xml_node business = AppendEntry(urls, "c:Url", "5f32d960-b1f4-4e71-8d3e-b6d81f077316");
    AppendElement(business, "c:Value", QStringLiteral("http://"));
    AppendLabels(business, {"Business"});

    pugi::xml_node phones = root.append_child("c:PhoneNumberCollection");
    const struct {
        const char* elementId;
        std::initializer_list<const char*> labels;
        const ContactFileRecord::Text& number;
    } phoneRows[] = {
        {"5f32d960-b1f4-4e71-8d3e-b6d81f077616", {"Fax", "Business"}, r.BusinessFax},
        {"5f32d960-b1f4-4e71-8d3e-b6d81f077617", {"Voice", "Business"}, r.BusinessPhone},
        {"5f32d960-b1f4-4e71-8d3e-b6d81f077618", {"Fax", "Personal"}, r.HomeFax},
        {"5f32d960-b1f4-4e71-8d3e-b6d81f077619", {"Pager"}, r.Pager},
        {"5f32d960-b1f4-4e71-8d3e-b6d81f077619", {"Cellular"}, r.MobilePhone},
        {"5f32d960-b1f4-4e71-8d3e-b6d81f077620", {"Voice", "Personal"}, r.HomePhone},
    };
    for (const auto& row : phoneRows) {
        pugi::xml_node phone = AppendEntry(phones, "c:PhoneNumber", row.elementId);
        AppendElement(phone, "c:Number", TextOf(row.number));
        AppendLabels(phone, row.labels);
    }

    pugi::xml_node position = AppendEntry(root.append_child("c:PositionCollection"), "c:Position",
                                          "5f32d960-b1f4-4e71-8d3e-b6d81f077271");
    AppendElement(position, "c:Department", TextOf(r.Department));
    AppendElement(position, "c:Office", TextOf(r.Office));
    AppendElement(position, "c:JobTitle", TextOf(r.JobTitle));
    AppendElement(position, "c:Company", TextOf(r.Company));
    AppendLabels(position, {"Business"});

    pugi::xml_node addresses = root.append_child("c:PhysicalAddressCollection");
    const auto address = [&](const char* elementId, const char* label, const ContactFileRecord::Text& city,
                             const ContactFileRecord::Text& region, const ContactFileRecord::Text& country,
                             const ContactFileRecord::Text& postalCode, const ContactFileRecord::Text& street) {
        pugi::xml_node entry = AppendEntry(addresses, "c:PhysicalAddress", elementId);
        AppendElement(entry, "c:Locality", TextOf(city));
        AppendElement(entry, "c:Region", TextOf(region));
        AppendElement(entry, "c:Country", TextOf(country));
        AppendElement(entry, "c:PostalCode", TextOf(postalCode));
        AppendElement(entry, "c:Street", TextOf(street));
        AppendLabels(entry, {label});
    };
    address("5f32d960-b1f4-4e71-8d3e-000000000001", "Personal", r.HomeCity, r.HomeRegion, r.HomeCountry,
            r.HomePostalCode, r.HomeStreet);
    address("5f32d960-b1f4-4e71-8d3e-b6d81f077275", "Business", r.BusinessCity, r.BusinessRegion,
            r.BusinessCountry, r.BusinessPostalCode, r.BusinessStreet);

    if (r.Notes) AppendElement(root, "c:Notes", *r.Notes);
    if (r.Spouse) {
        pugi::xml_node person = AppendEntry(root.append_child("c:PersonCollection"), "c:Person",
                                            "5f32d960-b1f4-4e71-8d3e-b6d81f077345");
        AppendElement(person, "c:FormattedName", *r.Spouse);
        AppendLabels(person, {"wab:Spouse"});
    }
    if (!r.Picture.isEmpty()) {
        pugi::xml_node photo = AppendEntry(root.append_child("c:PhotoCollection"), "c:Photo",
                                           "5f32d960-b1f4-4e71-8d3e-b6d81f077311");
        pugi::xml_node value = AppendElement(photo, "c:Value", vPictureToBase64(r.Picture));
        value.append_attribute("c:ContentType").set_value("image");
        AppendLabels(photo, {"UserTile"});
    }
    const bool birthday = r.Birthday && !r.Birthday->isEmpty();
    const bool anniversary = r.Anniversary && !r.Anniversary->isEmpty();
    if (birthday || anniversary) {
        pugi::xml_node dates = root.append_child("c:DateCollection");
        if (birthday) {
            pugi::xml_node date = AppendEntry(dates, "c:Date", "5f32d960-b1f4-4e71-8d3e-b6d81f072305");
            AppendElement(date, "c:Value", RecordDateToFileDate(*r.Birthday));
            AppendLabels(date, {"wab:Birthday"});
        }
        if (anniversary) {
            pugi::xml_node date = AppendEntry(dates, "c:Date", "5f32d960-b1f4-4e71-8d3e-b6d81f072304");
            AppendElement(date, "c:Value", RecordDateToFileDate(*r.Anniversary));
            AppendLabels(date, {"wab:Anniversary"});
        }
    }
    return xml.Save();
}

QString ContactFileBaseName(const ContactFileRecord& r)
{
    const auto given = [](const ContactFileRecord::Text& t) { return t && !t->isEmpty(); };
    QString name;
    if (!r.FileAs.isEmpty()) {
        name = r.FileAs;
    } else if (given(r.GivenName) || given(r.FamilyName) || given(r.MiddleName)) {
        QStringList parts;
        for (const auto* part : {&r.GivenName, &r.FamilyName, &r.MiddleName})
            if (given(*part)) parts << **part;
        name = parts.join(u' ');
    } else if (given(r.NickName)) {
        name = *r.NickName;
    } else if (given(r.Company)) {
        name = *r.Company;
    } else if (given(r.FullName)) {
        name = *r.FullName;  // files from Windows Contacts often hold only the display name
    } else {
        name = QStringLiteral("Unknown");
    }
    QString clean;
    clean.reserve(name.size());
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || QStringView(u"\\/:?*\"<>|").contains(c)) continue;
        clean.append(c);
    }
    // A name longer than a file system takes would make the contact impossible to write.
    if (clean.size() > kMaxBaseNameUnits) {
        clean.truncate(kMaxBaseNameUnits);
        if (clean.back().isHighSurrogate()) clean.chop(1);
    }
    return clean;
}

bool SameFileNameFields(const ContactFileRecord& a, const ContactFileRecord& b)
{
    const auto text = [](const ContactFileRecord::Text& t) { return t.value_or(QString()); };
    using Member = ContactFileRecord::Text ContactFileRecord::*;
    for (Member field : {&ContactFileRecord::GivenName, &ContactFileRecord::FamilyName, &ContactFileRecord::MiddleName,
                         &ContactFileRecord::NickName, &ContactFileRecord::Company, &ContactFileRecord::FullName})
        if (text(a.*field) != text(b.*field)) return false;
    return a.FileAs == b.FileAs;
}

QString FileNameRule(const ContactFileRecord& record, const std::function<bool(const QString& title)>& taken)
{
    const QString base = ContactFileBaseName(record);
    QString candidate = base;
    for (int n = 1; taken(candidate); ++n) candidate = base + QStringLiteral("[%1]").arg(n);
    return candidate;
}

}  // namespace ContactsVista
