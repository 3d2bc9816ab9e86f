#include "stores/outlook/task_fields.h"

#include <QtEndian>
#include <array>
#include <vector>

#include "common/crc32.h"
#include "common/dates.h"
#include "common/errors.h"
#include "stores/outlook/outlook_dispids.h"
#include "stores/outlook/outlook_field_values.h"
#include "stores/outlook/outlook_peer_dates.h"
#include "stores/outlook/outlook_wrappers.h"

namespace {

constexpr DispId kImportance = 0x17;
constexpr DispId kSensitivity = 0x36;
constexpr DispId kReminderSet = 0x8503;
constexpr DispId kComplete = 0x811C;
constexpr DispId kTeamTask = 0x8103;

enum class FieldKind { Text, Integer, Boolean, Date, UtcDate };

struct TaskField {
    const char* key;
    DispId dispId;
    FieldKind kind;
};

// The keys the peer may write, with how each is put.
constexpr std::array<TaskField, 12> kWritable = {{
    {"Body", outlook::kBody, FieldKind::Text},
    {"Categories", outlook::kCategoriesText, FieldKind::Text},
    {"Subject", outlook::kSubject, FieldKind::Text},
    {"Importance", kImportance, FieldKind::Integer},
    {"ReminderSet", kReminderSet, FieldKind::Boolean},
    {"Sensitivity", kSensitivity, FieldKind::Integer},
    {"Complete", kComplete, FieldKind::Boolean},
    {"TeamTask", kTeamTask, FieldKind::Boolean},
    {"StartDate", outlook::kStartDate, FieldKind::Date},
    {"DueDate", outlook::kDueDate, FieldKind::Date},
    {"DateCompleted", outlook::kDateCompleted, FieldKind::Date},
    {"ReminderTime", outlook::kReminderTime, FieldKind::UtcDate},
}};

const TaskField* WritableField(const QString& name)
{
    for (const TaskField& f : kWritable)
        if (name == QLatin1String(f.key)) return &f;
    return nullptr;
}

struct Put {
    DispId dispId;
    VariantValue value;
};

// What one field puts, or nothing. Throws for a value that cannot be written.
std::optional<Put> PutOf(const TaskField& field, const ItemValue& value, TaskWrite write, int version)
{
    const QString key = QString::fromLatin1(field.key);
    switch (field.kind) {
        case FieldKind::Text: {
            return Put{field.dispId, VariantValue::Text(OutlookText(value))};
        }
        case FieldKind::Integer:
        case FieldKind::Boolean: {
            const std::int32_t number = RequireOutlookInteger("task", key, value);
            if (field.kind == FieldKind::Boolean) return Put{field.dispId, VariantValue::Bool(number != 0)};
            return Put{field.dispId, VariantValue::I4(number)};
        }
        case FieldKind::Date:
        case FieldKind::UtcDate: {
            const QString text = ItemValueText(value);
            if (text.isEmpty()) {
                const bool clears = write == TaskWrite::Edit || (version == 8 && field.kind == FieldKind::UtcDate);
                if (!clears) return std::nullopt;
                return Put{field.dispId, VariantValue::Date(kNoDate)};
            }
            if (field.kind == FieldKind::Date) return Put{field.dispId, VariantValue::Date(RequirePeerDate(key, text))};
            const std::optional<double> local = RequirePeerUtcDateAsLocal(key, text);
            if (!local) return std::nullopt;
            return Put{field.dispId, VariantValue::Date(*local)};
        }
    }
    return std::nullopt;
}

QString DateText(const DispatchDriver& task, const char* key, DispId id)
{
    return DateAsPeerText(QString::fromLatin1(key), task.GetDate(id));
}

}  // namespace

void WriteTaskFields(const DispatchDriver& task, const ItemRecord& record, TaskWrite write, int version)
{
    std::vector<Put> puts;
    for (int i = 0; i < record.FieldCount(); ++i)
        if (const TaskField* field = WritableField(record.names[i]))
            if (std::optional<Put> put = PutOf(*field, record.values[static_cast<std::size_t>(i)], write, version))
                puts.push_back(std::move(*put));
    for (const Put& put : puts) task.Put(put.dispId, put.value);
}

void ReadTaskFields(const DispatchDriver& task, ItemRecord& record)
{
    record.Add(QStringLiteral("Body"), GetItemBody(task));
    record.Add(QStringLiteral("Categories"), GetItemCategories(task).replace(QLatin1Char(';'), QLatin1Char(',')));
    record.Add(QStringLiteral("Subject"), GetItemSubject(task));
    record.Add(QStringLiteral("EntryID"), GetItemEntryID(task));
    record.Add(QStringLiteral("Importance"), task.GetI4(kImportance));
    record.Add(QStringLiteral("IsRecurring"), task.GetBool(outlook::kTaskIsRecurring));
    record.Add(QStringLiteral("ReminderSet"), task.GetBool(kReminderSet));
    record.Add(QStringLiteral("Sensitivity"), task.GetI4(kSensitivity));
    record.Add(QStringLiteral("Complete"), task.GetBool(kComplete));
    record.Add(QStringLiteral("TeamTask"), task.GetBool(kTeamTask));
    record.Add(QStringLiteral("StartDate"), DateText(task, "StartDate", outlook::kStartDate));
    record.Add(QStringLiteral("DueDate"), DateText(task, "DueDate", outlook::kDueDate));
    record.Add(QStringLiteral("DateCompleted"), DateText(task, "DateCompleted", outlook::kDateCompleted));
    record.Add(QStringLiteral("ReminderTime"),
               LocalDateAsPeerUtcText(QStringLiteral("ReminderTime"), task.GetDate(outlook::kReminderTime)));
}

std::uint32_t TaskChecksum(const DispatchDriver& task)
{
    const std::array<std::int32_t, 5> numbers = {task.GetI4(kImportance), task.GetI4(kSensitivity),
                                                 task.GetBool(kReminderSet), task.GetBool(kComplete),
                                                 task.GetBool(kTeamTask)};
    // The dates as Outlook keeps them: the reminder in local time, unconverted.
    const QString reminder = DateToText(task.GetDate(outlook::kReminderTime));
    const QString completed = DateToText(task.GetDate(outlook::kDateCompleted));
    const QString due = DateToText(task.GetDate(outlook::kDueDate));
    const QString start = DateToText(task.GetDate(outlook::kStartDate));
    const QString entryId = GetItemEntryID(task);
    const QString subject = GetItemSubject(task);
    const QString categories = GetItemCategories(task);
    const QString body = GetItemBody(task);

    std::array<std::uint32_t, 5> head{};
    for (std::size_t i = 0; i < numbers.size(); ++i) head[i] = qToLittleEndian(static_cast<std::uint32_t>(numbers[i]));
    std::uint32_t crc = Crc32Update(0, head.data(), sizeof head);
    for (const QString* text : {&body, &categories, &subject, &entryId, &start, &due, &completed, &reminder})
        crc = Crc32Update(crc, text->utf16(), static_cast<std::size_t>(text->size()) * sizeof(char16_t));
    return crc;
}
