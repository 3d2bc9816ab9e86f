#include "stores/outlook/contact_reader.h"

#include "common/crc32.h"
#include "common/dates.h"
#include "common/errors.h"
#include "stores/outlook/contact_fields.h"
#include "stores/outlook/contact_picture.h"
#include "stores/outlook/contact_versions.h"
#include "stores/outlook/outlook_peer_dates.h"

namespace {

using namespace contact_versions;

struct ContactRow {
    const char16_t* key;
    ContactVersions versions;
};

// What a read appends, in its order (a key may come twice); the picture is last.
constexpr ContactRow kReadOrder[] = {
    {u"Anniversary", kAll},
    {u"Birthday", kAll},
    {u"CreationTime", kAll},
    {u"FullName", k8To11},
    {u"ReminderTime", k12And14},
    {u"Account", kAll},
    {u"AssistantName", kAll},
    {u"AssistantTelephoneNumber", kAll},
    {u"BillingInformation", kAll},
    {u"BusinessAddress", kAll},
    {u"BusinessAddressCity", kAll},
    {u"BusinessAddressCountry", kAll},
    {u"BusinessAddressPostalCode", kAll},
    {u"BusinessAddressPostOfficeBox", kAll},
    {u"BusinessAddressState", kAll},
    {u"BusinessAddressStreet", kAll},
    {u"BusinessFaxNumber", kAll},
    {u"BusinessHomePage", kAll},
    {u"BusinessTelephoneNumber", kAll},
    {u"Business2TelephoneNumber", kAll},
    {u"CallbackTelephoneNumber", kAll},
    {u"CarTelephoneNumber", kAll},
    {u"Categories", kAll},
    {u"Children", kAll},
    {u"CompanyName", kAll},
    {u"CompanyMainTelephoneNumber", kAll},
    {u"ComputerNetworkName", kAll},
    {u"CustomerID", kAll},
    {u"Department", kAll},
    {u"Email1Address", kAll},
    {u"Email2Address", kAll},
    {u"Email3Address", kAll},
    {u"Email1DisplayName", kAll},
    {u"Email2DisplayName", kAll},
    {u"Email3DisplayName", kAll},
    {u"Email1AddressType", kAll},
    {u"Email2AddressType", kAll},
    {u"Email3AddressType", kAll},
    {u"FileAs", kAll},
    {u"FirstName", kAll},
    {u"FTPSite", kAll},
    {u"FullName", kAll},
    {u"GovernmentIDNumber", kAll},
    {u"Hobby", kAll},
    {u"HomeAddress", kAll},
    {u"HomeAddressCity", kAll},
    {u"HomeAddressCountry", kAll},
    {u"HomeAddressPostalCode", kAll},
    {u"HomeAddressPostOfficeBox", kAll},
    {u"HomeAddressState", kAll},
    {u"HomeAddressStreet", kAll},
    {u"HomeFaxNumber", kAll},
    {u"HomeTelephoneNumber", kAll},
    {u"Home2TelephoneNumber", kAll},
    {u"IMAddress", kFrom11},
    {u"Initials", kAll},
    {u"InternetFreeBusyAddress", kFrom9},
    {u"ISDNNumber", kAll},
    {u"JobTitle", kAll},
    {u"Language", kAll},
    {u"LastName", kAll},
    {u"MailingAddress", kAll},
    {u"ManagerName", kAll},
    {u"MessageClass", kAll},
    {u"MiddleName", kAll},
    {u"Mileage", kAll},
    {u"MobileTelephoneNumber", kAll},
    {u"NickName", kAll},
    {u"OfficeLocation", kAll},
    {u"OrganizationalIDNumber", kAll},
    {u"OtherAddress", kAll},
    {u"OtherAddressCity", kAll},
    {u"OtherAddressCountry", kAll},
    {u"OtherAddressPostalCode", kAll},
    {u"OtherAddressPostOfficeBox", kAll},
    {u"OtherAddressState", kAll},
    {u"OtherAddressStreet", kAll},
    {u"OtherFaxNumber", kAll},
    {u"OtherTelephoneNumber", kAll},
    {u"OutlookVersion", kAll},
    {u"PagerNumber", kAll},
    {u"PersonalHomePage", kAll},
    {u"PrimaryTelephoneNumber", kAll},
    {u"Profession", kAll},
    {u"RadioTelephoneNumber", kAll},
    {u"ReferredBy", kAll},
    {u"Spouse", kAll},
    {u"Subject", kAll},
    {u"Suffix", kAll},
    {u"TelexNumber", kAll},
    {u"Title", kAll},
    {u"TTYTDDTelephoneNumber", kAll},
    {u"User1", kAll},
    {u"User2", kAll},
    {u"User3", kAll},
    {u"User4", kAll},
    {u"WebPage", kAll},
    {u"Body", kAll},
    {u"FirstName", k8To11},
    {u"LastName", k8To11},
    {u"EntryID", kAll},
    {u"Email1EntryID", kAll},
    {u"Email2EntryID", kAll},
    {u"Email3EntryID", kAll},
    {u"Journal", kAll},
    {u"Gender", kAll},
    {u"OutlookInternalVersion", kFrom9},
    {u"ReminderOverrideDefault", k12And14},
    {u"ReminderPlaySound", k12And14},
    {u"ReminderSet", k12And14},
    {u"Sensitivity", kAll},
    {u"Picture", kFrom11},
};

// The values the checksum joins, in their order (a key may come twice); the picture bytes follow.
constexpr ContactRow kChecksumOrder[] = {
    {u"Account", kAll},
    {u"AssistantName", kAll},
    {u"AssistantTelephoneNumber", kAll},
    {u"BusinessAddress", kAll},
    {u"BusinessAddressCity", kAll},
    {u"BusinessAddressCountry", kAll},
    {u"BusinessAddressPostalCode", kAll},
    {u"BusinessAddressPostOfficeBox", kAll},
    {u"BusinessAddressState", kAll},
    {u"BusinessAddressStreet", kAll},
    {u"BusinessFaxNumber", kAll},
    {u"BusinessHomePage", kAll},
    {u"BusinessTelephoneNumber", kAll},
    {u"Business2TelephoneNumber", kAll},
    {u"CallbackTelephoneNumber", kAll},
    {u"CarTelephoneNumber", kAll},
    {u"Categories", kAll},
    {u"Children", kAll},
    {u"CompanyName", kAll},
    {u"CompanyMainTelephoneNumber", kAll},
    {u"Department", kAll},
    {u"Email1Address", kAll},
    {u"Email2Address", kAll},
    {u"Email3Address", kAll},
    {u"FileAs", kAll},
    {u"FirstName", kAll},
    {u"FullName", kAll},
    {u"Hobby", kAll},
    {u"HomeAddress", kAll},
    {u"HomeAddressCity", kAll},
    {u"HomeAddressCountry", kAll},
    {u"HomeAddressPostalCode", kAll},
    {u"HomeAddressPostOfficeBox", kAll},
    {u"HomeAddressState", kAll},
    {u"HomeAddressStreet", kAll},
    {u"HomeFaxNumber", kAll},
    {u"HomeTelephoneNumber", kAll},
    {u"Home2TelephoneNumber", kAll},
    {u"IMAddress", kFrom11},
    {u"Initials", kAll},
    {u"JobTitle", kAll},
    {u"LastName", kAll},
    {u"MailingAddress", kAll},
    {u"ManagerName", kAll},
    {u"MiddleName", kAll},
    {u"MobileTelephoneNumber", kAll},
    {u"NickName", kAll},
    {u"OfficeLocation", kAll},
    {u"OrganizationalIDNumber", kAll},
    {u"OtherAddress", kAll},
    {u"OtherAddressCity", kAll},
    {u"OtherAddressCountry", kAll},
    {u"OtherAddressPostalCode", kAll},
    {u"OtherAddressPostOfficeBox", kAll},
    {u"OtherAddressState", kAll},
    {u"OtherAddressStreet", kAll},
    {u"OtherFaxNumber", kAll},
    {u"OtherTelephoneNumber", kAll},
    {u"PagerNumber", kAll},
    {u"PersonalHomePage", kAll},
    {u"PrimaryTelephoneNumber", kAll},
    {u"Profession", kAll},
    {u"RadioTelephoneNumber", kAll},
    {u"Spouse", kAll},
    {u"Subject", kAll},
    {u"Suffix", kAll},
    {u"TelexNumber", kAll},
    {u"Title", kAll},
    {u"TTYTDDTelephoneNumber", kAll},
    {u"WebPage", kAll},
    {u"Body", kAll},
    {u"FirstName", kAll},
    {u"LastName", kAll},
    {u"Anniversary", kAll},
    {u"Birthday", kAll},
    {u"CreationTime", kAll},
};

bool Carries(const ContactRow& row, int version) { return (row.versions & ContactVersionBit(version)) != 0; }

const ContactField& FieldOf(const ContactRow& row)
{
    const ContactField* field = FindContactField(QString::fromUtf16(row.key));
    if (!field) throw AgentError("no contact field " + QString::fromUtf16(row.key).toStdString());
    return *field;
}

}  // namespace

void ReadContactFields(const DispatchDriver& contact, ItemRecord& record, int version)
{
    for (const ContactRow& row : kReadOrder) {
        if (!Carries(row, version)) continue;
        const ContactField& field = FieldOf(row);
        const QString key = QString::fromUtf16(row.key);
        // Each entry is appended whole, after its read and conversion succeeded.
        switch (field.kind) {
            case ContactFieldKind::Text: {
                QString text = contact.GetText(field.dispId);
                if (key == QLatin1String("Categories")) text.replace(QLatin1Char(';'), QLatin1Char(','));
                record.Add(key, std::move(text));
                break;
            }
            case ContactFieldKind::Integer:
                record.Add(key, contact.GetI4(field.dispId));
                break;
            case ContactFieldKind::Flag:
                record.Add(key, contact.GetBool(field.dispId));
                break;
            case ContactFieldKind::Date:
            case ContactFieldKind::TaskDate:
                record.Add(key, DateAsPeerText(key, contact.GetDate(field.dispId)));
                break;
            case ContactFieldKind::Picture:
                ExportContactPicture(contact, record);
                break;
        }
    }
}

std::uint32_t ContactChecksum(const DispatchDriver& contact, int version)
{
    std::uint32_t crc = 0;
    for (const ContactRow& row : kChecksumOrder) {
        if (!Carries(row, version)) continue;
        const ContactField& field = FieldOf(row);
        // As Outlook keeps them: categories with their own separators, dates unconverted.
        const QString text = field.kind == ContactFieldKind::Date ? DateToText(contact.GetDate(field.dispId))
                                                                  : contact.GetText(field.dispId);
        crc = Crc32Update(crc, text.utf16(), static_cast<std::size_t>(text.size()) * sizeof(char16_t));
    }
    if (version >= 11) crc = ContinueCrcWithContactPicture(contact, crc);
    return crc;
}
