#include "stores/windows_contacts/contact_file_editor.h"

#include <string>

#include "common/errors.h"
#include "stores/windows_contacts/contact_base64.h"
#include "stores/windows_contacts/contact_file_writer.h"

namespace ContactsVista {

namespace {

constexpr char kInsertedEntry[] = "c1a2d960-b1f4-0000-8d3e-b6d81f077315";
constexpr char kAppendedAddressOrNewUrl[] = "c1a2d960-b1f4-5e71-8d3e-b6d81f077315";
constexpr char kAppendedUrl[] = "df32d960-b1f4-5e71-8d3e-b6d81f077315";
constexpr char kInsertedPerson[] = "df32d960-b1f4-5e71-8d3e-b6d81f077165";
constexpr char kInsertedPosition[] = "f06b8d31-2c5e-47a9-8b36-5e9a0d71c4e2";
constexpr char kNameEntry[] = "5f32d960-b1f4-4e71-8d3e-b6d81f077310";
constexpr char kPhotoEntry[] = "5f32d960-b1f4-4e71-8d3e-b6d81f077311";

std::string Str(const char* a, const char* b = "", const char* c = "") { return std::string(a) + b + c; }
std::string At(const char* collection, const char* entry, int n, const char* rest = nullptr)
{
    std::string path = std::string("c:contact/") + collection + '/' + entry + '[' + std::to_string(n) + ']';
    if (rest) path += std::string("/") + rest;
    return path;
}

pugi::xml_node Contact(ContactXml& doc) { return doc.Select("c:contact"); }

// The collection below c:contact, appended when the file has none.
pugi::xml_node Collection(ContactXml& doc, const char* name)
{
    pugi::xml_node c = doc.Select(Str("c:contact/", name));
    return c ? c : Contact(doc).append_child(name);
}

// The element's first child of that name, appended when there is none.
pugi::xml_node ChildAt(pugi::xml_node entry, const char* name) { return ChildOrAppend(entry, name); }

bool LabelIs(ContactXml& doc, const std::string& path, const char* label, bool* exists = nullptr)
{
    pugi::xml_node l = doc.Select(path);
    if (exists) *exists = static_cast<bool>(l);
    return l && ElementText(l) == QLatin1String(label);
}

}  // namespace

void SetNameElement(ContactXml& doc, const char* elementName, const QString& value)
{
    if (pugi::xml_node e = doc.Select(Str("c:contact/c:NameCollection/c:Name/", elementName))) {
        SetElementText(e, value);
        return;
    }
    pugi::xml_node name = doc.Select("c:contact/c:NameCollection/c:Name");
    if (!name) name = AppendEntry(Collection(doc, "c:NameCollection"), "c:Name", kNameEntry);
    AppendElement(name, elementName, value);
}

void EditEmailAddress(ContactXml& doc, int position, const QString& value)
{
    const std::string entryPath = At("c:EmailAddressCollection", "c:EmailAddress", position);
    if (pugi::xml_node entry = doc.Select(entryPath)) {
        RemoveNil(entry);
        if (pugi::xml_node address = entry.child("c:Address")) {
            SetElementText(address, value);
        } else {
            AppendElement(entry, "c:Type", QStringLiteral("SMTP"));
            AppendElement(entry, "c:Address", value);
        }
        return;
    }
    // An inserted entry goes to the end and so takes the first free position.
    pugi::xml_node entry =
        AppendEntry(Collection(doc, "c:EmailAddressCollection"), "c:EmailAddress", kInsertedEntry);
    AppendElement(entry, "c:Type", QStringLiteral("SMTP"));
    AppendElement(entry, "c:Address", value);
}

void EditDate(ContactXml& doc, const char* label, const QString& recordDate)
{
    if (!recordDate.isEmpty()) {
        if (recordDate.size() != 10) throw AgentError("a date for a contact file is not ten characters long");
        const QString fileDate = RecordDateToFileDate(recordDate);
        bool matched = false;
        for (int n = 0; n < 2; ++n) {
            if (!LabelIs(doc, At("c:DateCollection", "c:Date", n, "c:LabelCollection/c:Label"), label)) continue;
            SetElementText(ChildAt(doc.Select(At("c:DateCollection", "c:Date", n)), "c:Value"), fileDate);
            matched = true;
        }
        if (matched) return;
        pugi::xml_node date = AppendEntry(Collection(doc, "c:DateCollection"), "c:Date", kInsertedEntry);
        AppendElement(date, "c:Value", fileDate);
        AppendLabels(date, {label});
        return;
    }
    for (int n = 0; n < 2;) {
        if (LabelIs(doc, At("c:DateCollection", "c:Date", n, "c:LabelCollection/c:Label"), label)) {
            pugi::xml_node date = doc.Select(At("c:DateCollection", "c:Date", n));
            date.parent().remove_child(date);
        } else {
            ++n;
        }
    }
    if (!doc.Select("c:contact/c:DateCollection/c:Date[0]"))
        if (pugi::xml_node dates = doc.Select("c:contact/c:DateCollection")) dates.parent().remove_child(dates);
}

void EditPhoto(ContactXml& doc, const QByteArray& picture)
{
    if (picture.isEmpty()) {
        if (pugi::xml_node photos = doc.Select("c:contact/c:PhotoCollection")) photos.parent().remove_child(photos);
        return;
    }
    pugi::xml_node photo = doc.Select("c:contact/c:PhotoCollection/c:Photo");
    const bool created = !photo;
    if (created) photo = AppendEntry(Collection(doc, "c:PhotoCollection"), "c:Photo", kPhotoEntry);
    // The first photo's own picture goes, whether a reference or embedded; its labels stay.
    while (pugi::xml_node url = photo.child("c:Url")) photo.remove_child(url);
    while (pugi::xml_node value = photo.child("c:Value")) photo.remove_child(value);
    pugi::xml_node value = AppendElement(photo, "c:Value", vPictureToBase64(picture));
    value.append_attribute("c:ContentType").set_value("image");
    if (created) AppendLabels(photo, {"UserTile"});
}

void EditNotes(ContactXml& doc, const QString& value)
{
    if (pugi::xml_node notes = doc.Select("c:contact/c:Notes"))
        SetElementText(notes, value);
    else
        AppendElement(Contact(doc), "c:Notes", value);
}

void EditSpouse(ContactXml& doc, const QString& value)
{
    if (pugi::xml_node name = doc.Select("c:contact/c:PersonCollection/c:Person/c:FormattedName")) {
        SetElementText(name, value);
        return;
    }
    pugi::xml_node person = AppendEntry(Collection(doc, "c:PersonCollection"), "c:Person", kInsertedPerson);
    AppendElement(person, "c:FormattedName", value);
    AppendLabels(person, {"wab:Spouse"});
}

void EditUrl(ContactXml& doc, const char* label, const QString& value)
{
    int labelled = 0;
    bool matched = false;
    for (int n = 0; n < 2; ++n) {
        bool exists = false;
        if (!LabelIs(doc, At("c:UrlCollection", "c:Url", n, "c:LabelCollection/c:Label"), label, &exists)) {
            labelled += exists;
            continue;
        }
        ++labelled;
        matched = true;
        pugi::xml_node v = ChildAt(doc.Select(At("c:UrlCollection", "c:Url", n)), "c:Value");
        SetElementText(v, value, true);
        if (value.isEmpty())
            MarkNil(v);
        else
            RemoveNil(v);
    }
    // Two web addresses labelled otherwise: the two the reader looks at are taken.
    if (matched || labelled == 2) return;
    pugi::xml_node urls = doc.Select("c:contact/c:UrlCollection");
    pugi::xml_node url =
        urls ? AppendEntry(urls, "c:Url", kAppendedUrl)
             : AppendEntry(Collection(doc, "c:UrlCollection"), "c:Url", kAppendedAddressOrNewUrl);
    AppendElement(url, "c:Value", value);
    AppendLabels(url, {label});
}

void EditPosition(ContactXml& doc, const char* elementName, const QString& value)
{
    if (pugi::xml_node e = doc.Select(Str("c:contact/c:PositionCollection/c:Position/", elementName))) {
        SetElementText(e, value);
        return;
    }
    pugi::xml_node position = doc.Select("c:contact/c:PositionCollection/c:Position");
    if (!position) {
        position = AppendEntry(Collection(doc, "c:PositionCollection"), "c:Position", kInsertedPosition);
        AppendLabels(position, {"Business"});
    }
    AppendElement(position, elementName, value);
}

void EditPhoneByLabel(ContactXml& doc, const char* label, const QString& value)
{
    bool matched = false;
    for (int n = 0; n < 6; ++n) {
        if (!LabelIs(doc, At("c:PhoneNumberCollection", "c:PhoneNumber", n, "c:LabelCollection/c:Label[0]"), label))
            continue;
        SetElementText(ChildAt(doc.Select(At("c:PhoneNumberCollection", "c:PhoneNumber", n)), "c:Number"), value);
        matched = true;
    }
    if (matched) return;
    pugi::xml_node phone = AppendEntry(Collection(doc, "c:PhoneNumberCollection"), "c:PhoneNumber", kInsertedEntry);
    AppendElement(phone, "c:Number", value);
    AppendLabels(phone, {label});
}

void EditPhoneByLabelPair(ContactXml& doc, const char* kindLabel, const char* contextLabel, const QString& value)
{
    bool matched = false;
    for (int n = 0; n < 6; ++n) {
        const auto label = [&](int i) {
            pugi::xml_node l = doc.Select(At("c:PhoneNumberCollection", "c:PhoneNumber", n,
                                             i == 0 ? "c:LabelCollection/c:Label[0]" : "c:LabelCollection/c:Label[1]"));
            return l ? std::optional<QString>(ElementText(l)) : std::nullopt;
        };
        const auto first = label(0);
        const auto second = label(1);
        if (!first || !second) continue;
        const QLatin1String kind(kindLabel), context(contextLabel);
        if (!((*first == kind && *second == context) || (*first == context && *second == kind))) continue;
        SetElementText(ChildAt(doc.Select(At("c:PhoneNumberCollection", "c:PhoneNumber", n)), "c:Number"), value);
        matched = true;
    }
    if (matched) return;
    pugi::xml_node phone = AppendEntry(Collection(doc, "c:PhoneNumberCollection"), "c:PhoneNumber", kInsertedEntry);
    AppendElement(phone, "c:Number", value);
    AppendLabels(phone, {kindLabel, contextLabel});
}

void EditAddressElement(ContactXml& doc, const char* elementName, const char* label, const QString& value)
{
    int labelled = 0;
    bool matched = false;
    for (int n = 0; n < 2; ++n) {
        bool exists = false;
        if (!LabelIs(doc, At("c:PhysicalAddressCollection", "c:PhysicalAddress", n, "c:LabelCollection/c:Label"),
                     label, &exists)) {
            labelled += exists;
            continue;
        }
        ++labelled;
        matched = true;
        if (pugi::xml_node e = doc.Select(At("c:PhysicalAddressCollection", "c:PhysicalAddress", n, elementName)))
            SetElementText(e, value);
        else
            AppendElement(doc.Select(At("c:PhysicalAddressCollection", "c:PhysicalAddress", n)), elementName, value);
    }
    if (matched || labelled == 2) return;
    pugi::xml_node addresses = doc.Select("c:contact/c:PhysicalAddressCollection");
    pugi::xml_node address = addresses ? AppendEntry(addresses, "c:PhysicalAddress", kAppendedAddressOrNewUrl)
                                       : AppendEntry(Collection(doc, "c:PhysicalAddressCollection"),
                                                     "c:PhysicalAddress", kInsertedEntry);
    AppendElement(address, elementName, value);
    AppendLabels(address, {label});
}

void EditContactDocument(ContactXml& doc, const ContactFileRecord& before, const ContactFileRecord& after)
{
    using Text = ContactFileRecord::Text;
    for (const Text* date : {&after.Birthday, &after.Anniversary})
        if (*date && !(*date)->isEmpty() && (*date)->size() != 10)
            throw AgentError("a date for a contact file is not ten characters long");
    if (!Contact(doc)) return;
    const auto changed = [&](Text ContactFileRecord::*field) {
        const Text& now = after.*field;
        return now && now != before.*field;
    };
    const auto text = [&](Text ContactFileRecord::*field) -> const QString& { return *(after.*field); };

    const struct {
        Text ContactFileRecord::*field;
        const char* element;
    } names[] = {{&ContactFileRecord::GivenName, "c:GivenName"},   {&ContactFileRecord::MiddleName, "c:MiddleName"},
                 {&ContactFileRecord::FamilyName, "c:FamilyName"}, {&ContactFileRecord::FullName, "c:FormattedName"},
                 {&ContactFileRecord::Title, "c:Title"},           {&ContactFileRecord::NickName, "c:NickName"}};
    for (const auto& n : names)
        if (changed(n.field)) SetNameElement(doc, n.element, text(n.field));
    Text ContactFileRecord::*const emails[] = {&ContactFileRecord::Email1, &ContactFileRecord::Email2,
                                               &ContactFileRecord::Email3};
    for (int i = 0; i < 3; ++i)
        if (changed(emails[i])) EditEmailAddress(doc, i, text(emails[i]));
    if (changed(&ContactFileRecord::Birthday)) EditDate(doc, "wab:Birthday", text(&ContactFileRecord::Birthday));
    if (changed(&ContactFileRecord::Anniversary))
        EditDate(doc, "wab:Anniversary", text(&ContactFileRecord::Anniversary));
    if (after.Picture != before.Picture) EditPhoto(doc, after.Picture);
    if (changed(&ContactFileRecord::Notes)) EditNotes(doc, text(&ContactFileRecord::Notes));
    if (changed(&ContactFileRecord::Spouse)) EditSpouse(doc, text(&ContactFileRecord::Spouse));
    if (changed(&ContactFileRecord::PersonalUrl)) EditUrl(doc, "Personal", text(&ContactFileRecord::PersonalUrl));

    const struct {
        Text ContactFileRecord::*field;
        const char* element;
    } positions[] = {{&ContactFileRecord::Department, "c:Department"},
                     {&ContactFileRecord::Office, "c:Office"},
                     {&ContactFileRecord::JobTitle, "c:JobTitle"},
                     {&ContactFileRecord::Company, "c:Company"}};
    for (const auto& p : positions)
        if (changed(p.field)) EditPosition(doc, p.element, text(p.field));

    if (changed(&ContactFileRecord::MobilePhone)) EditPhoneByLabel(doc, "Cellular", text(&ContactFileRecord::MobilePhone));
    if (changed(&ContactFileRecord::Pager)) EditPhoneByLabel(doc, "Pager", text(&ContactFileRecord::Pager));
    const struct {
        Text ContactFileRecord::*field;
        const char* kind;
        const char* context;
    } pairs[] = {{&ContactFileRecord::HomePhone, "Voice", "Personal"},
                 {&ContactFileRecord::BusinessPhone, "Voice", "Business"},
                 {&ContactFileRecord::BusinessFax, "Fax", "Business"},
                 {&ContactFileRecord::HomeFax, "Fax", "Personal"}};
    for (const auto& p : pairs)
        if (changed(p.field)) EditPhoneByLabelPair(doc, p.kind, p.context, text(p.field));

    const struct {
        Text ContactFileRecord::*field;
        const char* element;
        const char* label;
    } addresses[] = {{&ContactFileRecord::HomeCity, "c:Locality", "Personal"},
                     {&ContactFileRecord::HomeRegion, "c:Region", "Personal"},
                     {&ContactFileRecord::HomeCountry, "c:Country", "Personal"},
                     {&ContactFileRecord::HomePostalCode, "c:PostalCode", "Personal"},
                     {&ContactFileRecord::HomeStreet, "c:Street", "Personal"},
                     {&ContactFileRecord::BusinessCity, "c:Locality", "Business"},
                     {&ContactFileRecord::BusinessRegion, "c:Region", "Business"},
                     {&ContactFileRecord::BusinessCountry, "c:Country", "Business"},
                     {&ContactFileRecord::BusinessPostalCode, "c:PostalCode", "Business"},
                     {&ContactFileRecord::BusinessStreet, "c:Street", "Business"}};
    for (const auto& a : addresses)
        if (changed(a.field)) EditAddressElement(doc, a.element, a.label, text(a.field));
}

}  // namespace ContactsVista
