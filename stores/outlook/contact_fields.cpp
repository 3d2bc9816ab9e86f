#include "stores/outlook/contact_fields.h"

#include <QStringView>
#include <algorithm>
#include <iterator>

#include "stores/outlook/contact_versions.h"

namespace {

using namespace contact_versions;

// Key, DISPID, kind, and the versions whose Add, Edit, Get and checksum carry it.
constexpr ContactField kFields[] = {
    {u"Account", 0x3A00, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Anniversary", 0x3A41, ContactFieldKind::Date, kAll, kAll, kAll, kAll},
    {u"AssistantName", 0x3A30, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"AssistantTelephoneNumber", 0x3A2E, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"BillingInformation", 0x8535, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"Birthday", 0x3A42, ContactFieldKind::Date, kAll, kAll, kAll, kAll},
    {u"Body", 0x9100, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Business2TelephoneNumber", 0x3A1B, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"BusinessAddress", 0x801B, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"BusinessAddressCity", 0x8046, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"BusinessAddressCountry", 0x8049, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"BusinessAddressPostOfficeBox", 0x804A, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"BusinessAddressPostalCode", 0x8048, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"BusinessAddressState", 0x8047, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"BusinessAddressStreet", 0x8045, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"BusinessCardLayoutXml", 0xFC0D, ContactFieldKind::Text, k12And14, k12And14, kNone, kNone},
    {u"BusinessFaxNumber", 0x3A24, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"BusinessHomePage", 0x3A51, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"BusinessTelephoneNumber", 0x3A08, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"CallbackTelephoneNumber", 0x3A02, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"CarTelephoneNumber", 0x3A1E, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Categories", 0x9001, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Children", 0x800C, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Companies", 0x853B, ContactFieldKind::Text, kAll, kAll, kNone, kNone},
    {u"CompanyMainTelephoneNumber", 0x3A57, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"CompanyName", 0x3A16, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"ComputerNetworkName", 0x3A49, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"CreationTime", 0x3007, ContactFieldKind::Date, kNone, kNone, kAll, kAll},
    {u"CustomerID", 0x3A4A, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"Department", 0x3A18, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Email1Address", 0x8083, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Email1AddressType", 0x8082, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"Email1DisplayName", 0x8080, ContactFieldKind::Text, kFrom11, kFrom11, kAll, kNone},
    {u"Email1EntryID", 0x8085, ContactFieldKind::Text, kNone, kNone, kAll, kNone},
    {u"Email2Address", 0x8093, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Email2AddressType", 0x8092, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"Email2DisplayName", 0x8090, ContactFieldKind::Text, kFrom11, kFrom11, kAll, kNone},
    {u"Email2EntryID", 0x8095, ContactFieldKind::Text, kNone, kNone, kAll, kNone},
    {u"Email3Address", 0x80A3, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Email3AddressType", 0x80A2, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"Email3DisplayName", 0x80A0, ContactFieldKind::Text, kFrom11, kFrom11, kAll, kNone},
    {u"Email3EntryID", 0x80A5, ContactFieldKind::Text, kNone, kNone, kAll, kNone},
    {u"EntryID", 0xF01E, ContactFieldKind::Text, kNone, kNone, kAll, kNone},
    {u"FTPSite", 0x3A4C, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"FileAs", 0x8005, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"FirstName", 0x3A06, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"FullName", 0x3001, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Gender", 0x3A4D, ContactFieldKind::Integer, kAll, kAll, kAll, kNone},
    {u"GovernmentIDNumber", 0x3A07, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"Hobby", 0x3A43, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Home2TelephoneNumber", 0x3A2F, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"HomeAddress", 0x801A, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"HomeAddressCity", 0x3A59, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"HomeAddressCountry", 0x3A5A, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"HomeAddressPostOfficeBox", 0x3A5E, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"HomeAddressPostalCode", 0x3A5B, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"HomeAddressState", 0x3A5C, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"HomeAddressStreet", 0x3A5D, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"HomeFaxNumber", 0x3A25, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"HomeTelephoneNumber", 0x3A09, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"IMAddress", 0x8062, ContactFieldKind::Text, kFrom11, kFrom11, kFrom11, kFrom11},
    {u"ISDNNumber", 0x3A2D, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"Importance", 0x17, ContactFieldKind::Integer, kAll, kAll, kNone, kNone},
    {u"Initials", 0x3A0A, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"InternetFreeBusyAddress", 0x80D8, ContactFieldKind::Text, kFrom9, kFrom9, kFrom9, kNone},
    {u"JobTitle", 0x3A17, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Journal", 0x8025, ContactFieldKind::Flag, kAll, kAll, kAll, kNone},
    {u"Language", 0x3A0C, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"LastName", 0x3A11, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"MailingAddress", 0x3A15, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"MailingAddressCity", 0x3A27, ContactFieldKind::Text, kAll, kAll, kNone, kNone},
    {u"MailingAddressCountry", 0x3A26, ContactFieldKind::Text, kAll, kAll, kNone, kNone},
    {u"MailingAddressPostOfficeBox", 0x3A2B, ContactFieldKind::Text, kAll, kAll, kNone, kNone},
    {u"MailingAddressPostalCode", 0x3A2A, ContactFieldKind::Text, kAll, kAll, kNone, kNone},
    {u"MailingAddressState", 0x3A28, ContactFieldKind::Text, kAll, kAll, kNone, kNone},
    {u"MailingAddressStreet", 0x3A29, ContactFieldKind::Text, kAll, kAll, kNone, kNone},
    {u"ManagerName", 0x3A4E, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"MarkForDownload", 0x8571, ContactFieldKind::Integer, kFrom11, kFrom11, kNone, kNone},
    {u"MessageClass", 0x1A, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"MiddleName", 0x3A44, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Mileage", 0x8534, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"MobileTelephoneNumber", 0x3A1C, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"NetMeetingAlias", 0x805F, ContactFieldKind::Text, kFrom9, kFrom9, kNone, kNone},
    {u"NetMeetingServer", 0x8060, ContactFieldKind::Text, kFrom9, kFrom9, kNone, kNone},
    {u"NickName", 0x3A4F, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"NoAging", 0x850E, ContactFieldKind::Flag, kAll, kAll, kNone, kNone},
    {u"OfficeLocation", 0x3A19, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"OrganizationalIDNumber", 0x3A10, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"OtherAddress", 0x801C, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"OtherAddressCity", 0x3A5F, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"OtherAddressCountry", 0x3A60, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"OtherAddressPostOfficeBox", 0x3A64, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"OtherAddressPostalCode", 0x3A61, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"OtherAddressState", 0x3A62, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"OtherAddressStreet", 0x3A63, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"OtherFaxNumber", 0x3A23, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"OtherTelephoneNumber", 0x3A1F, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"OutlookInternalVersion", 0x8552, ContactFieldKind::Integer, kNone, kNone, kFrom9, kNone},
    {u"OutlookVersion", 0x8554, ContactFieldKind::Text, kNone, kNone, kAll, kNone},
    {u"PagerNumber", 0x3A21, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"PersonalHomePage", 0x3A50, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Picture", 0, ContactFieldKind::Picture, kFrom11, kFrom11, kFrom11, kFrom11},
    {u"PrimaryTelephoneNumber", 0x3A1A, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Profession", 0x3A46, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"RadioTelephoneNumber", 0x3A1D, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"ReferredBy", 0x3A47, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"ReminderOverrideDefault", 0x851C, ContactFieldKind::Flag, k12And14, k12And14, k12And14, kNone},
    {u"ReminderPlaySound", 0x851E, ContactFieldKind::Flag, k12And14, k12And14, k12And14, kNone},
    {u"ReminderSet", 0x8503, ContactFieldKind::Flag, k12And14, k12And14, k12And14, kNone},
    {u"ReminderSoundFile", 0x851F, ContactFieldKind::Text, k12And14, k12And14, kNone, kNone},
    {u"ReminderTime", 0x8502, ContactFieldKind::Date, kNone, k12And14, k12And14, kNone},
    {u"Sensitivity", 0x36, ContactFieldKind::Integer, kAll, kAll, kAll, kNone},
    {u"Spouse", 0x3A48, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Subject", 0x37, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Suffix", 0x3A05, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"TTYTDDTelephoneNumber", 0x3A4B, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"TaskCompletedDate", 0x810F, ContactFieldKind::TaskDate, kNone, k12And14, kNone, kNone},
    {u"TaskDueDate", 0x8105, ContactFieldKind::TaskDate, kNone, k12And14, kNone, kNone},
    {u"TaskStartDate", 0x8104, ContactFieldKind::TaskDate, kNone, k12And14, kNone, kNone},
    {u"TaskSubject", 0xFC1F, ContactFieldKind::Text, k12And14, k12And14, kNone, kNone},
    {u"TelexNumber", 0x3A2C, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"Title", 0x3A45, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"ToDoTaskOrdinal", 0x85A0, ContactFieldKind::TaskDate, kNone, k12And14, kNone, kNone},
    {u"UnRead", 0xF01C, ContactFieldKind::Flag, kAll, kAll, kNone, kNone},
    {u"User1", 0x804F, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"User2", 0x8050, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"User3", 0x8051, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"User4", 0x8052, ContactFieldKind::Text, kAll, kAll, kAll, kNone},
    {u"UserCertificate", 0x8016, ContactFieldKind::Text, kAll, kAll, kNone, kNone},
    {u"WebPage", 0x802B, ContactFieldKind::Text, kAll, kAll, kAll, kAll},
    {u"YomiCompanyName", 0x802E, ContactFieldKind::Text, kAll, kAll, kNone, kNone},
    {u"YomiFirstName", 0x802C, ContactFieldKind::Text, kAll, kAll, kNone, kNone},
    {u"YomiLastName", 0x802D, ContactFieldKind::Text, kAll, kAll, kNone, kNone},
};


}  // namespace

ContactVersions ContactVersionBit(int version)
{
    using namespace contact_versions;
    switch (version) {
        case 8:
            return kV8;
        case 9:
            return kV9;
        case 11:
            return kV11;
        case 12:
            return kV12;
        case 14:
            return kV14;
    }
    return kNone;
}

bool ContactField::IsCarried(ContactOperation operation, int version) const
{
    ContactVersions versions = 0;
    switch (operation) {
        case ContactOperation::Add:
            versions = add;
            break;
        case ContactOperation::Edit:
            versions = edit;
            break;
        case ContactOperation::Get:
            versions = get;
            break;
        case ContactOperation::Checksum:
            versions = checksum;
            break;
    }
    return (versions & ContactVersionBit(version)) != 0;
}

const ContactField* FindContactField(const QString& key)
{
    const auto end = std::end(kFields);
    const auto it = std::lower_bound(std::begin(kFields), end, key, [](const ContactField& f, const QString& k) {
        return QStringView(f.key) < QStringView(k);
    });
    return it != end && QStringView(it->key) == key ? &*it : nullptr;
}

const ContactField* FindContactField(const QString& key, ContactOperation operation, int version)
{
    const ContactField* field = FindContactField(key);
    return field && field->IsCarried(operation, version) ? field : nullptr;
}
