#include "stores/windows_contacts/contact_file_reader.h"

#include <QDate>
#include <string_view>
#include <utility>
#include <vector>

#include "stores/windows_contacts/contact_base64.h"

namespace ContactsVista {

namespace {

using Text = ContactFileRecord::Text;

class Reader {
public:
    Reader(const ContactXml& doc, ContactFileRecord& record, const ContactReadHooks& hooks)
        : doc_(doc), r_(record), hooks_(hooks)
    {
        // Every path starts at c:contact and then names one of its children: those are listed
        // once, so that each look-up starts below them.
        if (pugi::xml_node contact = doc.Select("c:contact"))
            for (pugi::xml_node child : contact.children())
                if (child.type() == pugi::node_element) top_.push_back({child, child.name()});
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
    // The first element on the path, in document order (as ContactXml::Select finds it).
    pugi::xml_node At(std::string_view path) const
    {
        constexpr std::string_view kRoot = "c:contact/";
        if (!path.starts_with(kRoot)) return doc_.Select(path);
        path.remove_prefix(kRoot.size());
        const std::size_t slash = path.find('/');
        const std::string_view step = path.substr(0, slash);
        const std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (step.find('[') != std::string_view::npos) return doc_.Select(std::string(kRoot) + std::string(path));
        for (const auto& [child, name] : top_) {
            if (name != step) continue;
            if (rest.empty()) return child;
            if (pugi::xml_node found = SelectPath(child, rest)) return found;
        }
        return {};
    }
    std::optional<QString> TextAt(std::string_view path) const
    {
        pugi::xml_node e = At(path);
        return e ? std::optional<QString>(ElementText(e)) : std::nullopt;
    }
    void Single(std::string_view path, Text& field) const
    {
        if (auto text = TextAt(path)) field = std::move(text);
    }
    // "c:contact/<collection>/<entry>[n]/<rest>", without building the path.
    pugi::xml_node AtEntry(std::string_view collection, std::string_view entry, int n, std::string_view rest) const
    {
        for (const auto& [child, name] : top_) {
            if (name != collection) continue;
            int seen = 0;
            for (pugi::xml_node e = child.first_child(); e; e = e.next_sibling()) {
                if (e.type() != pugi::node_element || !NameIs(e.name(), entry) || seen++ != n) continue;
                if (pugi::xml_node found = SelectPath(e, rest)) return found;
                break;
            }
        }
        return {};
    }
    std::optional<QString> EntryText(std::string_view collection, std::string_view entry, int n,
                                     std::string_view rest) const
    {
        pugi::xml_node e = AtEntry(collection, entry, n, rest);
        return e ? std::optional<QString>(ElementText(e)) : std::nullopt;
    }

    void Address(int n)
    {
        const auto text = [&](std::string_view rest) {
            return EntryText("c:PhysicalAddressCollection", "c:PhysicalAddress", n, rest);
        };
        const auto label = text("c:LabelCollection/c:Label");
        if (!label) return;
        const bool personal = *label == u"Personal";
        if (!personal && *label != u"Business") return;
        const auto part = [&](std::string_view rest, Text& field) {
            if (auto value = text(rest)) field = std::move(value);
        };
        part("c:Street", personal ? r_.HomeStreet : r_.BusinessStreet);
        part("c:Locality", personal ? r_.HomeCity : r_.BusinessCity);
        part("c:Region", personal ? r_.HomeRegion : r_.BusinessRegion);
        part("c:PostalCode", personal ? r_.HomePostalCode : r_.BusinessPostalCode);
        part("c:Country", personal ? r_.HomeCountry : r_.BusinessCountry);
    }

    void Url(int n)
    {
        const auto label = EntryText("c:UrlCollection", "c:Url", n, "c:LabelCollection/c:Label");
        const auto value = EntryText("c:UrlCollection", "c:Url", n, "c:Value");
        if (!label || !value || *value == u"http://") return;
        if (*label == u"Business") r_.BusinessUrl = value;
        if (*label == u"Personal") r_.PersonalUrl = value;
    }

    void Date(int n)
    {
        const auto label = EntryText("c:DateCollection", "c:Date", n, "c:LabelCollection/c:Label");
        if (!label) return;
        Text* field = *label == u"wab:Anniversary" ? &r_.Anniversary
                      : *label == u"wab:Birthday"  ? &r_.Birthday
                                                   : nullptr;
        if (!field) return;
        const auto value = EntryText("c:DateCollection", "c:Date", n, "c:Value");
        if (!value || value->isEmpty()) return;
        if (auto date = FileDateToRecordDate(*value)) {
            *field = std::move(date);
        } else if (hooks_.note) {
            hooks_.note(QStringLiteral("the date \"%1\" (%2) is no date and is left out").arg(value->left(40), *label));
        }
    }

    void Phone(int n)
    {
        const auto at = [&](std::string_view rest) {
            return EntryText("c:PhoneNumberCollection", "c:PhoneNumber", n, rest);
        };
        const auto kind = at("c:LabelCollection/c:Label[0]");
        if (!kind) return;
        const auto number = at("c:Number");
        if (!number) return;
        const auto second = at("c:LabelCollection/c:Label[1]");
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
    // The children of c:contact with their names, read once: every look-up passes them.
    std::vector<std::pair<pugi::xml_node, std::string_view>> top_;
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
    const auto number = [&](int from, int count) {
        int n = 0;
        for (int i = from; i < from + count; ++i) n = n * 10 + (value[i].unicode() - u'0');
        return n;
    };
    if (!QDate::isValid(number(0, 4), number(5, 2), number(8, 2))) return {};
    // "DD-MM-YYYY", built in place.
    QString date(10, Qt::Uninitialized);
    QChar* out = date.data();
    const QChar* in = value.constData();
    const int order[] = {8, 9, -1, 5, 6, -1, 0, 1, 2, 3};
    for (int i = 0; i < 10; ++i) out[i] = order[i] < 0 ? QChar(u'-') : in[order[i]];
    return date;
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
