#pragma once
// The DISPIDs of the Outlook object model that the stores call. They are the same in every
// object-model version (8, 9, 11, 12, 14); which version has a member is the reading store's
// business.

#include "platform/automation_servers.h"

namespace outlook {

// Application
inline constexpr DispId kCreateItem = 0x10A;
inline constexpr DispId kGetNamespace = 0x110;
// NameSpace
inline constexpr DispId kGetItemFromID = 0x2109;
inline constexpr DispId kGetDefaultFolder = 0x210B;
inline constexpr DispId kStores = 0xFAD0;
inline constexpr DispId kCategories = 0xFBA5;
// MAPIFolder
inline constexpr DispId kItems = 0x3100;
inline constexpr DispId kStoreID = 0x3108;
// Collections (Items, Stores, Categories, Attachments)
inline constexpr DispId kCount = 0x50;
inline constexpr DispId kItem = 0x51;
inline constexpr DispId kGetFirst = 0x56;
inline constexpr DispId kGetNext = 0x57;
// Store
inline constexpr DispId kExchangeStoreType = 0xFAD2;
// Category
inline constexpr DispId kCategoryName = 0x2102;
// Every item
inline constexpr DispId kClass = 0xF00A;
inline constexpr DispId kEntryID = 0xF01E;
inline constexpr DispId kSave = 0xF048;
inline constexpr DispId kDelete = 0xF04A;
inline constexpr DispId kSubject = 0x37;
inline constexpr DispId kBody = 0x9100;
inline constexpr DispId kCategoriesText = 0x9001;
inline constexpr DispId kCreationTime = 0x3007;
inline constexpr DispId kLastModificationTime = 0x3008;
// Appointment
inline constexpr DispId kStart = 0x820D;
inline constexpr DispId kEnd = 0x820E;
inline constexpr DispId kAppointmentIsRecurring = 0x8223;
// Task
inline constexpr DispId kStartDate = 0x8104;
inline constexpr DispId kDueDate = 0x8105;
inline constexpr DispId kDateCompleted = 0x810F;
inline constexpr DispId kReminderTime = 0x8502;
inline constexpr DispId kTaskIsRecurring = 0xF617;
// Appointment or task
inline constexpr DispId kGetRecurrencePattern = 0xF0A4;
inline constexpr DispId kClearRecurrencePattern = 0xF0A5;
// RecurrencePattern
inline constexpr DispId kPatternEndDate = 0x1002;

// Item classes (Class)
inline constexpr int kClassAppointment = 26;
inline constexpr int kClassContact = 40;
inline constexpr int kClassNote = 44;
inline constexpr int kClassTask = 48;
inline constexpr int kClassDistributionList = 69;

// Default folders (GetDefaultFolder)
inline constexpr int kFolderCalendar = 9;
inline constexpr int kFolderContacts = 10;
inline constexpr int kFolderNotes = 12;
inline constexpr int kFolderTasks = 13;

// Item types (CreateItem)
inline constexpr int kItemAppointment = 1;
inline constexpr int kItemContact = 2;
inline constexpr int kItemTask = 3;
inline constexpr int kItemNote = 5;

// ExchangeStoreType of a primary Exchange mailbox
inline constexpr int kPrimaryExchangeMailbox = 0;

}  // namespace outlook
