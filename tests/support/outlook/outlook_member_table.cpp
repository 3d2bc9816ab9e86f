#include "support/outlook/outlook_member_table.h"

#include <QHash>
#include <array>

namespace {

using T = EmuType;

struct Builder {
    std::vector<EmuMember> members;

    void Prop(EmuObject o, const char* name, DispId id, T type, int since = 8, bool readOnly = false,
              int writableFrom = 0)
    {
        members.push_back({o, name, id, false, type, readOnly, since, writableFrom, {}, 0});
    }
    void ReadOnly(EmuObject o, const char* name, DispId id, T type, int since = 8)
    {
        Prop(o, name, id, type, since, true);
    }
    void Method(EmuObject o, const char* name, DispId id, T result, std::vector<T> args = {}, int since = 8,
                int optional = 0)
    {
        members.push_back({o, name, id, true, result, false, since, 0, std::move(args), optional});
    }
    // What every Outlook item answers.
    void ItemBasics(EmuObject o)
    {
        ReadOnly(o, "EntryID", 0xF01E, T::Text);
        ReadOnly(o, "Class", 0xF00A, T::I4);
        ReadOnly(o, "CreationTime", 0x3007, T::Date);
        ReadOnly(o, "LastModificationTime", 0x3008, T::Date);
        ReadOnly(o, "Saved", 0xF0A3, T::Bool);
        Prop(o, "Body", 0x9100, T::Text);
        Prop(o, "Categories", 0x9001, T::Text);
        Method(o, "Save", 0xF048, T::None);
        Method(o, "Delete", 0xF04A, T::None);
    }
    void Recurrence(EmuObject o)
    {
        Method(o, "GetRecurrencePattern", 0xF0A4, T::Object);
        Method(o, "ClearRecurrencePattern", 0xF0A5, T::None);
    }
};

std::vector<EmuMember> BuildTable()
{
    using O = EmuObject;
    Builder b;
    b.Method(O::Application, "CreateItem", 0x10A, T::Object, {T::I4});
    b.Method(O::Application, "GetNamespace", 0x110, T::Object, {T::Text});

    b.Method(O::Namespace, "GetDefaultFolder", 0x210B, T::Object, {T::I4});
    b.Method(O::Namespace, "GetItemFromID", 0x2109, T::Object, {T::Text, T::Text}, 8, 1);
    b.Prop(O::Namespace, "Stores", 0xFAD0, T::Object, 12, true);
    b.Prop(O::Namespace, "Categories", 0xFBA5, T::Object, 12, true);

    b.Prop(O::Folder, "Items", 0x3100, T::Object, 8, true);
    b.ReadOnly(O::Folder, "StoreID", 0x3108, T::Text);

    b.ReadOnly(O::Items, "Count", 0x50, T::I4);
    b.Method(O::Items, "Item", 0x51, T::Object, {T::Index});
    b.Method(O::Items, "GetFirst", 0x56, T::Object);
    b.Method(O::Items, "GetNext", 0x57, T::Object);

    b.ReadOnly(O::Store, "ExchangeStoreType", 0xFAD2, T::I4, 12);
    b.ReadOnly(O::Category, "Name", 0x2102, T::Text, 12);

    // Appointments
    {
        const O a = O::Appointment;
        b.ItemBasics(a);
        b.Prop(a, "Subject", 0x37, T::Text);
        b.Prop(a, "Companies", 0x853B, T::Text);
        b.Prop(a, "Location", 0x8208, T::Text);
        b.Prop(a, "Mileage", 0x8534, T::Text);
        b.Prop(a, "ReminderSoundFile", 0x851F, T::Text);
        b.ReadOnly(a, "Organizer", 0x42, T::Text);
        b.ReadOnly(a, "OutlookVersion", 0x8554, T::Text);
        b.ReadOnly(a, "ConversationTopic", 0x70, T::Text, 9);
        b.ReadOnly(a, "ConversationIndex", 0x71, T::Text, 9);
        b.ReadOnly(a, "0xFAC0", 0xFAC0, T::Text, 11);
        b.ReadOnly(a, "MeetingWorkspaceURL", 0x8209, T::Text, 11);
        b.Prop(a, "Start", 0x820D, T::Date);
        b.Prop(a, "End", 0x820E, T::Date);
        b.Prop(a, "AllDayEvent", 0x8215, T::Bool);
        b.Prop(a, "ReminderOverrideDefault", 0x851C, T::Bool);
        b.Prop(a, "ReminderPlaySound", 0x851E, T::Bool);
        b.Prop(a, "ReminderSet", 0x8503, T::Bool);
        b.Prop(a, "UnRead", 0xF01C, T::Bool);
        b.ReadOnly(a, "IsRecurring", 0x8223, T::Bool);
        b.ReadOnly(a, "AutoResolvedWinner", 0xFABA, T::Bool, 11);
        b.ReadOnly(a, "IsConflict", 0xFAA4, T::Bool, 11);
        b.Prop(a, "BusyStatus", 0x8205, T::I4);
        b.Prop(a, "Duration", 0x8213, T::I4);
        b.Prop(a, "Importance", 0x17, T::I4);
        b.Prop(a, "MeetingStatus", 0x8217, T::I4);
        b.Prop(a, "Sensitivity", 0x36, T::I4);
        b.Prop(a, "ReminderMinutesBeforeStart", 0x8501, T::I4);
        b.ReadOnly(a, "DownloadState", 0xFA4D, T::I4, 11);
        b.Prop(a, "MarkForDownload", 0x8571, T::I4, 11);
        b.ReadOnly(a, "OutlookInternalVersion", 0x8552, T::I4, 9);
        b.ReadOnly(a, "ResponseStatus", 0x8218, T::I4);
        b.ReadOnly(a, "Size", 0x0E08, T::I4);
        b.ReadOnly(a, "RecurrenceState", 0xF545, T::I4, 9);
        b.Recurrence(a);
    }
    // Tasks
    {
        const O t = O::Task;
        b.ItemBasics(t);
        b.Prop(t, "Subject", 0x37, T::Text);
        b.Prop(t, "Importance", 0x17, T::I4);
        b.Prop(t, "Sensitivity", 0x36, T::I4);
        b.ReadOnly(t, "IsRecurring", 0xF617, T::Bool);
        b.Prop(t, "ReminderSet", 0x8503, T::Bool);
        b.Prop(t, "Complete", 0x811C, T::Bool);
        b.Prop(t, "TeamTask", 0x8103, T::Bool);
        b.Prop(t, "StartDate", 0x8104, T::Date);
        b.Prop(t, "DueDate", 0x8105, T::Date);
        b.Prop(t, "DateCompleted", 0x810F, T::Date);
        b.Prop(t, "ReminderTime", 0x8502, T::Date);
        b.Recurrence(t);
    }
    // Notes
    {
        const O n = O::Note;
        b.ItemBasics(n);
        b.ReadOnly(n, "Subject", 0xF7A0, T::Text);
        b.Prop(n, "Color", 0x8B00, T::I4);
    }
    // Distribution lists share the contacts folder.
    {
        const O d = O::DistList;
        b.ItemBasics(d);
        b.Prop(d, "Subject", 0x37, T::Text);
    }
    // Recurrence patterns
    {
        const O r = O::RecurrencePattern;
        b.Prop(r, "DayOfMonth", 0x1000, T::I4);
        b.Prop(r, "DayOfWeekMask", 0x1001, T::I4);
        b.Prop(r, "PatternEndDate", 0x1002, T::Date);
        b.Prop(r, "Instance", 0x1003, T::I4);
        b.Prop(r, "Interval", 0x1004, T::I4);
        b.Prop(r, "Occurrences", 0x1005, T::I4);
        b.Prop(r, "MonthOfYear", 0x1006, T::I4);
        b.Prop(r, "RecurrenceType", 0x1007, T::I4);
        b.Prop(r, "NoEndDate", 0x100B, T::Bool);
        b.Prop(r, "Duration", 0x100D, T::I4);
    }
    // Pictures
    b.ReadOnly(O::Attachments, "Count", 0x50, T::I4, 11);
    b.Method(O::Attachments, "Item", 0x51, T::Object, {T::Index}, 11);
    b.Method(O::Attachment, "SaveAsFile", 0x68, T::None, {T::Text}, 11);

    // Contacts
    {
        const O c = O::Contact;
        b.ItemBasics(c);
        struct Text {
            const char* name;
            DispId id;
        };
        static const Text everyVersion[] = {
            {"Account", 0x3A00}, {"AssistantName", 0x3A30}, {"AssistantTelephoneNumber", 0x3A2E},
            {"Business2TelephoneNumber", 0x3A1B}, {"BusinessAddress", 0x801B}, {"BusinessAddressCity", 0x8046},
            {"BusinessAddressCountry", 0x8049}, {"BusinessAddressPostalCode", 0x8048},
            {"BusinessAddressPostOfficeBox", 0x804A}, {"BusinessAddressState", 0x8047},
            {"BusinessAddressStreet", 0x8045}, {"BusinessFaxNumber", 0x3A24}, {"BusinessHomePage", 0x3A51},
            {"BusinessTelephoneNumber", 0x3A08}, {"CallbackTelephoneNumber", 0x3A02},
            {"CarTelephoneNumber", 0x3A1E}, {"Children", 0x800C}, {"CompanyMainTelephoneNumber", 0x3A57},
            {"CompanyName", 0x3A16}, {"Department", 0x3A18}, {"Email1Address", 0x8083},
            {"Email2Address", 0x8093}, {"Email3Address", 0x80A3}, {"FileAs", 0x8005}, {"FirstName", 0x3A06},
            {"FullName", 0x3001}, {"Hobby", 0x3A43}, {"Home2TelephoneNumber", 0x3A2F}, {"HomeAddress", 0x801A},
            {"HomeAddressCity", 0x3A59}, {"HomeAddressCountry", 0x3A5A}, {"HomeAddressPostalCode", 0x3A5B},
            {"HomeAddressPostOfficeBox", 0x3A5E}, {"HomeAddressState", 0x3A5C}, {"HomeAddressStreet", 0x3A5D},
            {"HomeFaxNumber", 0x3A25}, {"HomeTelephoneNumber", 0x3A09}, {"Initials", 0x3A0A},
            {"JobTitle", 0x3A17}, {"LastName", 0x3A11}, {"MailingAddress", 0x3A15}, {"ManagerName", 0x3A4E},
            {"MiddleName", 0x3A44}, {"MobileTelephoneNumber", 0x3A1C}, {"NickName", 0x3A4F},
            {"OfficeLocation", 0x3A19}, {"OrganizationalIDNumber", 0x3A10}, {"OtherAddress", 0x801C},
            {"OtherAddressCity", 0x3A5F}, {"OtherAddressCountry", 0x3A60}, {"OtherAddressPostalCode", 0x3A61},
            {"OtherAddressPostOfficeBox", 0x3A64}, {"OtherAddressState", 0x3A62},
            {"OtherAddressStreet", 0x3A63}, {"OtherFaxNumber", 0x3A23}, {"OtherTelephoneNumber", 0x3A1F},
            {"PagerNumber", 0x3A21}, {"PersonalHomePage", 0x3A50}, {"PrimaryTelephoneNumber", 0x3A1A},
            {"Profession", 0x3A46}, {"RadioTelephoneNumber", 0x3A1D}, {"Spouse", 0x3A48}, {"Subject", 0x37},
            {"Suffix", 0x3A05}, {"TelexNumber", 0x3A2C}, {"Title", 0x3A45}, {"TTYTDDTelephoneNumber", 0x3A4B},
            {"WebPage", 0x802B}, {"BillingInformation", 0x8535}, {"Companies", 0x853B},
            {"ComputerNetworkName", 0x3A49}, {"CustomerID", 0x3A4A}, {"Email1AddressType", 0x8082},
            {"Email2AddressType", 0x8092}, {"Email3AddressType", 0x80A2}, {"FTPSite", 0x3A4C},
            {"GovernmentIDNumber", 0x3A07}, {"ISDNNumber", 0x3A2D}, {"Language", 0x3A0C},
            {"MailingAddressCity", 0x3A27}, {"MailingAddressCountry", 0x3A26},
            {"MailingAddressPostalCode", 0x3A2A}, {"MailingAddressPostOfficeBox", 0x3A2B},
            {"MailingAddressState", 0x3A28}, {"MailingAddressStreet", 0x3A29}, {"MessageClass", 0x1A},
            {"Mileage", 0x8534}, {"ReferredBy", 0x3A47}, {"User1", 0x804F}, {"User2", 0x8050},
            {"User3", 0x8051}, {"User4", 0x8052}, {"UserCertificate", 0x8016}, {"YomiCompanyName", 0x802E},
            {"YomiFirstName", 0x802C}, {"YomiLastName", 0x802D},
        };
        for (const Text& t : everyVersion) b.Prop(c, t.name, t.id, T::Text);
        b.Prop(c, "Anniversary", 0x3A41, T::Date);
        b.Prop(c, "Birthday", 0x3A42, T::Date);
        b.Prop(c, "Gender", 0x3A4D, T::I4);
        b.Prop(c, "Importance", 0x17, T::I4);
        b.Prop(c, "Sensitivity", 0x36, T::I4);
        b.Prop(c, "Journal", 0x8025, T::Bool);
        b.Prop(c, "NoAging", 0x850E, T::Bool);
        b.Prop(c, "UnRead", 0xF01C, T::Bool);
        b.ReadOnly(c, "Email1EntryID", 0x8085, T::Text);
        b.ReadOnly(c, "Email2EntryID", 0x8095, T::Text);
        b.ReadOnly(c, "Email3EntryID", 0x80A5, T::Text);
        b.ReadOnly(c, "OutlookVersion", 0x8554, T::Text);
        // Display names can be written from 11 on.
        b.Prop(c, "Email1DisplayName", 0x8080, T::Text, 8, false, 11);
        b.Prop(c, "Email2DisplayName", 0x8090, T::Text, 8, false, 11);
        b.Prop(c, "Email3DisplayName", 0x80A0, T::Text, 8, false, 11);
        b.Prop(c, "InternetFreeBusyAddress", 0x80D8, T::Text, 9);
        b.Prop(c, "NetMeetingAlias", 0x805F, T::Text, 9);
        b.Prop(c, "NetMeetingServer", 0x8060, T::Text, 9);
        b.ReadOnly(c, "OutlookInternalVersion", 0x8552, T::I4, 9);
        b.Prop(c, "IMAddress", 0x8062, T::Text, 11);
        b.Prop(c, "MarkForDownload", 0x8571, T::I4, 11);
        b.ReadOnly(c, "HasPicture", 0xFABF, T::Bool, 11);
        b.Prop(c, "Attachments", 0xF815, T::Object, 11, true);
        b.Method(c, "AddPicture", 0xFABD, T::None, {T::Text}, 11);
        b.Prop(c, "BusinessCardLayoutXml", 0xFC0D, T::Text, 12);
        b.Prop(c, "ReminderOverrideDefault", 0x851C, T::Bool, 12);
        b.Prop(c, "ReminderPlaySound", 0x851E, T::Bool, 12);
        b.Prop(c, "ReminderSet", 0x8503, T::Bool, 12);
        b.Prop(c, "ReminderSoundFile", 0x851F, T::Text, 12);
        b.Prop(c, "ReminderTime", 0x8502, T::Date, 12);
        b.Prop(c, "TaskCompletedDate", 0x810F, T::Date, 12);
        b.Prop(c, "TaskDueDate", 0x8105, T::Date, 12);
        b.Prop(c, "TaskStartDate", 0x8104, T::Date, 12);
        b.Prop(c, "TaskSubject", 0xFC1F, T::Text, 12);
        b.Prop(c, "ToDoTaskOrdinal", 0x85A0, T::Date, 12);
    }
    return b.members;
}

struct Index {
    std::vector<EmuMember> table = BuildTable();
    QHash<quint64, const EmuMember*> byId;
    QHash<QString, const EmuMember*> byName;
    Index()
    {
        for (const EmuMember& m : table) {
            byId.insert((quint64(m.object) << 32) | quint32(m.dispId), &m);
            byName.insert(QString::number(int(m.object)) + QLatin1Char('/') + QLatin1String(m.name), &m);
        }
    }
};

const Index& TheIndex()
{
    static const Index index;
    return index;
}

constexpr std::array<const char*, 14> kObjectNames = {
    "application", "namespace", "folder",  "items", "store",          "category",    "appointment",
    "contact",     "distlist",  "task",    "note",  "recurrencePattern", "attachments", "attachment",
};

}  // namespace

const char* EmuObjectName(EmuObject object)
{
    return kObjectNames[static_cast<std::size_t>(object)];
}

bool EmuObjectFromName(const QString& name, EmuObject& object)
{
    for (std::size_t i = 0; i < kObjectNames.size(); ++i)
        if (name == QLatin1String(kObjectNames[i])) {
            object = static_cast<EmuObject>(i);
            return true;
        }
    return false;
}

bool IsItemObject(EmuObject object)
{
    return object == EmuObject::Appointment || object == EmuObject::Contact || object == EmuObject::DistList ||
           object == EmuObject::Task || object == EmuObject::Note;
}

const std::vector<EmuMember>& OutlookMemberTable()
{
    return TheIndex().table;
}

const EmuMember* FindEmuMember(EmuObject object, DispId dispId)
{
    return TheIndex().byId.value((quint64(object) << 32) | quint32(dispId), nullptr);
}

const EmuMember* FindEmuMember(EmuObject object, const QString& name)
{
    return TheIndex().byName.value(QString::number(int(object)) + QLatin1Char('/') + name, nullptr);
}

std::vector<const EmuMember*> EmuMembersOf(EmuObject object, int version)
{
    std::vector<const EmuMember*> found;
    for (const EmuMember& m : OutlookMemberTable())
        if (m.object == object && !m.method && m.type != EmuType::Object && m.firstVersion <= version)
            found.push_back(&m);
    return found;
}
