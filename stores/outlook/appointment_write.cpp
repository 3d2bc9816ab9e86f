// Writing an appointment from the peer's record: Add creates one, Edit overwrites one.
//
// Everything that can refuse the record (a date the dates layer cannot read, a value of the
// wrong type) is checked before the first put, so a refused record leaves Outlook untouched.
// Whether the appointment is all-day is decided before any start or end is converted, from the
// state it will have once written: the order of the peer's entries must not decide whether a
// date is taken as UTC.
//
// A record's Start and End are what the appointment keeps. Outlook ties them through the
// duration: a Start put keeps the duration and moves End, a Duration put moves End, an End put
// changes the duration. A recurring appointment's record carries "Duration" twice (the item's,
// then the pattern's, behind Start and End), so the times go last and in this order, whatever
// the peer's: every Duration, then Start, then End. The pattern's duration follows the item's.
#include <algorithm>
#include <optional>
#include <vector>

#include "common/errors.h"
#include "stores/outlook/appointment_dispids.h"
#include "stores/outlook/appointment_store.h"
#include "stores/outlook/outlook_field_values.h"
#include "stores/outlook/outlook_peer_dates.h"
#include "stores/outlook/outlook_wrappers.h"

namespace {

namespace a = outlook::appointment;

enum class WriteMode { Add, Edit };

enum class Kind { Text, Date, Boolean, Integer, IsRecurring };

struct ItemKey {
    const char* key;
    DispId dispId;
    Kind kind;
    // Add writes the boolean only when the value is greater than 0, leaving Outlook's default.
    bool addOnlyWhenPositive;
};

constexpr ItemKey kItemKeys[] = {
    {"Body", outlook::kBody, Kind::Text, false},
    {"Categories", outlook::kCategoriesText, Kind::Text, false},
    {"Companies", a::kCompanies, Kind::Text, false},
    {"Location", a::kLocation, Kind::Text, false},
    {"Mileage", a::kMileage, Kind::Text, false},
    {"ReminderSoundFile", a::kReminderSoundFile, Kind::Text, false},
    {"Subject", outlook::kSubject, Kind::Text, false},
    {"Start", outlook::kStart, Kind::Date, false},
    {"End", outlook::kEnd, Kind::Date, false},
    {"AllDayEvent", a::kAllDayEvent, Kind::Boolean, true},
    {"ReminderOverrideDefault", a::kReminderOverrideDefault, Kind::Boolean, true},
    {"ReminderPlaySound", a::kReminderPlaySound, Kind::Boolean, true},
    {"ReminderSet", a::kReminderSet, Kind::Boolean, false},
    {"UnRead", a::kUnRead, Kind::Boolean, true},
    {"BusyStatus", a::kBusyStatus, Kind::Integer, false},
    {"Duration", a::kDuration, Kind::Integer, false},
    {"Importance", a::kImportance, Kind::Integer, false},
    {"MeetingStatus", a::kMeetingStatus, Kind::Integer, false},
    {"Sensitivity", a::kSensitivity, Kind::Integer, false},
    {"ReminderMinutesBeforeStart", a::kReminderMinutesBeforeStart, Kind::Integer, false},
    {"IsRecurring", 0, Kind::IsRecurring, false},
};

// Names compare exactly: "subject" is no key.
const ItemKey* FindItemKey(const QString& name)
{
    for (const ItemKey& key : kItemKeys)
        if (name == QLatin1String(key.key)) return &key;
    return nullptr;
}

// One put, prepared before anything is written.
struct Put {
    DispId dispId;
    VariantValue value;
};

// The recurrence keys, a later entry overriding an earlier one.
struct Recurrence {
    std::int32_t type = 0, interval = 0, dayOfWeekMask = 0, dayOfMonth = 0, monthOfYear = 0, instance = 0,
                 duration = 0, noEndDate = 0;
    double endDate = kNoDate;
    std::optional<std::int32_t> occurrences;
};

Recurrence CollectRecurrence(const ItemRecord& record)
{
    Recurrence r;
    for (int i = 0; i < record.FieldCount(); ++i) {
        const QString& name = record.names[i];
        const ItemValue& value = record.values[static_cast<std::size_t>(i)];
        if (name == u"PatternEndDate") {
            // An empty or unreadable end date means no end date, not a failed request.
            const std::optional<double> date = ParseDateText(OutlookText(value));
            r.endDate = date.value_or(kNoDate);
            continue;
        }
        std::int32_t* field = nullptr;
        if (name == u"RecurrenceType") field = &r.type;
        else if (name == u"Interval") field = &r.interval;
        else if (name == u"DayOfWeekMask") field = &r.dayOfWeekMask;
        else if (name == u"DayOfMonth") field = &r.dayOfMonth;
        else if (name == u"MonthOfYear") field = &r.monthOfYear;
        else if (name == u"Instance") field = &r.instance;
        else if (name == u"Duration") field = &r.duration;
        else if (name == u"NoEndDate") field = &r.noEndDate;
        else if (name == u"Occurrences") {
            r.occurrences = RequireOutlookInteger("appointment", name, value);
            continue;
        }
        if (field) *field = RequireOutlookInteger("appointment", name, value);
    }
    return r;
}

// The pattern puts in Outlook's order: the type, the fields its type uses (each only when
// greater than 0), then the end.
std::vector<Put> RecurrencePuts(const Recurrence& r)
{
    std::vector<Put> puts{{a::kRecurrenceType, VariantValue::I4(r.type)}};
    const auto field = [&](DispId dispId, std::int32_t value) {
        if (value > 0) puts.push_back({dispId, VariantValue::I4(value)});
    };
    switch (r.type) {
        case 0:
            field(a::kInterval, r.interval);
            break;
        case 1:
            field(a::kDayOfWeekMask, r.dayOfWeekMask);
            field(a::kInterval, r.interval);
            break;
        case 2:
            field(a::kDayOfMonth, r.dayOfMonth);
            field(a::kInterval, r.interval);
            field(a::kPatternDuration, r.duration);
            break;
        case 3:
            field(a::kInstance, r.instance);
            field(a::kDayOfWeekMask, r.dayOfWeekMask);
            field(a::kInterval, r.interval);
            break;
        case 5:
            field(a::kDayOfMonth, r.dayOfMonth);
            field(a::kMonthOfYear, r.monthOfYear);
            break;
        case 6:
            field(a::kInstance, r.instance);
            field(a::kDayOfWeekMask, r.dayOfWeekMask);
            field(a::kMonthOfYear, r.monthOfYear);
            break;
        default:
            break;
    }
    if (r.noEndDate == 1) puts.push_back({a::kNoEndDate, VariantValue::Bool(true)});
    if (r.endDate != kNoDate) puts.push_back({outlook::kPatternEndDate, VariantValue::Date(r.endDate)});
    if (r.occurrences) puts.push_back({a::kOccurrences, VariantValue::I4(*r.occurrences)});
    return puts;
}

struct Plan {
    std::vector<Put> itemPuts;
    // Whether the record carries "IsRecurring", and its last value.
    std::optional<std::int32_t> isRecurring;
    std::vector<Put> patternPuts;
};

// The all-day state the appointment will have: in Add only entries greater than 0 are written,
// so any such entry makes it all-day; in Edit the last entry decides, else the stored flag.
bool WillBeAllDay(const ItemRecord& record, WriteMode mode, bool storedAllDay)
{
    bool allDay = mode == WriteMode::Add ? false : storedAllDay;
    for (int i = 0; i < record.FieldCount(); ++i) {
        if (record.names[i] != u"AllDayEvent") continue;
        const std::int32_t value = RequireOutlookInteger("appointment", record.names[i], record.values[static_cast<std::size_t>(i)]);
        if (mode == WriteMode::Add)
            allDay = allDay || value > 0;
        else
            allDay = value != 0;
    }
    return allDay;
}

// Every put of the record, in record order, with the dates read and converted; throws before
// anything is written when the record cannot be written whole.
Plan MakePlan(const ItemRecord& record, WriteMode mode, bool allDay)
{
    Plan plan;
    // The puts that fix the appointment's time, each kept in record order.
    std::vector<Put> durations, starts, ends;
    for (int i = 0; i < record.FieldCount(); ++i) {
        const QString& name = record.names[i];
        const ItemValue& value = record.values[static_cast<std::size_t>(i)];
        const ItemKey* key = FindItemKey(name);
        if (!key) continue;
        switch (key->kind) {
            case Kind::Text:
                plan.itemPuts.push_back({key->dispId, VariantValue::Text(OutlookText(value))});
                break;
            case Kind::Date: {
                const QString text = OutlookText(value);
                if (text.isEmpty()) {
                    // Add leaves the new appointment's date; Edit clears it.
                    if (mode == WriteMode::Edit)
                        (key->dispId == outlook::kStart ? starts : ends).push_back({key->dispId, VariantValue::Date(kNoDate)});
                    break;
                }
                // An all-day date is a local date; a timed one arrives in UTC. A moment whose
                // local time cannot be represented is not written rather than written wrong.
                const std::optional<double> date =
                    allDay ? std::optional<double>(RequirePeerDate(name, text)) : RequirePeerUtcDateAsLocal(name, text);
                if (date) (key->dispId == outlook::kStart ? starts : ends).push_back({key->dispId, VariantValue::Date(*date)});
                break;
            }
            case Kind::Boolean: {
                const std::int32_t v = RequireOutlookInteger("appointment", name, value);
                if (mode == WriteMode::Add && key->addOnlyWhenPositive && v <= 0) break;
                plan.itemPuts.push_back({key->dispId, VariantValue::Bool(v != 0)});
                break;
            }
            case Kind::Integer:
                (key->dispId == a::kDuration ? durations : plan.itemPuts)
                    .push_back({key->dispId, VariantValue::I4(RequireOutlookInteger("appointment", name, value))});
                break;
            case Kind::IsRecurring:
                plan.isRecurring = RequireOutlookInteger("appointment", name, value);
                break;
        }
    }
    for (std::vector<Put>* times : {&durations, &starts, &ends})
        plan.itemPuts.insert(plan.itemPuts.end(), times->begin(), times->end());
    if (plan.isRecurring == 1) plan.patternPuts = RecurrencePuts(CollectRecurrence(record));
    return plan;
}

void ApplyPuts(const DispatchDriver& object, const std::vector<Put>& puts)
{
    for (const Put& put : puts) object.Put(put.dispId, put.value);
}

// The pattern's duration is the appointment's as Outlook holds it once Start and End are
// written: the record's "Duration" may disagree with them, and the pattern's would then move
// the appointment's end. Written only when the record asked for it and it is above 0.
void FollowItemDuration(std::vector<Put>& patternPuts, const DispatchDriver& item)
{
    const auto at = std::find_if(patternPuts.begin(), patternPuts.end(),
                                 [](const Put& put) { return put.dispId == a::kPatternDuration; });
    if (at == patternPuts.end()) return;
    const std::int32_t minutes = item.GetI4(a::kDuration);
    if (minutes > 0)
        at->value = VariantValue::I4(minutes);
    else
        patternPuts.erase(at);
}

}  // namespace

template <int Version>
void CAppointment<Version>::Add(ItemRecord& record, QString& id)
{
    this->RequireConnected("Add");
    Plan plan = MakePlan(record, WriteMode::Add, WillBeAllDay(record, WriteMode::Add, false));

    const DispatchDriver& item = this->CreateNewItem(outlook::kItemAppointment);
    ApplyPuts(item, plan.itemPuts);
    if (plan.isRecurring == 1) {
        this->pattern_ = this->RecurrencePatternOf(item);
        FollowItemDuration(plan.patternPuts, item);
        ApplyPuts(this->pattern_, plan.patternPuts);
    }
    // A failure after the save takes the new appointment away again.
    id = this->SaveNewItem();
}

template <int Version>
void CAppointment<Version>::Edit(ItemRecord& record, const QString& id)
{
    this->RequireConnected("Edit");
    const DispatchDriver& item = this->FindItem(id);
    Plan plan = MakePlan(record, WriteMode::Edit, WillBeAllDay(record, WriteMode::Edit, item.GetBool(a::kAllDayEvent) != 0));

    // Only a record that speaks of the recurrence changes it: one without "IsRecurring" keeps the
    // stored pattern.
    if (plan.isRecurring && item.GetBool(outlook::kAppointmentIsRecurring) != 0)
        item.CallMethod(outlook::kClearRecurrencePattern);
    ApplyPuts(item, plan.itemPuts);
    if (plan.isRecurring == 1) {
        const DispatchDriver pattern = this->RecurrencePatternOf(item);
        FollowItemDuration(plan.patternPuts, item);
        ApplyPuts(pattern, plan.patternPuts);
    }
    item.CallMethod(outlook::kSave);
}

#define TWINLARK_APPOINTMENT_WRITES(V)                           \
    template void CAppointment<V>::Add(ItemRecord&, QString&); \
    template void CAppointment<V>::Edit(ItemRecord&, const QString&);
TWINLARK_APPOINTMENT_WRITES(8)
TWINLARK_APPOINTMENT_WRITES(9)
TWINLARK_APPOINTMENT_WRITES(11)
TWINLARK_APPOINTMENT_WRITES(12)
TWINLARK_APPOINTMENT_WRITES(14)
