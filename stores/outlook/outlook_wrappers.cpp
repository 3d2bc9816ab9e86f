#include "stores/outlook/outlook_wrappers.h"

#include "stores/outlook/outlook_dispids.h"
#include "stores/outlook/outlook_field_values.h"

QString GetFolderStoreID(const DispatchDriver& folder) { return folder.GetText(outlook::kStoreID); }
QString GetItemEntryID(const DispatchDriver& item) { return item.GetText(outlook::kEntryID); }
QString GetItemSubject(const DispatchDriver& item) { return item.GetText(outlook::kSubject); }
QString GetNoteSubject(const DispatchDriver& note) { return note.GetText(0xF7A0); }
QString GetItemBody(const DispatchDriver& item) { return item.GetText(outlook::kBody); }
QString GetItemCategories(const DispatchDriver& item) { return item.GetText(outlook::kCategoriesText); }
QString GetItemCompanies(const DispatchDriver& item) { return item.GetText(0x853B); }
QString GetItemLocation(const DispatchDriver& appointment) { return appointment.GetText(0x8208); }
QString GetItemMileage(const DispatchDriver& item) { return item.GetText(0x8534); }
QString GetItemOrganizer(const DispatchDriver& appointment) { return appointment.GetText(0x42); }
QString GetItemReminderSoundFile(const DispatchDriver& item) { return item.GetText(0x851F); }
QString GetItemOutlookVersion(const DispatchDriver& item) { return item.GetText(0x8554); }
QString GetItemConversationTopic(const DispatchDriver& item) { return item.GetText(0x70); }
QString GetItemConversationIndex(const DispatchDriver& item) { return item.GetText(0x71); }
QString GetItemConversationIndex11(const DispatchDriver& appointment) { return appointment.GetText(0xFAC0); }
QString GetItemMeetingWorkspaceURL(const DispatchDriver& appointment) { return appointment.GetText(0x8209); }

void PutItemText(const DispatchDriver& item, DispId id, const QString& text)
{
    item.PutText(id, OutlookText(text));
}

void PutItemStart(const DispatchDriver& appointment, double date) { appointment.PutDate(outlook::kStart, date); }
void PutItemEnd(const DispatchDriver& appointment, double date) { appointment.PutDate(outlook::kEnd, date); }
void PutPatternEndDate(const DispatchDriver& pattern, double date) { pattern.PutDate(outlook::kPatternEndDate, date); }
void PutItemStartDate(const DispatchDriver& task, double date) { task.PutDate(outlook::kStartDate, date); }
void PutItemDueDate(const DispatchDriver& task, double date) { task.PutDate(outlook::kDueDate, date); }
void PutItemDateCompleted(const DispatchDriver& task, double date) { task.PutDate(outlook::kDateCompleted, date); }
void PutItemReminderTime(const DispatchDriver& task, double date) { task.PutDate(outlook::kReminderTime, date); }

std::int32_t GetCollectionCount(const DispatchDriver& collection) { return collection.GetI4(outlook::kCount); }

DispatchDriver GetCollectionItem(std::int32_t index, const DispatchDriver& collection)
{
    return collection.CallObject(outlook::kItem, {VariantValue::I4(index)});
}

DispatchDriver GetMAPINamespace(const DispatchDriver& application)
{
    return application.CallObject(outlook::kGetNamespace, {VariantValue::Text(QStringLiteral("MAPI"))});
}

DispatchDriver GetNamespaceCategories(const DispatchDriver& nameSpace) { return nameSpace.GetObject(outlook::kCategories); }
QString GetCategoryName(const DispatchDriver& category) { return category.GetText(outlook::kCategoryName); }
