#pragma once
// Typed access to single Outlook properties, shared by the stores of every kind and version.
// Each is one call through the driver it is given: an empty driver answers empty text and a put
// does nothing; a failing call raises the automation layer's exception (platform/dispatch_driver.h).
// The put-date wrappers take the date as Outlook should hold it (local time): callers convert.

#include <QString>
#include <cstdint>

#include "platform/dispatch_driver.h"

QString GetFolderStoreID(const DispatchDriver& folder);
QString GetItemEntryID(const DispatchDriver& item);
QString GetItemSubject(const DispatchDriver& item);
QString GetNoteSubject(const DispatchDriver& note);
QString GetItemBody(const DispatchDriver& item);
// Outlook's own separators (";"); the stores convert.
QString GetItemCategories(const DispatchDriver& item);
QString GetItemCompanies(const DispatchDriver& item);
QString GetItemLocation(const DispatchDriver& appointment);
QString GetItemMileage(const DispatchDriver& item);
QString GetItemOrganizer(const DispatchDriver& appointment);
QString GetItemReminderSoundFile(const DispatchDriver& item);
QString GetItemOutlookVersion(const DispatchDriver& item);
QString GetItemConversationTopic(const DispatchDriver& item);
// Version 9's ConversationIndex; 11 and later read it through the nameless 0xFAC0.
QString GetItemConversationIndex(const DispatchDriver& item);
QString GetItemConversationIndex11(const DispatchDriver& appointment);
QString GetItemMeetingWorkspaceURL(const DispatchDriver& appointment);

// Texts are written up to their first NUL, as Outlook keeps them.
void PutItemText(const DispatchDriver& item, DispId id, const QString& text);

void PutItemStart(const DispatchDriver& appointment, double date);
void PutItemEnd(const DispatchDriver& appointment, double date);
void PutPatternEndDate(const DispatchDriver& pattern, double date);
void PutItemStartDate(const DispatchDriver& task, double date);
void PutItemDueDate(const DispatchDriver& task, double date);
void PutItemDateCompleted(const DispatchDriver& task, double date);
void PutItemReminderTime(const DispatchDriver& task, double date);

// Collections: Count, and member `index` (from 1). The index travels as a 32-bit integer, so
// folders of more than 32,767 items are reached whole.
std::int32_t GetCollectionCount(const DispatchDriver& collection);
DispatchDriver GetCollectionItem(std::int32_t index, const DispatchDriver& collection);

// The category names of Outlook 12 and 14.
DispatchDriver GetMAPINamespace(const DispatchDriver& application);
DispatchDriver GetNamespaceCategories(const DispatchDriver& nameSpace);
QString GetCategoryName(const DispatchDriver& category);
