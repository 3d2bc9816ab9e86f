#include "stores/address_book/wab_contact_fields.h"

#include <map>

#include "common/dates.h"
#include "common/errors.h"
#include "common/ole_date.h"

namespace ContactsXp {

using wab::PropTag;
using wab::PropValue;

namespace {

constexpr PropTag PR_GIVEN_NAME_W = 0x3A06001F;
constexpr PropTag PR_MIDDLE_NAME_W = 0x3A44001F;
constexpr PropTag PR_SURNAME_W = 0x3A11001F;
constexpr PropTag PR_DISPLAY_NAME_W = 0x3001001F;
constexpr PropTag PR_DISPLAY_NAME_PREFIX_W = 0x3A45001F;
constexpr PropTag PR_NICKNAME_W = 0x3A4F001F;
constexpr PropTag PR_COMMENT_W = 0x3004001F;
constexpr PropTag PR_SPOUSE_NAME_W = 0x3A48001F;
constexpr PropTag PR_CONTACT_EMAIL_ADDRESSES_W = 0x3A56101F;
constexpr PropTag PR_CHILDRENS_NAMES_W = 0x3A58101F;
constexpr PropTag PR_BIRTHDAY = 0x3A420040;
constexpr PropTag PR_WEDDING_ANNIVERSARY = 0x3A410040;

const QString kCategories = QStringLiteral("Categories");

// The first and last properties of the run of plain texts that Get appends after the names, and
// that the checksum text holds in the same order from its 11th place on.
constexpr PropTag kFirstAddressTag = 0x3A5D001F;  // PR_HOME_ADDRESS_STREET_W
constexpr PropTag kLastAddressTag = 0x3A51001F;   // PR_BUSINESS_HOME_PAGE_W

// A text property as text: wide text as it is, 8-bit text from the system code page (UTF-8).
std::optional<QString> TextOf(const PropValue& value)
{
    if (const QString* text = value.Unicode()) return *text;
    if (const QByteArray* bytes = value.String8()) return QString::fromUtf8(*bytes);
    return std::nullopt;
}

QStringList TextsOf(const PropValue& value)
{
    if (const QStringList* texts = value.MultiUnicode()) return *texts;
    QStringList texts;
    if (const auto* bytes = value.MultiString8())
        for (const QByteArray& b : *bytes) texts.append(QString::fromUtf8(b));
    return texts;
}

std::optional<SystemTime> DateFieldsOf(wab::FileTime time)
{
    if (time.ticks < 0) return std::nullopt;
    const SystemTime fields = FileTimeToSystemTime(time.ticks);
    if (fields.wYear > 9999) return std::nullopt;
    return fields;
}

// Every property a contact is read with, and where each is in ContactPropertyTags().
struct TagIndex {
    wab::PropTagArray tags;
    std::map<PropTag, std::size_t> at;
};

const TagIndex& Index()
{
    static const TagIndex index = [] {
        TagIndex made;
        for (const WabField& field : WabContactFields())
            if (!made.at.count(field.tag)) {
                made.at[field.tag] = made.tags.size();
                made.tags.push_back(field.tag);
            }
        return made;
    }();
    return index;
}

const PropValue& Prop(const wab::PropRow& props, PropTag tag)
{
    static const PropValue missing = PropValue::Error(0);
    const std::size_t at = Index().at.at(tag);
    return at < props.size() ? props[at] : missing;
}

const WabField* FieldNamed(const QString& name)
{
    for (const WabField& field : WabContactFields())
        if (name == QStringView(field.name)) return &field;
    return nullptr;
}

}  // namespace

const std::vector<WabField>& WabContactFields()
{
    using K = WabFieldKind;
    static const std::vector<WabField> fields = {
        {u"FirstName", PR_GIVEN_NAME_W, K::Text},
        {u"MiddleName", PR_MIDDLE_NAME_W, K::Text},
        {u"LastName", PR_SURNAME_W, K::Text},
        {u"FullName", PR_DISPLAY_NAME_W, K::Text},
        {u"FileAS", PR_DISPLAY_NAME_W, K::Text},
        {u"Title", PR_DISPLAY_NAME_PREFIX_W, K::Text},
        {u"NickName", PR_NICKNAME_W, K::Text},
        {u"Body", PR_COMMENT_W, K::Text},
        {u"Spouse", PR_SPOUSE_NAME_W, K::Text},
        {u"HomeAddressStreet", kFirstAddressTag, K::Text},
        {u"HomeAddressCity", 0x3A59001F, K::Text},
        {u"HomeAddressState", 0x3A5C001F, K::Text},
        {u"HomeAddressPostalCode", 0x3A5B001F, K::Text},
        {u"HomeAddressCountry", 0x3A5A001F, K::Text},
        {u"HomeTelephoneNumber", 0x3A09001F, K::Text},
        {u"HomeFaxNumber", 0x3A25001F, K::Text},
        {u"MobileTelephoneNumber", 0x3A1C001F, K::Text},
        {u"WebPage", 0x3A50001F, K::Text},
        {u"CompanyName", 0x3A16001F, K::Text},
        {u"BusinessAddressStreet", 0x3A29001F, K::Text},
        {u"BusinessAddressCity", 0x3A27001F, K::Text},
        {u"BusinessAddressState", 0x3A28001F, K::Text},
        {u"BusinessAddressPostalCode", 0x3A2A001F, K::Text},
        {u"BusinessAddressCountry", 0x3A26001F, K::Text},
        {u"JobTitle", 0x3A17001F, K::Text},
        {u"Department", 0x3A18001F, K::Text},
        {u"OfficeLocation", 0x3A19001F, K::Text},
        {u"BusinessTelephoneNumber", 0x3A08001F, K::Text},
        {u"BusinessFaxNumber", 0x3A24001F, K::Text},
        {u"PagerNumber", 0x3A21001F, K::Text},
        {u"BusinessHomePage", kLastAddressTag, K::Text},
        {u"emails", PR_CONTACT_EMAIL_ADDRESSES_W, K::TextList},
        {u"Children", PR_CHILDRENS_NAMES_W, K::TextList},
        {u"Birthday", PR_BIRTHDAY, K::Date},
        {u"Anniversary", PR_WEDDING_ANNIVERSARY, K::Date},
    };
    return fields;
}

const wab::PropTagArray& ContactPropertyTags()
{
    return Index().tags;
}

QStringList SplitNames(const QString& text)
{
    return text.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

std::optional<QString> FileTimeToDateText(wab::FileTime time)
{
    const auto fields = DateFieldsOf(time);
    if (!fields) return std::nullopt;
    const auto date = SystemTimeToOleDate(*fields);
    if (!date) return std::nullopt;
    return DateOnlyToText(*date);
}

std::optional<wab::FileTime> DateTextToFileTime(const QString& text)
{
    const auto date = ParseDateText(text, DateTextPart::DateOnly);
    if (!date) return std::nullopt;
    auto fields = OleDateToSystemTime(*date);
    // A FILETIME counts from 1601: earlier days have none.
    if (!fields || fields->wYear < 1601) return std::nullopt;
    fields->wHour = fields->wMinute = fields->wSecond = fields->wMilliseconds = 0;
    return wab::FileTime{SystemTimeToFileTime(*fields)};
}

ItemRecord ContactRecord(const wab::PropRow& props, const QStringList& groupNames)
{
    ItemRecord record;
    record.Add(kCategories, groupNames.join(QLatin1Char(',')));

    // The names; a contact known by its display name alone has it split at its last space.
    std::vector<std::pair<QString, QString>> names;
    bool allEmpty = true;
    for (const auto& [name, tag] : {std::pair{u"FirstName", PR_GIVEN_NAME_W}, std::pair{u"MiddleName", PR_MIDDLE_NAME_W},
                                    std::pair{u"LastName", PR_SURNAME_W}})
        if (const auto text = TextOf(Prop(props, tag))) {
            names.emplace_back(QString::fromUtf16(name), *text);
            allEmpty = allEmpty && text->isEmpty();
        }
    if (allEmpty)
        if (const auto display = TextOf(Prop(props, PR_DISPLAY_NAME_W))) {
            const qsizetype space = display->lastIndexOf(QLatin1Char(' '));
            names = {{QStringLiteral("FirstName"), space < 0 ? QString() : display->left(space)},
                     {QStringLiteral("LastName"), display->mid(space + 1)}};
        }
    for (auto& [name, text] : names) record.Add(name, text);

    for (const WabField& field : WabContactFields()) {
        if (field.tag == PR_GIVEN_NAME_W || field.tag == PR_MIDDLE_NAME_W || field.tag == PR_SURNAME_W) continue;
        const PropValue& value = Prop(props, field.tag);
        switch (field.kind) {
            case WabFieldKind::Text:
                if (const auto text = TextOf(value)) record.Add(QString::fromUtf16(field.name), *text);
                break;
            case WabFieldKind::TextList: {
                QString joined;
                for (const QString& part : TextsOf(value)) joined += part + QLatin1Char(',');
                record.Add(QString::fromUtf16(field.name), joined);
                break;
            }
            case WabFieldKind::Date:
                if (const wab::FileTime* time = value.Time())
                    if (const auto text = FileTimeToDateText(*time)) record.Add(QString::fromUtf16(field.name), *text);
                break;
        }
    }
    return record;
}

QString ContactChecksumText(const wab::PropRow& props, const QStringList& groupNames)
{
    QString text;
    auto addText = [&](PropTag tag) {
        if (const auto value = TextOf(Prop(props, tag))) text += *value;
    };
    auto addDate = [&](PropTag tag) {
        const wab::FileTime* time = Prop(props, tag).Time();
        if (!time) return;
        const auto fields = DateFieldsOf(*time);
        text += fields ? QString::asprintf("%02d/%02d/%04d", fields->wDay, fields->wMonth, fields->wYear)
                       : QStringLiteral("-1/-1/-001");
    };
    for (PropTag tag : {PR_GIVEN_NAME_W, PR_SURNAME_W, PR_MIDDLE_NAME_W, PR_DISPLAY_NAME_W, PR_DISPLAY_NAME_PREFIX_W,
                        PR_NICKNAME_W})
        addText(tag);
    addDate(PR_BIRTHDAY);
    addDate(PR_WEDDING_ANNIVERSARY);
    addText(PR_SPOUSE_NAME_W);
    addText(PR_COMMENT_W);
    bool inRun = false;
    for (const WabField& field : WabContactFields()) {
        inRun = inRun || field.tag == kFirstAddressTag;
        if (inRun) addText(field.tag);
        if (field.tag == kLastAddressTag) break;
    }
    for (PropTag tag : {PR_CONTACT_EMAIL_ADDRESSES_W, PR_CHILDRENS_NAMES_W})
        for (const QString& part : TextsOf(Prop(props, tag))) text += part;
    for (const QString& name : groupNames) text += name;
    return text;
}

ContactChanges ContactChangesFrom(const ItemRecord& record, ContactWrite mode)
{
    const bool add = mode == ContactWrite::Add;
    // The last change of each property wins; nothing: delete it.
    std::map<PropTag, std::optional<PropValue>> changes;
    ContactChanges result;
    for (int i = 0; i < record.FieldCount(); ++i) {
        const QString& name = record.names[i];
        const QString value = ItemValueText(record.values[static_cast<std::size_t>(i)]);
        if (name == kCategories) {
            if (!add || !value.isEmpty()) result.groups = SplitNames(value);
            continue;
        }
        const WabField* field = FieldNamed(name);
        if (!field) continue;
        if (add && value.isEmpty()) continue;
        switch (field->kind) {
            case WabFieldKind::Text:
                if (value.isEmpty())
                    changes[field->tag] = std::nullopt;
                else
                    changes[field->tag] = PropValue::Unicode(field->tag, value);
                break;
            case WabFieldKind::TextList: {
                const QStringList parts = SplitNames(value);
                // Edit leaves the list as it is when no value comes; Add stores a list made only of
                // separators as no list at all.
                if (!add && parts.isEmpty()) break;
                changes[field->tag] = PropValue::MultiUnicode(field->tag, parts);
                break;
            }
            case WabFieldKind::Date:
                if (value.isEmpty()) {
                    changes[field->tag] = std::nullopt;
                    break;
                }
                if (const auto time = DateTextToFileTime(value))
                    changes[field->tag] = PropValue::Time(field->tag, *time);
                else
                    throw AgentError("the field \"" + name.toStdString() + "\" holds \"" + value.toStdString() +
                                     "\", which is not a date");
                break;
        }
    }
    for (auto& [tag, change] : changes) {
        if (change)
            result.set.push_back(std::move(*change));
        else
            result.remove.push_back(tag);
    }
    return result;
}

}  // namespace ContactsXp
