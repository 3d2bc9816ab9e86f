// Reading an appointment for the peer, and its checksum.
#include <QtEndian>
#include <array>

#include "common/crc32.h"
#include "common/errors.h"
#include "stores/outlook/appointment_dispids.h"
#include "stores/outlook/appointment_store.h"
#include "stores/outlook/outlook_peer_dates.h"
#include "stores/outlook/outlook_wrappers.h"

namespace {

namespace a = outlook::appointment;

// Which versions read a key, one bit per version.
enum : unsigned { V8 = 1, V9 = 2, V11 = 4, V12 = 8, V14 = 16, kAll = V8 | V9 | V11 | V12 | V14 };

constexpr unsigned VersionBit(int version)
{
    switch (version) {
        case 8:
            return V8;
        case 9:
            return V9;
        case 11:
            return V11;
        case 12:
            return V12;
        case 14:
            return V14;
    }
    return 0;
}

struct TextKey {
    const char* key;
    QString (*read)(const DispatchDriver&);
    unsigned versions;
};

QString CategoriesForPeer(const DispatchDriver& item)
{
    return GetItemCategories(item).replace(u';', u',');
}

QString ConversationIndexOf(const DispatchDriver& item)
{
    return GetItemConversationIndex(item);
}

// Version 9 reads the conversation index by name, 11 and later through 0xFAC0; the table picks
// the reader by version below.
constexpr std::array kTextKeys = {
    TextKey{"Body", &GetItemBody, kAll},
    TextKey{"Categories", &CategoriesForPeer, kAll},
    TextKey{"Companies", &GetItemCompanies, kAll},
    TextKey{"ConversationIndex", &ConversationIndexOf, V9},
    TextKey{"ConversationIndex", &GetItemConversationIndex11, V11 | V12 | V14},
    TextKey{"ConversationTopic", &GetItemConversationTopic, V9 | V11 | V12 | V14},
    TextKey{"EntryID", &GetItemEntryID, kAll},
    TextKey{"Location", &GetItemLocation, kAll},
    TextKey{"MeetingWorkspaceURL", &GetItemMeetingWorkspaceURL, V11},
    TextKey{"Organizer", &GetItemOrganizer, kAll},
    TextKey{"OutlookVersion", &GetItemOutlookVersion, V8 | V9 | V11},
    TextKey{"ReminderSoundFile", &GetItemReminderSoundFile, kAll},
    TextKey{"Subject", &GetItemSubject, kAll},
};

struct IntegerKey {
    const char* key;
    DispId dispId;
    bool boolean;  // read as a truth value, 1 or 0
    unsigned versions;
};

// "RecurrenceState" is added by version below: version 8 has no such property and repeats
// "IsRecurring" in its place.
constexpr std::array kIntegerKeys = {
    IntegerKey{"AllDayEvent", a::kAllDayEvent, true, kAll},
    IntegerKey{"AutoResolvedWinner", a::kAutoResolvedWinner, true, V11},
    IntegerKey{"BusyStatus", a::kBusyStatus, false, kAll},
    IntegerKey{"Class", outlook::kClass, false, V9 | V11 | V12 | V14},
    IntegerKey{"DownloadState", a::kDownloadState, false, V11 | V12 | V14},
    IntegerKey{"Duration", a::kDuration, false, kAll},
    IntegerKey{"Importance", a::kImportance, false, kAll},
    IntegerKey{"IsConflict", a::kIsConflict, true, V11 | V12 | V14},
    IntegerKey{"IsRecurring", outlook::kAppointmentIsRecurring, true, kAll},
    IntegerKey{"MarkForDownload", a::kMarkForDownload, false, V11 | V12 | V14},
    IntegerKey{"MeetingStatus", a::kMeetingStatus, false, kAll},
    IntegerKey{"OutlookInternalVersion", a::kOutlookInternalVersion, false, V9 | V11},
    IntegerKey{"ReminderMinutesBeforeStart", a::kReminderMinutesBeforeStart, false, kAll},
    IntegerKey{"ReminderOverrideDefault", a::kReminderOverrideDefault, true, kAll},
    IntegerKey{"ReminderPlaySound", a::kReminderPlaySound, true, kAll},
    IntegerKey{"ReminderSet", a::kReminderSet, true, kAll},
    IntegerKey{"ResponseStatus", a::kResponseStatus, false, kAll},
    IntegerKey{"Saved", a::kSaved, true, kAll},
    IntegerKey{"Sensitivity", a::kSensitivity, false, kAll},
    IntegerKey{"Size", a::kSize, false, kAll},
    IntegerKey{"UnRead", a::kUnRead, true, kAll},
    IntegerKey{"RecurrenceState", a::kRecurrenceState, false, V9 | V11 | V12 | V14},
    IntegerKey{"RecurrenceState", outlook::kAppointmentIsRecurring, true, V8},
};

// The pattern's integers in the order they are appended; "PatternEndDate" goes second in 8, 9
// and 11 and last in 12 and 14.
struct PatternKey {
    const char* key;
    DispId dispId;
    bool boolean;
};
constexpr std::array kPatternKeys = {
    PatternKey{"RecurrenceType", a::kRecurrenceType, false}, PatternKey{"DayOfMonth", a::kDayOfMonth, false},
    PatternKey{"MonthOfYear", a::kMonthOfYear, false},       PatternKey{"DayOfWeekMask", a::kDayOfWeekMask, false},
    PatternKey{"Duration", a::kPatternDuration, false},      PatternKey{"Interval", a::kInterval, false},
    PatternKey{"Instance", a::kInstance, false},             PatternKey{"NoEndDate", a::kNoEndDate, true},
    PatternKey{"Occurrences", a::kOccurrences, false},
};

std::int32_t ReadInteger(const DispatchDriver& object, DispId dispId, bool boolean)
{
    return boolean ? object.GetBool(dispId) : object.GetI4(dispId);
}

// Timed starts and ends travel in UTC, all-day ones as the local dates they are; the flag is read
// afresh for each.
QString StartOrEndForPeer(const DispatchDriver& item, const char* key, DispId dispId)
{
    const bool allDay = item.GetBool(a::kAllDayEvent) != 0;
    const double date = item.GetDate(dispId);
    const QString name = QString::fromLatin1(key);
    return allDay ? DateAsPeerText(name, date) : LocalDateAsPeerUtcText(name, date);
}

void AppendCrcInteger(std::array<std::uint8_t, 52>& bytes, std::size_t& at, std::int32_t value)
{
    qToLittleEndian<std::int32_t>(value, bytes.data() + at);
    at += 4;
}

}  // namespace

template <int Version>
void CAppointment<Version>::Get(const QString& id, ItemRecord& record)
{
    this->RequireConnected("Get");
    const unsigned version = VersionBit(Version);
    const DispatchDriver& item = this->FindItem(id);

    // Each pair goes in only once its value was read, so a failure leaves whole pairs only.
    for (const TextKey& key : kTextKeys)
        if (key.versions & version) record.Add(QString::fromLatin1(key.key), key.read(item));

    std::array<std::int32_t, kIntegerKeys.size()> integers{};
    for (std::size_t i = 0; i < kIntegerKeys.size(); ++i)
        if (kIntegerKeys[i].versions & version)
            integers[i] = ReadInteger(item, kIntegerKeys[i].dispId, kIntegerKeys[i].boolean);
    for (std::size_t i = 0; i < kIntegerKeys.size(); ++i)
        if (kIntegerKeys[i].versions & version) record.Add(QString::fromLatin1(kIntegerKeys[i].key), integers[i]);

    record.Add(QStringLiteral("Start"), StartOrEndForPeer(item, "Start", outlook::kStart));
    record.Add(QStringLiteral("End"), StartOrEndForPeer(item, "End", outlook::kEnd));
    record.Add(QStringLiteral("LastModificationTime"),
               DateAsPeerText(QStringLiteral("LastModificationTime"), item.GetDate(outlook::kLastModificationTime)));
    record.Add(QStringLiteral("CreationTime"),
               DateAsPeerText(QStringLiteral("CreationTime"), item.GetDate(outlook::kCreationTime)));

    if (item.GetBool(outlook::kAppointmentIsRecurring) == 0) return;
    this->pattern_ = this->RecurrencePatternOf(item);
    std::array<std::int32_t, kPatternKeys.size()> values{};
    for (std::size_t i = 0; i < kPatternKeys.size(); ++i)
        values[i] = ReadInteger(this->pattern_, kPatternKeys[i].dispId, kPatternKeys[i].boolean);
    const QString endDate =
        DateOnlyAsPeerText(QStringLiteral("PatternEndDate"), this->pattern_.GetDate(outlook::kPatternEndDate));
    const bool endDateLast = Version >= 12;
    for (std::size_t i = 0; i < kPatternKeys.size(); ++i) {
        record.Add(QString::fromLatin1(kPatternKeys[i].key), values[i]);
        if (i == 0 && !endDateLast) record.Add(QStringLiteral("PatternEndDate"), endDate);
    }
    if (endDateLast) record.Add(QStringLiteral("PatternEndDate"), endDate);
}

template <int Version>
std::uint32_t CAppointment<Version>::IDtoCRC32(const QString& id)
{
    this->RequireConnected("IDtoCRC32");
    const DispatchDriver& item = this->FindItem(id);

    // Thirteen little-endian integers, then the texts as UTF-16 without separators. Outlook's own
    // values throughout: local dates, ";" in the categories.
    std::array<std::uint8_t, 52> integers{};
    std::size_t at = 0;
    for (const DispId dispId : {a::kBusyStatus, a::kDuration, a::kImportance})
        AppendCrcInteger(integers, at, item.GetI4(dispId));
    AppendCrcInteger(integers, at,
                     Version == 8 ? item.GetBool(outlook::kAppointmentIsRecurring) : item.GetI4(a::kRecurrenceState));
    for (const DispId dispId : {a::kReminderMinutesBeforeStart, a::kResponseStatus, a::kSensitivity})
        AppendCrcInteger(integers, at, item.GetI4(dispId));
    for (const DispId dispId : {a::kAllDayEvent, outlook::kAppointmentIsRecurring, a::kReminderOverrideDefault,
                                a::kReminderPlaySound, a::kReminderSet, a::kUnRead})
        AppendCrcInteger(integers, at, item.GetBool(dispId));

    const QString modified = DateToText(item.GetDate(outlook::kLastModificationTime));
    const QString start = DateToText(item.GetDate(outlook::kStart));
    const QString end = DateToText(item.GetDate(outlook::kEnd));
    const QString created = DateToText(item.GetDate(outlook::kCreationTime));
    const QString subject = GetItemSubject(item);
    const QString soundFile = GetItemReminderSoundFile(item);
    const QString mileage = GetItemMileage(item);
    const QString location = GetItemLocation(item);
    const QString companies = GetItemCompanies(item);
    const QString categories = GetItemCategories(item);
    const QString body = GetItemBody(item);

    // QString holds UTF-16 in host order; every supported host is little-endian.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    std::uint32_t crc = Crc32Update(0, integers.data(), integers.size());
    for (const QString* text :
         {&body, &categories, &companies, &location, &mileage, &soundFile, &subject, &created, &end, &start, &modified})
        crc = Crc32Update(crc, text->utf16(), static_cast<std::size_t>(text->size()) * sizeof(char16_t));
    return crc;
}

#define TWINLARK_APPOINTMENT_READS(V)                                         \
    template void CAppointment<V>::Get(const QString&, ItemRecord&); \
    template std::uint32_t CAppointment<V>::IDtoCRC32(const QString&);
TWINLARK_APPOINTMENT_READS(8)
TWINLARK_APPOINTMENT_READS(9)
TWINLARK_APPOINTMENT_READS(11)
TWINLARK_APPOINTMENT_READS(12)
TWINLARK_APPOINTMENT_READS(14)
