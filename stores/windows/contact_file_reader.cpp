#include "stores/windows/contact_file_reader.h"

#include <QDate>

#include "stores/windows/contact_base64.h"

namespace ContactsVista {

namespace {

using Text = ContactFileRecord::Text;

class Reader {
public:
    Reader(const ContactXml& doc, ContactFileRecord& record, const ContactReadHooks& hooks)
        : doc_(doc), r_(record), hooks_(hooks)
    {
    }

    void Run()
    {
        if (pugi::xml_node id = At("c:contact/c:ContactIDCollection/c:ContactID/c:Value"))
            r_.Id = ElementText(id) + QStringLiteral("000000000000");
        Single("c:contact/c:NameCollection/c:Name/c:GivenName", r_.GivenName);
        Single("c:contact/c:NameCollection/c:Name/c:MiddleName", r_.MiddleName);
        Single("c:contact/c:NameCollection/c:Name/c:FamilyName", r_.FamilyName);
        Single("c:contact/c:NameCollection/c:Name/c:NickName", r_.NickName);
        Single("c:contact/c:NameCollection/c:Name/c:Title", r_.Title);
        Single("c:contact/c:NameCollection/c:Name/c:FormattedName", r_.FullName);
        Single("c:contact/c:EmailAddressCollection/c:EmailAddress[0]/c:Address", r_.Email1);
        Single("c:contact/c:EmailAddressCollection/c:EmailAddress[1]/c:Address", r_.Email2);
        Single("c:contact/c:EmailAddressCollection/c:EmailAddress[2]/c:Address", r_.Email3);
        Single("c:contact/c:Notes", r_.Notes);
        Single("c:contact/c:PersonCollection/c:Person/c:FormattedName", r_.Spouse);
        Single("c:contact/c:PositionCollection/c:Position/c:Department", r_.Department);
        Single("c:contact/c:PositionCollection/c:Position/c:Office", r_.Office);
        Single("c:contact/c:PositionCollection/c:Position/c:JobTitle", r_.JobTitle);
        Single("c:contact/c:PositionCollection/c:Position/c:Company", r_.Company);
        for (int n = 0; n < 2; ++n) Address(n);
        for (int n = 0; n < 2; ++n) Url(n);
        for (int n = 0; n < 2; ++n) Date(n);
        for (int n = 0; n < 6; ++n) Phone(n);
        Photo();
    }

private:
    pugi::xml_node At(const std::string& path) const { return doc_.Select(path); }
    std::optional<QString> TextAt(const std::string& path) const
    {
        pugi::xml_node e = At(path);
        return e ? std::optional<QString>(ElementText(e)) : std::nullopt;
    }
    void Single(const std::string& path, Text& field) const
    {
        if (auto text = TextAt(path)) field = std::move(text);
    }
    static std::string Indexed(const char* collection, const char* entry, int n, const char* rest)
    {
        return std::string("c:contact/") + collection + '/' + entry + '[' + std::to_string(n) + "]/" + rest;
    }

    void Address(int n)
    {
        const auto at = [n](const char* rest) {
            return Indexed("c:PhysicalAddressCollection", "c:PhysicalAddress", n, rest);
        };
        const auto label = TextAt(at("c:LabelCollection/c:Label"));
        if (!label) return;
        const bool personal = *label == u"Personal";
        if (!personal && *label != u"Business") return;
        Single(at("c:Street"), personal ? r_.HomeStreet : r_.BusinessStreet);
        Single(at("c:Locality"), personal ? r_.HomeCity : r_.BusinessCity);
        Single(at("c:Region"), personal ? r_.HomeRegion : r_.BusinessRegion);
        Single(at("c:PostalCode"), personal ? r_.HomePostalCode : r_.BusinessPostalCode);
        Single(at("c:Country"), personal ? r_.HomeCountry : r_.BusinessCountry);
    }

    void Url(int n)
    {
        const auto label = TextAt(Indexed("c:UrlCollection", "c:Url", n, "c:LabelCollection/c:Label"));
        const auto value = TextAt(Indexed("c:UrlCollection", "c:Url", n, "c:Value"));
        if (!label || !value || *value == u"http://") return;
        if (*label == u"Business") r_.BusinessUrl = value;
        if (*label == u"Personal") r_.PersonalUrl = value;
    }

    void Date(int n)
    {
        const auto label = TextAt(Indexed("c:DateCollection", "c:Date", n, "c:LabelCollection/c:Label"));
        if (!label) return;
        Text* field = *label == u"wab:Anniversary" ? &r_.Anniversary
                      : *label == u"wab:Birthday"  ? &r_.Birthday
                                                   : nullptr;
        if (!field) return;
        const auto value = TextAt(Indexed("c:DateCollection", "c:Date", n, "c:Value"));
        if (!value || value->isEmpty()) return;
        if (auto date = FileDateToRecordDate(*value)) {
            *field = std::move(date);
        } else if (hooks_.note) {
            hooks_.note(QStringLiteral("the date \"%1\" (%2) is no date and is left out").arg(value->left(40), *label));
        }
    }

    void Phone(int n)
    {
        const auto at = [n](const char* rest) {
            return Indexed("c:PhoneNumberCollection", "c:PhoneNumber", n, rest);
        };
        const auto kind = TextAt(at("c:LabelCollection/c:Label[0]"));
        if (!kind) return;
        const auto number = TextAt(at("c:Number"));
        if (!number) return;
        const auto second = TextAt(at("c:LabelCollection/c:Label[1]"));
        Text* field = nullptr;
        if (*kind == u"Fax" && second)
            field = *second == u"Business" ? &r_.BusinessFax : *second == u"Personal" ? &r_.HomeFax : nullptr;
        else if (*kind == u"Voice" && second)
            field = *second == u"Business" ? &r_.BusinessPhone : *second == u"Personal" ? &r_.HomePhone : nullptr;
        else if (*kind == u"Cellular")
            field = &r_.MobilePhone;
        else if (*kind == u"Pager")
            field = &r_.Pager;
        if (field) *field = number;
    }

    // An embedded picture wins over a referenced file; a reference that cannot be read leaves
    // no picture.
    void Photo()
    {
        if (auto value = TextAt("c:contact/c:PhotoCollection/c:Photo/c:Value"); value && !value->isEmpty()) {
            QByteArray bytes;
            Base64TovPicture(*value, bytes);
            if (!bytes.isEmpty()) {
                r_.Picture = std::move(bytes);
                return;
            }
        }
        const auto url = TextAt("c:contact/c:PhotoCollection/c:Photo/c:Url");
        if (!url || url->isEmpty() || !hooks_.readPictureFile) return;
        if (auto bytes = hooks_.readPictureFile(*url)) r_.Picture = std::move(*bytes);
    }

    const ContactXml& doc_;
    ContactFileRecord& r_;
    const ContactReadHooks& hooks_;
};

bool Digits(const QString& text, int from, int count)
{
    for (int i = from; i < from + count; ++i)
        if (text[i] < u'0' || text[i] > u'9') return false;
    return true;
}

}  // namespace

std::optional<QString> FileDateToRecordDate(const QString& value)
{
    if (value.size() < 10 || !Digits(value, 0, 4) || !Digits(value, 5, 2) || !Digits(value, 8, 2)) return {};
    if (!QDate(value.left(4).toInt(), value.mid(5, 2).toInt(), value.mid(8, 2).toInt()).isValid()) return {};
    return value.mid(8, 2) + u'-' + value.mid(5, 2) + u'-' + value.left(4);
}

void ReadContactDocument(const ContactXml& doc, ContactFileRecord& record, const ContactReadHooks& hooks)
{
    Reader(doc, record, hooks).Run();
}

bool ReadContactBytes(const QByteArray& bytes, ContactFileRecord& record, const ContactReadHooks& hooks)
{
    ContactXml doc;
    if (!doc.Load(bytes)) return false;
    ReadContactDocument(doc, record, hooks);
    return true;
}

}  // namespace ContactsVista
